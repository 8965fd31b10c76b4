#pragma once
// The run's log: one message per line, CR LF line ends, rewritten on every run.
#include <cstdio>
#include <string>
#include <string_view>

namespace pv {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates or truncates folder + name. An installed program (folder is a bin/ folder with
  // share/doc/plotvane/ beside it), or one whose folder takes no file, logs to
  // $XDG_STATE_HOME/plotvane/name instead (default ~/.local/state/plotvane/), without a word:
  // that is where an installed program's log belongs, and its manual page says so. False when
  // neither can be created.
  bool Open(const std::string& folder, const std::string& name);
  // Raises EInOutError when the line cannot be written.
  void WriteLine(std::string_view line);
  // Flushes and closes; raises EInOutError when buffered lines could not be written.
  void Close();
  const std::string& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace pv
