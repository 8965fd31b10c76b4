// Writes a synthetic RS-274-X copper layer of a requested size:
//   gen_gerber [--mm] [--seed N] SIZE OUTPUT
// SIZE is a byte count with an optional K or M suffix (1024-based): 1M, 10M, 300K.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "bench/synthetic_gerber.h"

namespace {

bool ParseSize(std::string_view text, uint64_t& bytes) {
  uint64_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p == text.data()) return false;
  std::string_view suffix(p, static_cast<size_t>(text.data() + text.size() - p));
  if (suffix == "K" || suffix == "k")
    v <<= 10;
  else if (suffix == "M" || suffix == "m")
    v <<= 20;
  else if (!suffix.empty())
    return false;
  bytes = v;
  return true;
}

int Usage() {
  std::fputs("Usage: gen_gerber [--mm] [--seed N] SIZE OUTPUT   (SIZE: bytes, or with K or M)\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  pv::TSyntheticBoardOptions options;
  const char* sizeText = nullptr;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--mm") {
      options.Millimetre = true;
    } else if (a == "--seed" && i + 1 < argc) {
      std::string_view s = argv[++i];
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), options.Seed);
      if (ec != std::errc() || p != s.data() + s.size()) return Usage();
    } else if (!sizeText) {
      sizeText = argv[i];
    } else if (!output) {
      output = argv[i];
    } else {
      return Usage();
    }
  }
  if (!sizeText || !output || !ParseSize(sizeText, options.Bytes)) return Usage();

  const std::string text = pv::GenerateSyntheticGerber(options);
  std::FILE* f = std::fopen(output, "wb");
  if (!f) {
    std::fprintf(stderr, "gen_gerber: cannot create %s: %s\n", output, std::strerror(errno));
    return 1;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "gen_gerber: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
