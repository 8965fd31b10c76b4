// Every Gerber file of the corpus through the real binary: each file alone, and all the
// layers of each board in one run (one page per accepted file). Every PDF must pass the
// readers' checks and carry the file name of its layer on its page.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

// Paths relative to the corpus, in index order.
// One run of the binary: a folder of the corpus and some of its files, in this order.
struct Job {
  std::string folder;
  std::vector<std::string> names;
};

struct Outcome {
  std::vector<std::string> problems;
  int accepted = 0;
  int pages = 0;
};

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The PDF beside the first accepted file: name + "_" + extension without the dot + ".pdf".
std::string PdfName(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name + "_.pdf";
  return name.substr(0, dot) + "_" + name.substr(dot + 1) + ".pdf";
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

Outcome Convert(const fs::path& corpus, const fs::path& exe, const Job& job) {
  Outcome o;
  auto problem = [&](const std::string& what) {
    std::string files;
    for (const auto& n : job.names) files += " " + n;
    o.problems.push_back(job.folder + " [" + files.substr(1) + "]: " + what);
  };
  // The corpus is read-only and the PDF is written beside the first file: work on copies.
  TempDir dir;
  std::vector<std::string> argv{exe.string()};
  std::vector<std::string> accepted;
  for (const auto& name : job.names) {
    fs::copy_file(corpus / job.folder / name, dir / name);
    argv.push_back(name);
    if (!RefusedCorpusFiles().count(job.folder + "/" + name)) accepted.push_back(name);
  }
  RunResult r = RunProgram(argv, dir.path());
  std::vector<std::string> out = SplitLines(r.out);
  for (const auto& name : job.names) {
    bool refused = std::find(accepted.begin(), accepted.end(), name) == accepted.end();
    std::string expected = (refused ? "Bad RS-274-X file: " : "Finsished Reading Gerber: ") + name;
    if (CountLines(out, expected) != 1) problem("no line \"" + expected + "\"");
  }
  if (accepted.empty()) {
    if (r.status != 1) problem("exit status " + std::to_string(r.status) + " without a page");
    return o;
  }
  if (r.status != 0) {
    problem("exit status " + std::to_string(r.status) + ": " + r.err);
    return o;
  }
  if (!r.err.empty()) problem("standard error: " + r.err);
  if (CountLines(out, "Image Complete") != accepted.size())
    problem("\"Image Complete\" not once per accepted file");
  if (CountLines(out, "PDF Document Complete") != 1) problem("no \"PDF Document Complete\"");

  fs::path pdf = dir / PdfName(accepted.front());
  if (!fs::exists(pdf)) {
    problem("no " + pdf.filename().string());
    return o;
  }
  for (const std::string& p : CheckPdf(pdf)) problem(p);
  int pages = PdfPageCount(pdf);
  if (pages >= 0 && pages != static_cast<int>(accepted.size()))
    problem(std::to_string(pages) + " pages for " + std::to_string(accepted.size()) + " files");
  if (!FindTool("pdftotext").empty()) {
    std::vector<std::string> text = SplitPages(PdfText(pdf));
    if (text.size() != accepted.size()) {
      problem("pdftotext finds " + std::to_string(text.size()) + " pages");
    } else {
      for (size_t i = 0; i < accepted.size(); ++i)
        if (text[i].find("File Name: " + accepted[i]) == std::string::npos)
          problem("page " + std::to_string(i + 1) + " lacks \"File Name: " + accepted[i] + "\"");
    }
  }
  o.accepted = static_cast<int>(accepted.size());
  o.pages = pages >= 0 ? pages : o.accepted;
  return o;
}

// Runs the jobs on two workers, each with its own copy of the binary (so its own log).
// Both copies are made before either worker starts: a child forked while a copy is still
// open for writing would keep it busy and make its exec fail.
std::vector<Outcome> RunJobs(const fs::path& corpus, const std::vector<Job>& jobs) {
  std::vector<Outcome> outcomes(jobs.size());
  std::atomic<size_t> next{0};
  TempDir homes[2];
  fs::path exes[2] = {InstallBinary(homes[0].path()), InstallBinary(homes[1].path())};
  auto worker = [&](const fs::path& exe) {
    for (size_t i = next++; i < jobs.size(); i = next++) {
      try {
        outcomes[i] = Convert(corpus, exe, jobs[i]);
      } catch (const std::exception& e) {
        outcomes[i].problems.push_back(jobs[i].folder + ": " + e.what());
      }
    }
  };
  std::thread second(worker, exes[1]);
  worker(exes[0]);
  second.join();
  return outcomes;
}

struct Tally {
  int runs = 0;
  int files = 0;
  int pages = 0;
};

Tally Report(const std::vector<Outcome>& outcomes) {
  Tally t;
  for (const Outcome& o : outcomes) {
    for (const std::string& p : o.problems) ADD_FAILURE() << p;
    ++t.runs;
    t.files += o.accepted;
    t.pages += o.pages;
  }
  return t;
}

using Corpus = CorpusTest;

}  // namespace

