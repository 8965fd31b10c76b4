#include "app/driver.h"

#include <iostream>

#include "app/options.h"
#include "gerber/reader.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/logfile.h"
#include "platform/process.h"

namespace pv {

namespace {

constexpr const char* kBanner = "Plotvane Application Ver 1.02";
constexpr const char* kPromotion = "Plotvane: RS-274-X photoplots to PDF, one page per layer";
// A PDF was written but the log could not be (standard error says why).
constexpr int kStatusLogFailed = 3;
constexpr const char* kUsage =
    "Usage: plotvane [OPTION ...] FILE [FILE ...]  (RS-274-X files; plotvane --help for more)";

}  // namespace

Messages::Messages(LogFile& log, std::ostream& out) : Messages(log, out, std::cerr) {}

void Messages::LogThenOut(const std::string& line) {
  log_.WriteLine(line);
  out_ << line << '\n';
}

void Messages::OutThenLog(const std::string& line) {
  out_ << line << '\n';
  log_.WriteLine(line);
}

void Messages::LogThenError(const std::string& line) {
  log_.WriteLine(line);
  out_.flush();
  err_ << line << '\n';
}

DriverSettings ReadSettings(const std::string& programFolder) {
  DriverSettings s;
  IniFile ini;
  if (ini.Load(programFolder + "Plotvane.ini")) {
    s.ActualSize = ini.ReadBool("Defaults", "ActualSize", false);
    s.SolidFill = ini.ReadBool("Defaults", "SolidFill", false);
  }
  return s;
}

int RunConversion(int argc, char** argv, const PageLayoutFactory& layouts) {
  const CommandLine line = ParseCommandLine(argc, argv);
  if (line.Action != CommandAction::Convert)
    return AnswerWithoutConverting(line, kBanner, std::cout, std::cerr);
  const std::string folder = ProgramFolder();
  DriverSettings settings = ReadSettings(folder);
  ApplyOptions(line, settings);

  LogFile log;
  if (!log.Open(folder, "Plotvane_Log.txt")) {
    std::cerr << "Cannot create the log Plotvane_Log.txt in " << folder
              << " nor in the user's state folder\n";
    return 1;
  }
  Messages msg(log, std::cout);

  try {
    log.WriteLine("");
    log.WriteLine(kPromotion);
    log.WriteLine("");
    msg.OutThenLog(kBanner);

    if (line.Files.empty()) {
      std::cout.flush();
      std::cerr << kUsage << '\n';
      log.WriteLine("No files given");
      log.Close();
      return 2;
    }

    // A PDF path given with -o is checked before any board is read.
    if (!settings.OutputPath.empty()) {
      const std::string problem = ChosenOutputProblem(settings.OutputPath, line.Files);
      if (!problem.empty()) {
        msg.LogThenError("Cannot write the PDF to " + settings.OutputPath + ": " + problem);
        msg.LogThenOut("No PDF Document Written");
        log.Close();
        return 1;
      }
    }

    TID_DrawFileFormat image;
    std::unique_ptr<PageLayout> layout;
    int pages = 0;

    for (const std::string& arg : line.Files) {
      ResetReaderTables();
      if (!FileExists(arg)) {
        log.WriteLine("File Not Found: " + arg);
        std::cout.flush();
        ShowMessage("File Not Found: " + arg);
        continue;
      }

      bool accepted = false;
      try {
        accepted = ReadGerberFile(arg, image, kDefaultGerberFormat);
      } catch (const EInOutError& e) {
        // The file exists but cannot be read: say why and go on with the next one.
        msg.LogThenError("Cannot read " + arg + ": " + e.what());
        continue;
      } catch (const std::bad_alloc&) {
        // What the file filled is given back; a smaller next file may well fit.
        ClearImage(image);
        msg.LogThenOut("Out of memory reading " + arg + ": it gets no page");
        continue;
      } catch (const std::exception& e) {
        // A limit or an overflow rather than a file that is not RS-274-X: the user is told
        // which, so that a hit limit is not taken for a broken file.
        msg.LogThenOut("Bad RS-274-X file: " + arg);
        msg.LogThenOut("Reason: " + std::string(e.what()) + " while reading " + arg);
        continue;
      }
      if (!accepted) {
        msg.LogThenOut("Bad RS-274-X file: " + arg);
        continue;
      }
      // Spelt so on purpose: scripts and callers match this exact text.
      msg.LogThenOut("Finsished Reading Gerber: " + arg);

      if (!layout) layout = layouts(msg, settings);
      try {
        layout->LayoutPage(arg, image, pages + 1);
        ++pages;
        // The page holds the drawing now; the next read starts the image afresh anyway.
        ClearImage(image);
      } catch (const EInOutError&) {
        throw;
      } catch (const std::bad_alloc&) {
        // The page may be half drawn, and a document never gets half a page: it is given
        // up (its temporary file with it), and the files after this one would only make a
        // document named after one of them.
        layout.reset();
        ClearImage(image);
        msg.LogThenOut("Out of memory drawing " + arg + ": the PDF document is given up");
        break;
      } catch (const std::exception& e) {
        msg.LogThenError("No page for " + arg + ": " + e.what() + " in the page layout");
      }
    }

    bool written = false;
    std::string written_name;
    if (layout) {
      written_name = layout->OutputName();
      try {
        written = layout->FinishDocument();
      } catch (const std::bad_alloc&) {
        msg.LogThenOut("Out of memory writing the PDF document");
      } catch (const std::exception& e) {
        msg.LogThenError(e.what());
      }
      layout.reset();  // an unfinished document takes its temporary file along
    }
    if (written) {
      msg.LogThenOut("PDF Document Complete");
      // Where the document went, so nobody needs to know how its name is made.
      msg.LogThenOut("Wrote " + written_name + ": " + std::to_string(pages) +
                     (pages == 1 ? " page" : " pages"));
    } else {
      msg.LogThenOut("No PDF Document Written");
    }
    std::cout.flush();
    if (std::cout.fail())
      log.WriteLine("Standard output could not be written; the messages are in this log only");
    // A complete PDF whose log is incomplete: the PDF stands, the status says the rest.
    if (!log.Close()) return written ? kStatusLogFailed : 1;
    return written ? 0 : 1;
  } catch (const std::bad_alloc&) {
    // The run's storage is given back by now; these few lines fit.
    try {
      msg.LogThenOut("Out of memory: the run ends without a PDF");
      std::cout.flush();
      log.Close();
    } catch (const std::exception&) {
    }
    return 1;
  } catch (const std::exception& e) {
    // An error that stops the run: the log gets it too when it still can.
    std::cout.flush();
    std::cerr << e.what() << '\n';
    try {
      log.WriteLine(e.what());
      log.Close();
    } catch (const std::exception&) {
    }
    return 1;
  }
}

}  // namespace pv
