// page-compare FILE...: converts each Gerber file at actual size in the solid look, renders
// the same window of the board with gerbv, and prints how far the two pictures agree.
#include "tools/page_compare.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: page-compare [--plotvane BIN] [--hatched] [--dpi N] [--bound PERCENT] [--ink-only]\n"
    "                    [--shift N] [--tolerance N] [--diff DIR] [--diff-scale N]\n"
    "                    [--keep DIR] [--timeout SECONDS] [--rows-only | --heading]\n"
    "                    [--reference GERBER] FILE...\n"
    "Converts each Gerber file with our binary (ActualSize=1, SolidFill=1 unless --hatched),\n"
    "renders the page's window of the board with gerbv, and prints per file:\n"
    "  ref ink, our ink  dark pixels of each picture (the caption masked)\n"
    "  agree             dark in both / dark in either\n"
    "  miss %            reference ink with none of ours within --tolerance (2) pixels,\n"
    "                    in percent of the reference's ink\n"
    "  extra %           our ink with no reference ink within the tolerance, of our ink\n"
    "  clr- %            the same extra ink, of the reference's clear area on the board (the\n"
    "                    box of both pictures' ink): clearances filled in a plane\n"
    "  clr+ %            the missing ink, of our clear area on the board\n"
    "  spots             groups of 12 or more missing or extra pixels that touch: pads,\n"
    "                    holes, clearances, ends that are not where they should be (shown,\n"
    "                    not judged)\n"
    "  shift             the registration of the reference, within --shift (2) pixels\n"
    "PASS when all four percentages are within --bound (1.5); --ink-only: miss and extra.\n"
    "--diff DIR writes DIR/<file>.png: black both, grey within the tolerance, red missing,\n"
    "blue extra, yellow the masked caption. --rows-only leaves out the heading and the\n"
    "summary line; --heading prints the heading alone. Exit status 1 when a compared file\n"
    "fails or a comparison went wrong, 2 on wrong usage or missing tools.\n"
    "--reference GERBER: gerbv draws that file instead (the same board written without what\n"
    "gerbv cannot draw). Zero-size circles, which gerbv leaves out and our page draws as a\n"
    "hairline, are 1/1000 inch wide in the reference's copy. The reference is marked unreliable\n"
    "(REF-UNRELIABLE, not counted) when gerbv says it ignored a command that changes the\n"
    "image or a macro too long for it, or when its picture is empty.\n";

void Put(const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fflush(stdout);
}

bool ParseInt(const char* s, int& v) {
  const char* end = s + std::char_traits<char>::length(s);
  auto r = std::from_chars(s, end, v);
  return r.ec == std::errc() && r.ptr == end;
}

bool ParseDouble(const char* s, double& v) {
  const char* end = s + std::char_traits<char>::length(s);
  auto r = std::from_chars(s, end, v);
  return r.ec == std::errc() && r.ptr == end;
}

std::string ProgramFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

std::string Count(int n) {
  char b[16];
  auto r = std::to_chars(b, b + sizeof b, n);
  return std::string(b, r.ptr);
}

}  // namespace

int main(int argc, char** argv) {
  pvpc::FileCompareOptions options;
  options.plotvane = ProgramFolder() + "/plotvane";
  double bound = 1.5;
  bool rowsOnly = false;
  bool inkOnly = false;
  std::string diffFolder, keepFolder;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    bool ok = true;
    if (a == "--plotvane" && hasValue)
      options.plotvane = argv[++i];
    else if (a == "--heading") {
      Put(pvpc::RowHeading() + "\n");
      return 0;
    } else if (a == "--rows-only")
      rowsOnly = true;
    else if (a == "--ink-only")
      inkOnly = true;
    else if (a == "--reference" && hasValue)
      options.referenceFile = argv[++i];
    else if (a == "--hatched")
      options.solidFill = false;
    else if (a == "--dpi" && hasValue)
      ok = ParseInt(argv[++i], options.dpi) && options.dpi >= 10 && options.dpi <= 1200;
    else if (a == "--bound" && hasValue)
      ok = ParseDouble(argv[++i], bound);
    else if (a == "--shift" && hasValue)
      ok = ParseInt(argv[++i], options.compare.searchRadius) && options.compare.searchRadius >= 0;
    else if (a == "--tolerance" && hasValue)
      ok = ParseInt(argv[++i], options.compare.tolerance) && options.compare.tolerance >= 0;
    else if (a == "--diff" && hasValue)
      diffFolder = argv[++i];
    else if (a == "--diff-scale" && hasValue)
      ok = ParseInt(argv[++i], options.differenceScale) && options.differenceScale >= 1;
    else if (a == "--keep" && hasValue)
      keepFolder = argv[++i];
    else if (a == "--timeout" && hasValue)
      ok = ParseInt(argv[++i], options.timeoutSeconds) && options.timeoutSeconds > 0;
    else if (a == "-h" || a == "--help") {
      Put(kUsage);
      return 0;
    } else if (!a.empty() && a[0] == '-')
      ok = false;
    else
      files.push_back(a);
    if (!ok) {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (files.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (access(options.plotvane.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "page-compare: no converter at %s (--plotvane)\n",
                 options.plotvane.c_str());
    return 2;
  }
  const pvpc::ExternalTools tools = pvpc::FindExternalTools();
  if (!tools.Complete()) {
    std::fputs("page-compare: gerbv, pdftoppm and pdftotext are needed on PATH\n", stderr);
    return 2;
  }
  if (!diffFolder.empty()) fs::create_directories(diffFolder);

  int pass = 0, fail = 0, noPage = 0, noRef = 0, unreliable = 0, errors = 0;
  if (!rowsOnly) Put(pvpc::RowHeading() + "\n");
  for (const std::string& file : files) {
    // One name per file for its difference picture and kept files: the path, flattened.
    std::string flat = file;
    for (char& ch : flat)
      if (ch == '/') ch = '_';
    pvpc::FileCompareOptions o = options;
    if (!diffFolder.empty()) o.differencePng = (fs::path(diffFolder) / (flat + ".png")).string();
    if (!keepFolder.empty()) o.keepFolder = (fs::path(keepFolder) / flat).string();
    const pvpc::FileComparison c = pvpc::CompareFile(file, o, tools);
    Put(pvpc::FormatRow(file, c, bound, inkOnly) + "\n");
    switch (c.outcome) {
      case pvpc::Outcome::Compared:
        ++(c.Pass(bound, inkOnly) ? pass : fail);
        break;
      case pvpc::Outcome::OursRefused:
        ++noPage;
        break;
      case pvpc::Outcome::ReferenceFailed:
        ++noRef;
        break;
      case pvpc::Outcome::ReferenceUnreliable:
        ++unreliable;
        break;
      case pvpc::Outcome::Error:
        ++errors;
        break;
    }
  }
  if (!rowsOnly)
    Put("compared " + Count(pass + fail) + ": " + Count(pass) + " pass, " + Count(fail) +
        " fail; left out: " + Count(noPage) + " without our page, " + Count(noRef) +
        " without a reference, " + Count(unreliable) + " with an unreliable reference, " +
        Count(errors) + " errors\n");
  return fail > 0 || errors > 0 ? 1 : 0;
}
