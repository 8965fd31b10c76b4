#pragma once
// The command line: options and file arguments, read in full before any file is converted.
#include <iosfwd>
#include <string>
#include <vector>

namespace pv {

struct DriverSettings;

enum class CommandAction {
  Convert,  // convert Files (possibly none)
  Help,     // usage on standard output, exit 0
  Version,  // the version line on standard output, exit 0
  Misuse,   // Error and the usage on standard error, exit 2, nothing converted
};

struct CommandLine {
  CommandAction Action = CommandAction::Convert;
  std::vector<std::string> Files;  // in command-line order
  std::string Output;              // -o: the PDF's path; empty: named after the first page's file
  bool ActualSize = false;         // --actual-size
  bool SolidFill = false;          // --solid-fill
  bool NoOpen = false;             // --no-open
  std::string Error;               // the one-line message of Misuse
};

// Options may stand before, between and after the files; "--" ends them, and every later
// argument is a file. Any other argument that begins with '-' is an option, known or not.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The full usage, as --help prints it.
const std::string& UsageText();

// Answers --help, --version and misuse; returns the exit status. Nothing else is done.
int AnswerWithoutConverting(const CommandLine& line, const std::string& versionLine,
                            std::ostream& out, std::ostream& err);

// The options over the settings file: set options win, unset ones leave the file's value.
void ApplyOptions(const CommandLine& line, DriverSettings& settings);

// Why the PDF cannot be written to a path the user chose with -o, or empty when nothing
// speaks against it: the page layout's own checks, and besides a folder that does not exist,
// a name that ends in '/', and a path that is one of the files to convert (the PDF would
// replace a board the user gave).
std::string ChosenOutputProblem(const std::string& path, const std::vector<std::string>& files);

}  // namespace pv
