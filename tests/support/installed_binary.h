#pragma once
// A fixture for the suites that run the built binary many times in one folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/support.h"

namespace pvtest {

// A file every run accepts: one track drawn with a round aperture.
inline constexpr const char* kGood =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D02*\nX10000Y5000D01*\nM02*\n";

// The binary copied into a private folder (its settings file and log beside it); the runs
// work in that folder.
class InstalledBinary : public ::testing::Test {
 protected:
  void SetUp() override { exe_ = InstallBinary(dir_.path()).string(); }
  RunResult Run(std::vector<std::string> files, const RunLimits& limits = {}) {
    files.insert(files.begin(), exe_);
    return RunProgram(files, dir_.path(), {}, limits);
  }
  // The lines of the run's log.
  std::vector<std::string> Log() const {
    return SplitLines(ReadFile(dir_ / "bin/Plotvane_Log.txt"));
  }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }

  TempDir dir_;
  std::string exe_;
};

}  // namespace pvtest
