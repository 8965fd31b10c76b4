#pragma once
// The conversion driver: settings, log, the per-argument loop, exit status.
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "draw/image.h"

namespace pv {

class LogFile;

// Where the driver's messages go: the log first or second and standard output, or the log
// and standard error (std::cerr unless given).
class Messages {
 public:
  Messages(LogFile& log, std::ostream& out);
  Messages(LogFile& log, std::ostream& out, std::ostream& err) : log_(log), out_(out), err_(err) {}
  void LogThenOut(const std::string& line);  // log, then standard output
  void OutThenLog(const std::string& line);  // standard output, then log
  // Log, then standard error once standard output is flushed, so that the lines of both
  // streams keep their order on a terminal.
  void LogThenError(const std::string& line);

 private:
  LogFile& log_;
  std::ostream& out_;
  std::ostream& err_;
};

struct DriverSettings {
  bool ActualSize = false;
  bool SolidFill = false;       // regions, polygon and macro pads solid instead of cross-hatched
  std::string OutputPath;       // the PDF's path (-o); empty: named after the first page's file
  bool OpenAfterCreate = true;  // false: the shell is never asked to open the PDF (--no-open)
};

// What happens to accepted images: one page each of a single document.
class PageLayout {
 public:
  virtual ~PageLayout() = default;
  // Raises on a layout overflow; the driver then logs it and the file gets no page.
  virtual void LayoutPage(const std::string& argument, TID_DrawFileFormat& image,
                          int pageNumber) = 0;
  // Ends the document; true when a PDF was written.
  virtual bool FinishDocument() = 0;
  // The path of the PDF, as it was given or made from the first page's file.
  virtual std::string OutputName() const { return {}; }
};

using PageLayoutFactory =
    std::function<std::unique_ptr<PageLayout>(Messages&, const DriverSettings&)>;

// Reads ActualSize and SolidFill from [Defaults] of Plotvane.ini in the given folder.
DriverSettings ReadSettings(const std::string& programFolder);

// The whole run; returns the exit status (0 a PDF was written, 1 none or an error,
// 2 no files, or a wrong command line).
int RunConversion(int argc, char** argv, const PageLayoutFactory& layouts);
int RunConversion(int argc, char** argv);

}  // namespace pv
