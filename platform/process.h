#pragma once
// Process, files and shell: what the driver needs from the operating system.
#include <string>
#include <string_view>

namespace pv {

// Folder of the running executable, with its trailing separator.
std::string ProgramFolder();

// A regular file (or a link to one) that exists; a folder is not a file.
bool FileExists(const std::string& path);

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
