#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "platform/errors.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace pv {

namespace {

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

// Signals whose default action ends the process and that a user or the system sends to
// stop a run. (Faults such as SIGSEGV are left to their default and to the sanitizers.)
constexpr int kTerminationSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGALRM, SIGUSR1,
                                       SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};

sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kTerminationSignals) sigaddset(&set, sig);
  return set;
}

// The registered temporary files. A slot's path is written while it is free and only then
// marked used, so the handler never reads a path being written.
struct TemporarySlot {
  std::atomic<int> used{0};
  char path[4096];
};
TemporarySlot g_temporary[4];
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminationSignal(int sig) {
  // Only async-signal-safe calls from here on.
  for (TemporarySlot& slot : g_temporary)
    if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  // The signal is blocked while its handler runs: raise it again and let it through.
  ::raise(sig);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  _exit(128 + sig);
}

}  // namespace

std::string ProgramFolder() {
  std::string exe;
#if defined(__linux__)
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buf.size()) {
      exe.assign(buf.data(), static_cast<size_t>(n));
      break;
    }
    buf.resize(buf.size() * 2);
  }
#elif defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buf(size + 1);
  if (_NSGetExecutablePath(buf.data(), &size) == 0) exe = buf.data();
#endif
  std::string folder = ExtractFilePath(exe);
  return folder.empty() ? std::string("./") : folder;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenFileForReading(const std::string& path) {
  int fd;
  do {
    // Without O_NONBLOCK a FIFO would wait here for a writer that may never come.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EInOutError(std::strerror(errno));
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw EInOutError(std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EInOutError("not a regular file");
  }
  // Reads of a regular file never wait anyway; clear the flag for whoever reads next.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool PrepareProcess() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null < 0) return false;
    if (null != fd) {
      if (::dup2(null, fd) < 0) return false;
      ::close(null);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  for (int sig : kTerminationSignals) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;  // nohup
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sa.sa_mask = TerminationSet();  // one handler at a time
    sa.sa_flags = SA_RESTART;
    ::sigaction(sig, &sa, nullptr);
  }
  return true;
}

int RegisterTemporaryFile(const std::string& path) {
  if (path.size() >= sizeof(TemporarySlot::path)) return -1;
  TerminationSignalsHeld held;
  for (size_t i = 0; i < std::size(g_temporary); ++i) {
    TemporarySlot& slot = g_temporary[i];
    if (slot.used.load(std::memory_order_relaxed)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(1, std::memory_order_release);
    return static_cast<int>(i);
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= std::size(g_temporary)) return;
  TerminationSignalsHeld held;
  g_temporary[slot].used.store(0, std::memory_order_release);
}

TerminationSignalsHeld::TerminationSignalsHeld() {
  const sigset_t set = TerminationSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

void BlockTerminationSignalsOnThisThread() {
  const sigset_t set = TerminationSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void ShowMessage(std::string_view text) {
  std::cerr.write(text.data(), static_cast<std::streamsize>(text.size()));
  std::cerr << '\n' << std::flush;
}

void ShellOpen(const std::string& path) {
#if defined(__APPLE__)
  const char* opener = "open";
#else
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) return;
  const char* opener = "xdg-open";
#endif
  // Output still buffered would be written a second time by the child's streams.
  std::cout.flush();
  std::fflush(nullptr);
  // Double fork so the opener is never our child to wait for.
  pid_t pid = fork();
  if (pid < 0) return;
  if (pid == 0) {
    if (fork() == 0) {
      setsid();
      ::signal(SIGPIPE, SIG_DFL);  // ours is ignored; the opener gets the usual one
      std::freopen("/dev/null", "r", stdin);
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      execlp(opener, opener, path.c_str(), static_cast<char*>(nullptr));
    }
    _exit(0);
  }
  int status;
  waitpid(pid, &status, 0);
}

void DeleteFixedGerbLog() {
#if defined(_WIN32)
  std::remove("c:\\Tessvale\\GerbLog.txt");
#endif
}

std::string ExtractFilePath(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsSeparator(path[i - 1])) return path.substr(0, i);
  return {};
}

std::string ExtractFileName(const std::string& path) {
  return path.substr(ExtractFilePath(path).size());
}

std::string ExtractFileExt(const std::string& name) {
  for (size_t i = name.size(); i > 0; --i) {
    if (name[i - 1] == '.') return name.substr(i - 1);
    if (IsSeparator(name[i - 1])) break;
  }
  return {};
}

}  // namespace pv
