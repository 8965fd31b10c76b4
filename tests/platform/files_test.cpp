// Opening inputs and the log against what other processes do to the same names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include "platform/errors.h"
#include "platform/logfile.h"
#include "platform/process.h"
#include "support/support.h"

namespace fs = std::filesystem;

namespace pv {
namespace {

// What opening a name for reading gives: "ok" or the error's text.
std::string OpenOutcome(const fs::path& p) {
  try {
    ::close(OpenFileForReading(p.string()));
    return "ok";
  } catch (const EInOutError& e) {
    return e.what();
  }
}

// A FIFO with no writer, a folder and a missing name are refused at once, never waited
// for; a regular file opens and reads.
TEST(Files, OpeningForReadingRefusesAnythingButARegularFile) {
  pvtest::TempDir dir;
  pvtest::WriteFile(dir / "board.gbr", "%FSLAX24Y24*%");
  ASSERT_EQ(::mkfifo((dir / "fifo.gbr").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.gbr");

  auto fifo = std::async(std::launch::async, [&] { return OpenOutcome(dir / "fifo.gbr"); });
  if (fifo.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    // Let the blocked open go on, then fail.
    const int w = ::open((dir / "fifo.gbr").c_str(), O_WRONLY);
    fifo.wait();
    ::close(w);
    FAIL() << "opening a FIFO waits for a writer";
  }
  EXPECT_EQ(fifo.get(), "not a regular file");
  EXPECT_EQ(OpenOutcome(dir / "folder.gbr"), "not a regular file");
  EXPECT_EQ(OpenOutcome(dir / "missing.gbr"), "No such file or directory");

  const int fd = OpenFileForReading((dir / "board.gbr").string());
  char buf[32];
  EXPECT_EQ(::read(fd, buf, sizeof buf), 13);
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  ::close(fd);
}

// A log held by another run is neither emptied nor written into: the second run writes
// the next free numbered log instead. A log nobody holds is rewritten as before.
TEST(Files, LogHeldByAnotherRunIsLeftAlone) {
  pvtest::TempDir dir;
  const std::string folder = dir.path().string() + "/";
  LogFile first, second, third;
  ASSERT_TRUE(first.Open(folder, "Run_Log.txt"));
  EXPECT_EQ(first.Path(), folder + "Run_Log.txt");
  first.WriteLine("first run");
  ASSERT_TRUE(second.Open(folder, "Run_Log.txt"));
  EXPECT_EQ(second.Path(), folder + "Run_Log-2.txt");
  second.WriteLine("second run");
  first.WriteLine("first run again");
  EXPECT_TRUE(second.Close());
  EXPECT_TRUE(first.Close());
  EXPECT_EQ(pvtest::ReadFile(dir / "Run_Log.txt"), "first run\r\nfirst run again\r\n");
  EXPECT_EQ(pvtest::ReadFile(dir / "Run_Log-2.txt"), "second run\r\n");

  ASSERT_TRUE(third.Open(folder, "Run_Log.txt"));  // nobody holds it any more
  EXPECT_EQ(third.Path(), folder + "Run_Log.txt");
  third.WriteLine("third run");
  EXPECT_TRUE(third.Close());
  EXPECT_EQ(pvtest::ReadFile(dir / "Run_Log.txt"), "third run\r\n");

  // A log that cannot take a line: it says so, the rest is dropped, Close tells.
  fs::create_symlink("/dev/full", dir / "Full_Log.txt");
  LogFile full;
  ASSERT_TRUE(full.Open(folder, "Full_Log.txt"));
  EXPECT_FALSE(full.Failed());
  full.WriteLine("lost");
  EXPECT_TRUE(full.Failed());
  EXPECT_EQ(full.Error(),
            "Cannot write the log " + folder + "Full_Log.txt: No space left on device");
  full.WriteLine("not tried");
  EXPECT_FALSE(full.Close());
}

}  // namespace
}  // namespace pv
