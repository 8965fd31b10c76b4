#pragma once
// The run's log: one message per line, CR LF line ends, rewritten on every run.
#include <string>
#include <string_view>

namespace pv {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates or truncates folder + name and holds a lock on it for the run. When another
  // run holds that log, this one writes name-2, name-3, ... (before the extension) instead,
  // the first that no run holds, and says so on standard error. An installed program
  // (folder is a bin/ folder with share/doc/plotvane/ beside it), or one whose folder takes
  // no file, logs to $XDG_STATE_HOME/plotvane/ (default ~/.local/state/plotvane/) the same
  // way, without a word: that is where an installed program's log belongs, and its manual
  // page says so. False when none can be created.
  bool Open(const std::string& folder, const std::string& name);
  // Every line goes to the file at once, so a run that is killed keeps the lines so far.
  // A line that cannot be written is reported once on standard error and the log is
  // given up for the rest of the run: the conversion goes on, Failed() says so.
  void WriteLine(std::string_view line);
  // Closes the log; false when a line could not be written during the run.
  bool Close();
  bool Failed() const { return !error_.empty(); }
  // "Cannot write the log PATH: REASON" once a line failed; empty otherwise.
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string line_;  // the line being written, with its CR LF
  std::string error_;
};

}  // namespace pv
