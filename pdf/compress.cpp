#include "pdf/compress.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/process.h"

namespace pv {

namespace {

// ---- Finding the last block of a raw deflate stream --------------------------------------
//
// libdeflate writes a complete deflate stream whose last block carries the final mark. To
// continue the stream with the next chunk, the mark is cleared and the stream is brought
// to a byte boundary with an empty stored block; both need the bit positions of the last
// block's header and of its end, which only a walk over every block's symbols finds.

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), bits_(size * 8) {}

  size_t Position() const { return pos_; }
  bool Overrun() const { return pos_ > bits_; }

  // The next 16 bits, least significant first; zeros beyond the end.
  uint32_t Peek() {
    if (avail_ < 16) Refill();
    return static_cast<uint32_t>(buf_) & 0xFFFF;
  }
  void Skip(unsigned n) {  // n <= 16
    if (avail_ < n) Refill();
    buf_ >>= n;
    avail_ -= n;
    pos_ += n;
  }
  uint32_t Bits(unsigned n) {  // n <= 16
    const uint32_t v = Peek() & ((1u << n) - 1);
    Skip(n);
    return v;
  }
  void MoveTo(size_t bit) {
    pos_ = bit;
    avail_ = 0;
  }
  void AlignToByte() { MoveTo((pos_ + 7) & ~size_t{7}); }

 private:
  // Loads the eight bytes from the current position on.
  void Refill() {
    const size_t byte = pos_ >> 3;
    uint64_t v = 0;
    if (byte + 8 <= size_) {
      std::memcpy(&v, data_ + byte, 8);
      if constexpr (std::endian::native != std::endian::little) v = __builtin_bswap64(v);
    } else {
      for (size_t i = 0; byte + i < size_ && i < 8; ++i)
        v |= static_cast<uint64_t>(data_[byte + i]) << (8 * i);
    }
    buf_ = v >> (pos_ & 7);
    avail_ = 64 - static_cast<unsigned>(pos_ & 7);
  }

  const uint8_t* data_;
  size_t size_;
  size_t bits_;
  size_t pos_ = 0;
  uint64_t buf_ = 0;
  unsigned avail_ = 0;
};

// A canonical Huffman code: codes up to kFastBits long are found with one table look-up,
// longer ones bit by bit.
class HuffmanCode {
 public:
  static constexpr unsigned kFastBits = 10;

  // False for an over-subscribed code; incomplete codes (allowed for distances) are fine.
  bool Build(const uint8_t* lengths, unsigned n) {
    std::fill(std::begin(count_), std::end(count_), uint16_t{0});
    for (unsigned s = 0; s < n; ++s) ++count_[lengths[s]];
    count_[0] = 0;
    int left = 1;
    for (unsigned len = 1; len <= 15; ++len) {
      left = left * 2 - count_[len];
      if (left < 0) return false;
    }
    uint16_t offs[16];
    offs[1] = 0;
    for (unsigned len = 1; len < 15; ++len)
      offs[len + 1] = static_cast<uint16_t>(offs[len] + count_[len]);
    for (unsigned s = 0; s < n; ++s)
      if (lengths[s]) symbol_[offs[lengths[s]]++] = static_cast<uint16_t>(s);

    std::fill(std::begin(fast_), std::end(fast_), uint16_t{0});
    unsigned code = 0, index = 0;
    for (unsigned len = 1; len <= kFastBits; ++len) {
      for (unsigned k = 0; k < count_[len]; ++k, ++code, ++index) {
        // Deflate sends a code's bits from its most significant one: reverse for look-up.
        unsigned rev = 0;
        for (unsigned b = 0; b < len; ++b) rev |= ((code >> b) & 1u) << (len - 1 - b);
        const uint16_t entry = static_cast<uint16_t>((symbol_[index] << 4) | len);
        for (unsigned fill = rev; fill < (1u << kFastBits); fill += 1u << len) fast_[fill] = entry;
      }
      code <<= 1;
    }
    return true;
  }

