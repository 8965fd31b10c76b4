#include "pdf/compress.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace pv {

namespace {

constexpr size_t kChunk = 8192;

// Ends the deflate stream on every path out of CompressInto.
struct DeflateStream {
  z_stream z{};
  bool open = false;
  ~DeflateStream() {
    if (open) deflateEnd(&z);
  }
};

template <class Buffer>
size_t CompressInto(std::string_view source, Buffer& dest, TgtCompressionLevel level) {
  DeflateStream s;
  if (deflateInit(&s.z, DeflateLevel(level)) != Z_OK) throw ECompressionError();
  s.open = true;

  const size_t start = dest.size();
  size_t used = start;  // bytes of dest holding output
  const auto* next = reinterpret_cast<const Bytef*>(source.data());
  size_t left = source.size();
  // avail_in is 32 bits wide: a larger source is handed over in pieces.
  constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();
  int flush = Z_NO_FLUSH;
  int rc = Z_OK;
  do {
    const size_t piece = std::min(left, kMaxPiece);
    s.z.next_in = const_cast<Bytef*>(next);
    s.z.avail_in = static_cast<uInt>(piece);
    next += piece;
    left -= piece;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      dest.resize(used + kChunk);
      s.z.next_out = reinterpret_cast<Bytef*>(dest.data() + used);
      s.z.avail_out = static_cast<uInt>(kChunk);
      rc = deflate(&s.z, flush);
      if (rc == Z_STREAM_ERROR) {
        dest.resize(start);
        throw ECompressionError();
      }
      used += kChunk - s.z.avail_out;
    } while (s.z.avail_out == 0);
  } while (flush != Z_FINISH);
  dest.resize(used);
  if (rc != Z_STREAM_END || s.z.avail_in != 0) {
    dest.resize(start);
    throw ECompressionError();
  }
  return used - start;
}

}  // namespace

int DeflateLevel(TgtCompressionLevel level) {
  switch (level) {
    case TgtCompressionLevel::clFastest:
      return 0;
    case TgtCompressionLevel::clNormal:
      return 1;
    case TgtCompressionLevel::clMaxCompress:
      break;
  }
  return 6;
}

size_t CompressStream(std::string_view source, std::string& dest, TgtCompressionLevel level) {
  return CompressInto(source, dest, level);
}

size_t CompressStream(std::string_view source, std::vector<uint8_t>& dest,
                      TgtCompressionLevel level) {
  return CompressInto(source, dest, level);
}

}  // namespace pv
