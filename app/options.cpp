#include "app/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>

#include "app/driver.h"
#include "app/layout.h"
#include "platform/process.h"

namespace pv {

namespace {

CommandLine Misuse(std::string message) {
  CommandLine line;
  line.Action = CommandAction::Misuse;
  line.Error = "plotvane: " + std::move(message);
  return line;
}

}  // namespace

const std::string& UsageText() {
  static const std::string text =
      "Usage: plotvane [OPTION ...] FILE [FILE ...]\n"
      "Converts RS-274-X (extended Gerber) files into one PDF, one page for every file it\n"
      "accepts. The PDF goes beside the first accepted file and is named after it\n"
      "(top.gtl gives top_gtl.pdf).\n"
      "\n"
      "  -o, --output FILE  write the PDF to FILE instead\n"
      "      --actual-size  draw every board at actual size instead of fitting the page\n"
      "      --solid-fill   fill regions, polygon and macro pads solid instead of hatched\n"
      "      --no-open      do not open the finished PDF in the desktop's viewer\n"
      "  -h, --help         show this help and exit\n"
      "  -V, --version      show the version and exit\n"
      "      --             end of the options: every later argument is a file\n"
      "\n"
      "Options may stand anywhere before \"--\"; a file whose name begins with '-' is given\n"
      "after \"--\" or as ./-name. Messages go to standard output and to the log\n"
      "Plotvane_Log.txt (see plotvane(1) for where it is). Exit status: 0 a PDF was written,\n"
      "1 none was written, 2 a wrong command line.\n";
  return text;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options || arg.empty() || arg[0] != '-') {
      line.Files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options = false;
    } else if (arg == "-h" || arg == "--help") {
      line.Action = CommandAction::Help;
      return line;
    } else if (arg == "-V" || arg == "--version") {
      line.Action = CommandAction::Version;
      return line;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return Misuse("option " + arg + " needs the PDF's file name");
      line.Output = argv[++i];
      if (line.Output.empty()) return Misuse("option " + arg + " needs the PDF's file name");
    } else if (arg.rfind("--output=", 0) == 0 || arg[1] == 'o') {  // --output=FILE, -oFILE
      line.Output = arg.substr(arg[1] == '-' ? 9 : 2);
      if (line.Output.empty()) return Misuse("option --output needs the PDF's file name");
    } else if (arg == "--actual-size") {
      line.ActualSize = true;
    } else if (arg == "--solid-fill") {
      line.SolidFill = true;
    } else if (arg == "--no-open") {
      line.NoOpen = true;
    } else {
      return Misuse("unknown option " + arg +
                    " (a file whose name begins with '-' goes after -- or as ./" + arg + ")");
    }
  }
  return line;
}

int AnswerWithoutConverting(const CommandLine& line, const std::string& versionLine,
                            std::ostream& out, std::ostream& err) {
  switch (line.Action) {
    case CommandAction::Help:
      out << UsageText() << std::flush;
      return 0;
    case CommandAction::Version:
      out << versionLine << '\n' << std::flush;
      return 0;
    case CommandAction::Misuse:
      err << line.Error << '\n' << UsageText() << std::flush;
      return 2;
    case CommandAction::Convert:
      break;
  }
  return 0;
}

void ApplyOptions(const CommandLine& line, DriverSettings& settings) {
  if (line.ActualSize) settings.ActualSize = true;
  if (line.SolidFill) settings.SolidFill = true;
  if (line.NoOpen) settings.OpenAfterCreate = false;
  settings.OutputPath = line.Output;
}

std::string ChosenOutputProblem(const std::string& path, const std::vector<std::string>& files) {
  if (!path.empty() && path.back() == '/') return "the name ends in '/', so it names a folder";
  // A folder that is missing or no folder gets its own words; the rest is what any PDF
  // path is checked for.
  std::string folder = ExtractFilePath(path);
  if (folder.empty()) folder = ".";
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT) return "its folder " + folder + " does not exist";
    if (errno == ENOTDIR) return "its folder " + folder + " is not a folder";
  } else if (!S_ISDIR(st.st_mode)) {
    return "its folder " + folder + " is not a folder";
  }
  if (std::string problem = OutputProblem(path); !problem.empty()) return problem;
  struct stat out;
  if (::stat(path.c_str(), &out) != 0) return {};
  for (const std::string& file : files) {
    struct stat in;
    if (::stat(file.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      return "it is " + file + ", one of the files to convert";
  }
  return {};
}

}  // namespace pv
