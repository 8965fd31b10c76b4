#include "platform/process.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

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
