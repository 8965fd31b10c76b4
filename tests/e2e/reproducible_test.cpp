// With SOURCE_DATE_EPOCH set the same files give the same bytes, whatever the folder, the
// time zone or the locale of the run; the fixed instant is the only date in the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

std::vector<std::string> ExampleNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(SourceDir() / "examples"))
    if (e.path().extension() == ".gbr") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Converts the example boards in a fresh folder with the given environment; returns the
// PDF bytes.
std::string ConvertExamples(const std::vector<std::string>& env) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  std::vector<std::string> names = ExampleNames();
  std::vector<std::string> args{exe.string()};
  for (const auto& n : names) {
    fs::copy_file(SourceDir() / "examples" / n, dir / n);
    args.push_back(n);
  }
  RunResult r = RunProgram(args, dir.path(), env);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::string first = names.front();
  return ReadFile(dir / (first.substr(0, first.size() - 4) + "_gbr.pdf"));
}

std::string Hex(const std::string& text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Reproducible, SameFilesGiveTheSameBytes) {
  ASSERT_GE(ExampleNames().size(), 4u);
  // 1700000000 is 2023-11-14 22:13:20 UTC.
  std::string a =
      ConvertExamples({"SOURCE_DATE_EPOCH=1700000000", "TZ=America/New_York", "LC_ALL=C"});
  std::string b = ConvertExamples({"SOURCE_DATE_EPOCH=1700000000", "TZ=Asia/Kolkata",
                                   "LC_ALL=de_DE.UTF-8", "LANG=fr_FR.UTF-8"});
  ASSERT_GT(a.size(), 1000u);
  EXPECT_TRUE(a == b) << "the two runs differ in size " << a.size() << " / " << b.size();

  // The instant is written in UTC as creation and modification date, and nowhere else.
  std::string date = Hex("D:20231114221320+00'00'");
  EXPECT_EQ(Occurrences(a, "/CreationDate <" + date + ">"), 1u);
  EXPECT_EQ(Occurrences(a, "/ModDate <" + date + ">"), 1u);

  // Another instant changes exactly those two dates.
  std::string c = ConvertExamples({"SOURCE_DATE_EPOCH=0", "TZ=UTC"});
  std::string epoch = Hex("D:19700101000000+00'00'");
  ASSERT_EQ(Occurrences(c, epoch), 2u);
  ASSERT_EQ(c.size(), a.size());
  for (size_t at = c.find(epoch); at != std::string::npos; at = c.find(epoch, at + 1))
    c.replace(at, epoch.size(), date);
  EXPECT_TRUE(c == a);
}