  // The next symbol, or -1 for a code that does not exist.
  int Decode(BitReader& in) const {
    const uint32_t bits = in.Peek();
    const uint16_t e = fast_[bits & ((1u << kFastBits) - 1)];
    if (e != 0) {
      in.Skip(e & 15u);
      return e >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= 15; ++len) {
      code |= static_cast<int>((bits >> (len - 1)) & 1u);
      const int count = count_[len];
      if (code - count < first) {
        in.Skip(len);
        return symbol_[index + (code - first)];
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  uint16_t count_[16] = {};
  uint16_t symbol_[320] = {};
  uint16_t fast_[1u << kFastBits] = {};
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct FixedCodes {
  HuffmanCode litlen, dist;
  FixedCodes() {
    uint8_t l[288];
    std::fill(l, l + 144, 8);
    std::fill(l + 144, l + 256, 9);
    std::fill(l + 256, l + 280, 7);
    std::fill(l + 280, l + 288, 8);
    litlen.Build(l, 288);
    uint8_t d[30];
    std::fill(d, d + 30, 5);
    dist.Build(d, 30);
  }
};

bool SkipSymbolsOf(BitReader& in, const HuffmanCode& litlen, const HuffmanCode& dist) {
  for (;;) {
    if (in.Overrun()) return false;
    const int sym = litlen.Decode(in);
    if (sym < 0) return false;
    if (sym < 256) continue;
    if (sym == 256) return !in.Overrun();
    if (sym > 285) return false;
    in.Skip(kLengthExtra[sym - 257]);
    const int d = dist.Decode(in);
    if (d < 0 || d > 29) return false;
    in.Skip(kDistanceExtra[d]);
  }
}

bool SkipSymbols(BitReader& reader, const HuffmanCode& litlen, const HuffmanCode& dist) {
  // A copy the compiler can keep in registers; handed back at the end of the block.
  BitReader in = reader;
  const bool ok = SkipSymbolsOf(in, litlen, dist);
  reader = in;
  return ok;
}

bool ReadDynamicCodes(BitReader& in, HuffmanCode& litlen, HuffmanCode& dist) {
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
  const unsigned nlen = in.Bits(5) + 257, ndist = in.Bits(5) + 1, ncode = in.Bits(4) + 4;
  if (nlen > 286 || ndist > 30) return false;
  uint8_t lengths[320] = {};
  for (unsigned i = 0; i < ncode; ++i) lengths[kOrder[i]] = static_cast<uint8_t>(in.Bits(3));
  HuffmanCode lencode;
  if (!lencode.Build(lengths, 19)) return false;
  std::fill(lengths, lengths + 19, uint8_t{0});
  unsigned i = 0;
  while (i < nlen + ndist) {
    const int sym = lencode.Decode(in);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      continue;
    }
    uint8_t value = 0;
    unsigned repeat;
    if (sym == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + in.Bits(2);
    } else if (sym == 17) {
      repeat = 3 + in.Bits(3);
    } else {
      repeat = 11 + in.Bits(7);
    }
    if (i + repeat > nlen + ndist) return false;
    while (repeat--) lengths[i++] = value;
  }
  if (lengths[256] == 0) return false;  // no end-of-block code
  return litlen.Build(lengths, nlen) && dist.Build(lengths + nlen, ndist) && !in.Overrun();
}

// Bit positions of the header of the final block and of the end of that block.
struct LastBlock {
  size_t HeaderBit = 0;
  size_t EndBit = 0;
};

bool FindLastBlock(const uint8_t* data, size_t size, LastBlock& last) {
  static const FixedCodes fixed;
  BitReader in(data, size);
  HuffmanCode litlen, dist;
  for (;;) {
    const size_t header = in.Position();
    const bool final = in.Bits(1) != 0;
    const unsigned type = in.Bits(2);
    if (type == 0) {
      in.AlignToByte();
      const size_t byte = in.Position() / 8;
      if (byte + 4 > size) return false;
      const unsigned len = data[byte] | (data[byte + 1] << 8);
      const unsigned nlen = data[byte + 2] | (data[byte + 3] << 8);
      if ((len ^ nlen) != 0xFFFF || byte + 4 + len > size) return false;
      in.MoveTo(8 * (byte + 4 + len));
    } else if (type == 1) {
      if (!SkipSymbols(in, fixed.litlen, fixed.dist)) return false;
    } else if (type == 2) {
      if (!ReadDynamicCodes(in, litlen, dist) || !SkipSymbols(in, litlen, dist)) return false;
    } else {
      return false;
    }
    if (in.Overrun()) return false;
    if (final) {
      last.HeaderBit = header;
      last.EndBit = in.Position();
      return true;
    }
  }
}

// ---- Chunks --------------------------------------------------------------------------------

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One compressor per thread and level: they are costly to set up and not shareable.
libdeflate_compressor* ThreadCompressor(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressors[10];
  auto& c = compressors[level];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  return c.get();
}

struct Chunk {
  const void* owner = nullptr;  // the encoder
  std::string owned;            // the input, when the chunk owns it
  std::string_view input;
  int level = 6;
  bool continued = true;  // more chunks follow: make it joinable
  // Results.
  std::unique_ptr<uint8_t[]> out;
  size_t outSize = 0;
  uint32_t adler = 1;
  bool failed = false;
  bool outOfMemory = false;    // failed for want of memory
  bool done = false;           // guarded by the pool's mutex
  Chunk* nextRetry = nullptr;  // in the pool's list of chunks left to their caller
};

// Plain stored blocks, none of them final, ending on a byte boundary: a chunk whose
// compressed blocks cannot be walked is kept joinable this way.
void StoreContinued(Chunk& c) {
  const size_t blocks = c.input.size() / 65535 + 1;
  c.out.reset(new uint8_t[c.input.size() + 5 * blocks]);
  uint8_t* p = c.out.get();
  size_t at = 0;
  do {
    const size_t len = std::min<size_t>(65535, c.input.size() - at);
    *p++ = 0;  // not final, stored
    *p++ = static_cast<uint8_t>(len);
    *p++ = static_cast<uint8_t>(len >> 8);
    *p++ = static_cast<uint8_t>(~len);
    *p++ = static_cast<uint8_t>(~len >> 8);
    std::memcpy(p, c.input.data() + at, len);
    p += len;
    at += len;
  } while (at < c.input.size());
  c.outSize = static_cast<size_t>(p - c.out.get());
}

// Chunk-sized input buffers, handed back once deflated and taken again for the next chunk:
// fresh ones would cost a page fault for every page of content.
class SpareBuffers {
 public:
  static SpareBuffers& Get() {
    static SpareBuffers spares;
    return spares;
  }
  std::string Take() {
    std::lock_guard lock(m_);
    if (buffers_.empty()) return {};
    std::string s = std::move(buffers_.back());
    buffers_.pop_back();
    return s;
  }
  void GiveBack(std::string& s) noexcept {
    std::string mine;
    mine.swap(s);  // (a move assignment would keep s's allocation)
    if (mine.capacity() < kFlateChunkSize) return;
    mine.clear();
    std::lock_guard lock(m_);
    if (buffers_.size() < kKept) buffers_.push_back(std::move(mine));  // room reserved
  }

 private:
  SpareBuffers() { buffers_.reserve(kKept); }

  static constexpr size_t kKept = 8;
  std::mutex m_;
  std::vector<std::string> buffers_;
};

// Deflates into a reused buffer of the thread and keeps an exact copy: fresh buffers of the
// bound's size would cost page faults on every chunk. A chunk that is to be tried again
// when memory ran out keeps its input.
void DeflateChunk(Chunk& c, bool retryable = false) {
  c.failed = c.outOfMemory = false;
  c.out.reset();
  c.outSize = 0;
  try {
    libdeflate_compressor* z = ThreadCompressor(c.level);
    if (!z) throw std::bad_alloc();
    c.adler = libdeflate_adler32(1, c.input.data(), c.input.size());
    thread_local std::unique_ptr<uint8_t[]> scratch;
    thread_local size_t scratchSize = 0;
    // Room for the bound and for the empty stored block that makes a chunk joinable.
    const size_t bound = libdeflate_deflate_compress_bound(z, c.input.size()) + 8;
    if (scratchSize < bound) {
      scratch.reset();
      scratch.reset(new uint8_t[bound]);
      scratchSize = bound;
    }
    uint8_t* p = scratch.get();
    size_t size = libdeflate_deflate_compress(z, c.input.data(), c.input.size(), p, bound);
    if (size == 0) {
      c.failed = true;
    } else if (c.continued) {
      LastBlock last;
      if (!FindLastBlock(p, size, last)) {
        StoreContinued(c);
        p = nullptr;
      } else {
        // Clear the final mark, then an empty stored block: three zero header bits, zero
        // padding to the byte boundary, LEN 0 and NLEN FFFF.
        p[last.HeaderBit / 8] &= static_cast<uint8_t>(~(1u << (last.HeaderBit % 8)));
        if (last.EndBit % 8)
          p[last.EndBit / 8] &= static_cast<uint8_t>((1u << (last.EndBit % 8)) - 1);
        size = (last.EndBit + 3 + 7) / 8;  // at most one byte past the data
        for (size_t i = (last.EndBit + 7) / 8; i < size; ++i) p[i] = 0;
        std::memcpy(p + size, "\0\0\xFF\xFF", 4);
        size += 4;
      }
    }
    if (p && !c.failed) {
      c.out.reset(new uint8_t[size]);
      std::memcpy(c.out.get(), p, size);
      c.outSize = size;
    }
  } catch (const std::bad_alloc&) {
    c.failed = true;
    c.outOfMemory = true;
  } catch (...) {
    c.failed = true;
  }
  // The input is no longer needed, unless the chunk is to be tried again.
  if (!(c.outOfMemory && retryable)) SpareBuffers::Get().GiveBack(c.owned);
}

// ---- Workers -------------------------------------------------------------------------------

unsigned DefaultWorkers() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 1 ? std::min(n - 1, 7u) : 0;
}

std::atomic<unsigned> g_workers{DefaultWorkers()};
std::atomic<bool> g_failWorkerStarts{false};

class Pool {
 public:
  static Pool& Get() {
    static Pool pool;
    return pool;
  }

  ~Pool() {
    {
      std::lock_guard lock(m_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // Queues a chunk; with more chunks waiting than the workers can take up soon, the caller
  // deflates the oldest itself, which bounds the memory held by waiting chunks. Without a
  // worker (none could be started: the thread limit or the address space is reached) or
  // room in the queue, the caller deflates the chunk: a queued chunk always has a thread
  // that will take it.
  void Submit(Chunk* c, unsigned workers) {
    Chunk* own = nullptr;
    Chunk* retry = nullptr;
    {
      std::lock_guard lock(m_);
      retry = TakeRetry(c->owner);
      StartWorkers(workers);
      if (threads_.empty()) {
        own = c;
      } else {
        try {
          queue_.push_back(c);
        } catch (const std::bad_alloc&) {
          own = c;
        }
        if (!own && queue_.size() > 2 * threads_.size() + 2) {
          own = queue_.front();
          queue_.pop_front();
        }
      }
    }
    if (own != c) work_.notify_one();
    if (own) Run(own);
    while (retry) {
      Run(retry);
      std::lock_guard lock(m_);
      retry = TakeRetry(c->owner);
    }
  }

  void FailStarts(bool fail) {
    g_failWorkerStarts = fail;
    std::lock_guard lock(m_);
    startFailed_ = false;  // try again under the new condition
  }

  // Deflates the owner's waiting chunks on this thread (or drops them, when the stream is
  // abandoned), also those a worker left for want of memory, until every chunk is done.
  void Complete(const void* owner, const std::vector<std::unique_ptr<Chunk>>& chunks, bool run) {
    std::unique_lock lock(m_);
    for (;;) {
      Chunk* c = nullptr;
      auto it = std::find_if(queue_.begin(), queue_.end(),
                             [owner](const Chunk* q) { return q->owner == owner; });
      if (it != queue_.end()) {
        c = *it;
        queue_.erase(it);
      } else {
        c = TakeRetry(owner);
      }
      if (c) {
        if (run) {
          lock.unlock();
          DeflateChunk(*c);
          lock.lock();
        }
        c->done = true;
        continue;
      }
      if (std::all_of(chunks.begin(), chunks.end(), [](const auto& k) { return k->done; })) return;
      done_.wait(lock);  // a worker finishes a chunk or leaves one
    }
  }

 private:
  Pool() = default;

  void Run(Chunk* c) {
    DeflateChunk(*c);
    {
      std::lock_guard lock(m_);
      c->done = true;
    }
    done_.notify_all();
  }

  // The first chunk of owner that a worker left to its caller; under the mutex.
  Chunk* TakeRetry(const void* owner) {
    for (Chunk** link = &retry_; *link; link = &(*link)->nextRetry) {
      Chunk* c = *link;
      if (c->owner != owner) continue;
      *link = c->nextRetry;
      c->nextRetry = nullptr;
      return c;
    }
    return nullptr;
  }

  // Starts workers up to the number asked for; once a start fails, the pool makes do with
  // the workers it has (perhaps none) for the rest of the process.
  void StartWorkers(unsigned workers) {
    while (threads_.size() < workers && !startFailed_) {
      try {
        if (g_failWorkerStarts)
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        threads_.reserve(threads_.size() + 1);  // the thread is never started without a place
        threads_.emplace_back([this] { Work(); });
      } catch (const std::exception&) {
        startFailed_ = true;
      }
    }
  }

  void Work() {
    BlockTerminationSignalsOnThisThread();
    for (;;) {
      Chunk* c;
      {
        std::unique_lock lock(m_);
        work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        c = queue_.front();
        queue_.pop_front();
      }
      // Out of memory here (this thread's own arena and buffers) need not be out of memory
      // for the caller: the chunk goes back to it.
      DeflateChunk(*c, true);
      {
        std::lock_guard lock(m_);
        if (c->outOfMemory) {
          c->nextRetry = retry_;
          retry_ = c;
        } else {
          c->done = true;
        }
      }
      done_.notify_all();
    }
  }

  std::mutex m_;
  std::condition_variable work_, done_;
  std::deque<Chunk*> queue_;
  std::vector<std::thread> threads_;
  bool stop_ = false;
  bool startFailed_ = false;
  Chunk* retry_ = nullptr;  // left by workers for want of memory, linked by nextRetry
};

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

void SetFlateWorkers(unsigned workers) {
  g_workers = std::min(workers, 64u);
}
unsigned FlateWorkers() {
  return g_workers;
}

void FailFlateWorkerStartsForTesting(bool fail) {
  Pool::Get().FailStarts(fail);
}

struct TgtFlateEncoder::Impl {
  int level = 6;
  unsigned workers = 0;
  bool finished = false;
  std::vector<std::unique_ptr<Chunk>> chunks;

  // Queues whole chunks of input that stays valid until the stream is finished.
  void SubmitViews(std::string_view input) {
    for (size_t at = 0; at + kFlateChunkSize <= input.size(); at += kFlateChunkSize)
      Submit(input.substr(at, kFlateChunkSize), nullptr);
  }

  void Submit(std::string_view input, std::string* owned) {
    auto c = std::make_unique<Chunk>();
    c->owner = this;
    c->level = level;
    if (owned) {
      c->owned = std::move(*owned);
      c->input = c->owned;
    } else {
      c->input = input;
    }
    Chunk* raw = c.get();
    chunks.push_back(std::move(c));
    if (workers == 0) {
      DeflateChunk(*raw);
      raw->done = true;
    } else {
      Pool::Get().Submit(raw, workers);
    }
  }

  void Wait(bool run) {
    if (workers != 0 && !chunks.empty()) Pool::Get().Complete(this, chunks, run);
  }

  template <class Buffer>
  size_t Finish(std::string_view rest, Buffer& dest) {
    if (finished) throw ECompressionError();
    finished = true;
    try {
      return Join(rest, dest);
    } catch (...) {
      // Chunks still queued may point into rest: none may outlive this call.
      Wait(false);
      throw;
    }
  }

  template <class Buffer>
  size_t Join(std::string_view rest, Buffer& dest) {
    SubmitViews(rest);
    rest.remove_prefix(rest.size() / kFlateChunkSize * kFlateChunkSize);
    // The end of the stream is deflated here while workers finish the chunks before it.
    const bool finalChunk = !rest.empty() || chunks.empty();
    if (finalChunk) {
      auto c = std::make_unique<Chunk>();
      c->owner = this;
      c->level = level;
      c->input = rest;
      c->continued = false;
      DeflateChunk(*c);
      c->done = true;
      chunks.push_back(std::move(c));
    }
    Wait(true);

    // Header, chunks, an empty final block when the data ended with a whole chunk, Adler-32.
    size_t total = 2 + (finalChunk ? 0 : 2) + 4;
    for (const auto& c : chunks)
      if (c->outOfMemory) throw std::bad_alloc();
    for (const auto& c : chunks) {
      if (c->failed) throw ECompressionError();
      total += c->outSize;
    }
    const size_t start = dest.size();
    dest.resize(start + total);
    auto* p = reinterpret_cast<uint8_t*>(dest.data()) + start;
    // Deflate with a 32K window, the level's FLEVEL and the check bits.
    *p++ = 0x78;
    *p++ = level < 2 ? 0x01 : level < 6 ? 0x5E : level == 6 ? 0x9C : 0xDA;
    uLong adler = 1;
    for (const auto& c : chunks) {
      std::memcpy(p, c->out.get(), c->outSize);
      p += c->outSize;
      adler = adler32_combine(adler, c->adler, static_cast<z_off_t>(c->input.size()));
    }
    if (!finalChunk) {
      *p++ = 0x03;  // final, fixed codes, and the first bits of the 7-bit end-of-block code
      *p++ = 0x00;
    }
    for (int shift = 24; shift >= 0; shift -= 8) *p++ = static_cast<uint8_t>(adler >> shift);
    chunks.clear();
    return total;
  }
};

TgtFlateEncoder::TgtFlateEncoder(TgtCompressionLevel level) : impl_(std::make_unique<Impl>()) {
  impl_->level = DeflateLevel(level);
  impl_->workers = g_workers;
}

TgtFlateEncoder::~TgtFlateEncoder() {
  // Workers may still hold chunks of an abandoned stream.
  impl_->Wait(false);
}

void TgtFlateEncoder::Consume(std::string& text) {
  if (impl_->finished) throw ECompressionError();
  const size_t whole = text.size() / kFlateChunkSize;
  if (whole == 0) return;
  if (whole == 1) {
    // The usual case: the buffer itself becomes the chunk and the few bytes beyond it
    // start a new buffer of the same capacity.
    std::string next = SpareBuffers::Get().Take();
    next.reserve(text.capacity());
    next.assign(text, kFlateChunkSize);
    text.resize(kFlateChunkSize);
    impl_->Submit({}, &text);
    text = std::move(next);
    return;
  }
  for (size_t i = 0; i < whole; ++i) {
    std::string piece = SpareBuffers::Get().Take();
    piece.assign(text, i * kFlateChunkSize, kFlateChunkSize);
    impl_->Submit({}, &piece);
  }
  text.erase(0, whole * kFlateChunkSize);
}

size_t TgtFlateEncoder::Finish(std::string_view rest, std::string& dest) {
  return impl_->Finish(rest, dest);
}

size_t TgtFlateEncoder::Finish(std::string_view rest, std::vector<uint8_t>& dest) {
  return impl_->Finish(rest, dest);
}

namespace {

template <class Buffer>
size_t CompressInto(std::string_view source, Buffer& dest, TgtCompressionLevel level) {
  TgtFlateEncoder encoder(level);
  return encoder.Finish(source, dest);
}

}  // namespace

size_t CompressStream(std::string_view source, std::string& dest, TgtCompressionLevel level) {
  return CompressInto(source, dest, level);
}

size_t CompressStream(std::string_view source, std::vector<uint8_t>& dest,
                      TgtCompressionLevel level) {
  return CompressInto(source, dest, level);
}

}  // namespace pv
