#pragma once
// Process, files and shell: what the driver needs from the operating system.
#include <signal.h>

#include <string>
#include <string_view>

namespace pv {

// Folder of the running executable, with its trailing separator.
std::string ProgramFolder();

// A regular file (or a link to one) that exists; a folder is not a file.
bool FileExists(const std::string& path);

// Opens a file for reading without ever waiting: a name that turned into a FIFO or a
// device after FileExists said yes is refused instead of blocking the run. Returns the
// descriptor; raises EInOutError with the reason ("not a regular file", strerror).
int OpenFileForReading(const std::string& path);

// Start-up of the program, before anything is opened:
// - descriptors 0 to 2 that are closed get /dev/null, so that no file opened later takes
//   their number and receives what is written to standard output or error;
// - SIGPIPE is ignored: a reader of standard output that goes away makes writes fail
//   (and the messages then go to the log only) instead of killing the run;
// - SIGHUP, SIGINT, SIGQUIT, SIGTERM and the other signals that end a process (those not
//   ignored already) remove the registered temporary files first and then end the process
//   as the signal would have.
// False when a closed standard descriptor cannot be given /dev/null.
bool PrepareProcess();

// A temporary file that a terminating signal removes. A handful can be registered at a
// time; the slot number is -1 when none is free or the path is too long, and the file is
// then only removed by its owner.
int RegisterTemporaryFile(const std::string& path);
void ForgetTemporaryFile(int slot);

// Holds the terminating signals back on this thread while it lives, e.g. across a rename
// of a registered file and its forgetting; a signal that arrives meanwhile is handled at
// the end.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  ~TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t saved_;  // the thread's previous signal mask
};

// Helper threads call this first: the terminating signals are then handled by a thread
// that registers the temporary files, never in the middle of a helper's work.
void BlockTerminationSignalsOnThisThread();

// The modal message box of a desktop program: one line on standard error; never waits.
void ShowMessage(std::string_view text);

// Asks the desktop to open a document, detached and never waited for; does nothing
// without a graphical session. Failure is ignored.
void ShellOpen(const std::string& path);

// The reader's fixed deletion of c:\Tessvale\GerbLog.txt: only on Windows.
void DeleteFixedGerbLog();

// Path helpers on '/' (and '\\' on Windows) separators.
std::string ExtractFilePath(const std::string& path);  // folder with trailing separator
std::string ExtractFileName(const std::string& path);  // name with extension
std::string ExtractFileExt(const std::string& name);   // from the last '.', dot included

}  // namespace pv
