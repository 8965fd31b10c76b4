#pragma once
// Flate compression of stream data (page content, patterns, CMaps, font files) as one zlib
// stream: the RFC 1950 header and Adler-32 trailer that the FlateDecode filter expects.
//
// A stream is cut into chunks of kFlateChunkSize bytes, counted from its first byte. Each
// chunk is deflated on its own (libdeflate, at the level's deflate level) and the chunks
// are joined into one deflate stream: every chunk but the last ends with an empty stored
// block in place of its final-block mark, so the next chunk starts on a byte boundary. The
// chunks may be deflated by worker threads while the caller produces the next ones; the
// bytes depend only on the data and the level, never on the number of threads or on how
// the data was handed over.
#include <cstddef>
#include <cstdint>
#include <memory>
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
// clMaxCompress 6.
int DeflateLevel(TgtCompressionLevel level);

inline constexpr size_t kFlateChunkSize = size_t{1} << 20;

// Worker threads that deflate chunks besides the caller. The default is one less than the
// processors available (none on a single processor); 0 does all work on the caller's
// thread. Set it while no stream is being compressed.
void SetFlateWorkers(unsigned workers);
unsigned FlateWorkers();

// Test hook: every start of a worker thread fails from now on (or no longer), as it does
// when the process has reached its thread limit or runs short of address space. The
// chunks are then deflated on the calling thread.
void FailFlateWorkerStartsForTesting(bool fail);

// One zlib stream, fed front to back.
class TgtFlateEncoder {
 public:
  explicit TgtFlateEncoder(TgtCompressionLevel level);
  ~TgtFlateEncoder();  // waits for the chunks still being deflated
  TgtFlateEncoder(const TgtFlateEncoder&) = delete;
  TgtFlateEncoder& operator=(const TgtFlateEncoder&) = delete;

  // Takes the whole chunks off the front of text and leaves the rest of it in text, to be
  // continued by the caller.
  void Consume(std::string& text);
  // Compresses rest as the end of the stream and appends the complete zlib stream to dest;
  // returns the number of bytes added. Raises std::bad_alloc when a chunk ran out of
  // memory, ECompressionError("error") when deflate failed otherwise. The encoder is
  // finished afterwards.
  size_t Finish(std::string_view rest, std::string& dest);
  size_t Finish(std::string_view rest, std::vector<uint8_t>& dest);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Deflates all of source into one zlib stream appended to dest; returns the number of
// bytes added. Raises as TgtFlateEncoder::Finish does.
size_t CompressStream(std::string_view source, std::string& dest, TgtCompressionLevel level);
size_t CompressStream(std::string_view source, std::vector<uint8_t>& dest,
                      TgtCompressionLevel level);

}  // namespace pv
