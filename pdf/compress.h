#pragma once
// Flate compression of stream data (page content, patterns, CMaps, font files) as one zlib
// stream: the RFC 1950 header and Adler-32 trailer that the FlateDecode filter expects.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

enum class TgtCompressionLevel : uint8_t { clFastest, clNormal, clMaxCompress };

struct TgtCompression {
  bool Enabled = true;
  TgtCompressionLevel Level = TgtCompressionLevel::clMaxCompress;
};

// A deflate failure; the document is left unfinished.
struct ECompressionError : std::runtime_error {
  explicit ECompressionError(const std::string& what = "error") : std::runtime_error(what) {}
};

// The deflate level of a compression level: clFastest 0 (stored blocks), clNormal 1,
// clMaxCompress 6 (the library's default).
int DeflateLevel(TgtCompressionLevel level);

// Deflates all of source into one zlib stream appended to dest, produced in 8192-byte
// chunks; returns the number of bytes added. Raises ECompressionError("error").
size_t CompressStream(std::string_view source, std::string& dest, TgtCompressionLevel level);
size_t CompressStream(std::string_view source, std::vector<uint8_t>& dest,
                      TgtCompressionLevel level);

}  // namespace pv