// Each accepted file converts alone and as one page of its board's document; refused files
// are reported and make no page. One line sums up what was converted and checked.
TEST_F(Corpus, EveryFileAloneAndEveryBoardInOneRun) {
  std::vector<std::string> files = IndexedFiles(corpus);
  ASSERT_GT(files.size(), 300u);

  std::vector<Job> alone;
  std::vector<Job> boards;
  std::map<std::string, size_t> boardOf;
  for (const std::string& path : files) {
    ASSERT_TRUE(fs::is_regular_file(corpus / path)) << path;
    alone.push_back({Folder(path), {Name(path)}});
    auto [it, fresh] = boardOf.try_emplace(Folder(path), boards.size());
    if (fresh) boards.push_back({Folder(path), {}});
    boards[it->second].names.push_back(Name(path));
  }
  int acceptedFiles = static_cast<int>(files.size());
  for (const std::string& path : files) acceptedFiles -= RefusedCorpusFiles().count(path) ? 1 : 0;

  auto start = std::chrono::steady_clock::now();
  Tally single = Report(RunJobs(corpus, alone));
  Tally batch = Report(RunJobs(corpus, boards));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(single.files, acceptedFiles);
  EXPECT_EQ(single.pages, acceptedFiles);
  EXPECT_EQ(batch.files, acceptedFiles);
  EXPECT_EQ(batch.pages, acceptedFiles);
  std::printf(
      "Corpus: %d of %zu files converted and checked alone (%d pages) and in %d board runs "
      "(%d pages), %.0f seconds\n",
      single.files, files.size(), single.pages, batch.runs, batch.pages, seconds);
  std::fflush(stdout);
}

// Files users pass by mistake (a README, an empty file, a zip archive, a job file, a layer
// without apertures) are each refused and make no document, alone and all together; the
// drill file among them is read as one and makes the only page.
TEST_F(Corpus, FilesPassedByMistakeMakeNoDocument) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(corpus / "negative")) {
    names.push_back(e.path().filename().string());
    fs::copy_file(e.path(), dir / names.back());
  }
  std::sort(names.begin(), names.end());
  ASSERT_GE(names.size(), 6u);
  const std::string drill = "clockblock.drl";
  std::vector<std::string> all{exe.string()};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    all.push_back(name);
    if (name == drill) continue;
    RunResult r = RunProgram({exe.string(), name}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(CountLines(SplitLines(r.out), "Bad RS-274-X file: " + name), 1u) << r.out;
  }
  ASSERT_TRUE(std::find(names.begin(), names.end(), drill) != names.end());
  RunResult r = RunProgram(all, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountLines(SplitLines(r.out), "Finsished Reading Gerber: " + drill), 1u) << r.out;
  int pdfs = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) pdfs += e.path().extension() == ".pdf";
  EXPECT_EQ(pdfs, 1);
  EXPECT_EQ(PdfPageCount(dir / "clockblock_drl.pdf"), 1);
}
