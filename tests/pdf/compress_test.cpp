#include "pdf/compress.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <vector>

namespace pv {
namespace {

// Inflates one zlib stream (header and Adler-32 checked by zlib).
std::string Inflate(std::string_view z, size_t expectedSize) {
  std::string out(expectedSize + 16, '\0');
  uLongf outSize = static_cast<uLongf>(out.size());
  const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &outSize,
                            reinterpret_cast<const Bytef*>(z.data()), static_cast<uLong>(z.size()));
  EXPECT_EQ(rc, Z_OK);
  out.resize(outSize);
  return out;
}

std::string PageLikeContent(size_t lines) {
  std::string s = "q 0.0960 0 0 0.0960 0 0 cm\r\n";
  for (size_t i = 0; i < lines; ++i)
    s += "0.0000 0.0000 0.0000 RG 12.0000 w " + std::to_string(i) + ".5000 20.0000 m " +
         std::to_string(i * 3) + ".2500 40.0000 l S\r\n";
  return s;
}

TEST(CompressStream, LevelsMapToDeflateLevels) {
  EXPECT_EQ(DeflateLevel(TgtCompressionLevel::clFastest), 0);
  EXPECT_EQ(DeflateLevel(TgtCompressionLevel::clNormal), 1);
  EXPECT_EQ(DeflateLevel(TgtCompressionLevel::clMaxCompress), 6);
  const TgtCompression c;
  EXPECT_TRUE(c.Enabled);
  EXPECT_EQ(c.Level, TgtCompressionLevel::clMaxCompress);
  EXPECT_STREQ(ECompressionError().what(), "error");
}

TEST(CompressStream, FastestWritesStoredBlocks) {
  const std::string src = PageLikeContent(3000);  // several stored blocks of at most 65535
  ASSERT_GT(src.size(), 3u * 65535u);
  std::string dest = "stream\r\n";
  const size_t added = CompressStream(src, dest, TgtCompressionLevel::clFastest);
  ASSERT_EQ(dest.size(), 8 + added);
  const std::string z = dest.substr(8);
  EXPECT_EQ(static_cast<uint8_t>(z[0]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(z[1]), 0x01);
  // First block: BTYPE 00 (stored), then LEN and its complement.
  EXPECT_EQ(static_cast<uint8_t>(z[2]) & 0x06, 0);
  const unsigned len = static_cast<uint8_t>(z[3]) | (static_cast<uint8_t>(z[4]) << 8);
  const unsigned nlen = static_cast<uint8_t>(z[5]) | (static_cast<uint8_t>(z[6]) << 8);
  EXPECT_EQ(len ^ nlen, 0xFFFFu);
  // The data appears uncompressed right after the block header.
  EXPECT_EQ(z.substr(7, 20), src.substr(0, 20));
  EXPECT_GT(z.size(), src.size());
  EXPECT_EQ(Inflate(z, src.size()), src);
}

TEST(CompressStream, NormalAndMaxCompressHeaders) {
  const std::string src = PageLikeContent(500);
  std::string normal, max;
  const size_t n1 = CompressStream(src, normal, TgtCompressionLevel::clNormal);
  const size_t n6 = CompressStream(src, max, TgtCompressionLevel::clMaxCompress);
  EXPECT_EQ(n1, normal.size());
  EXPECT_EQ(n6, max.size());
  EXPECT_EQ(static_cast<uint8_t>(normal[0]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(normal[1]), 0x01);
  EXPECT_EQ(static_cast<uint8_t>(max[0]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(max[1]), 0x9C);
  EXPECT_NE(static_cast<uint8_t>(normal[2]) & 0x06, 0);  // not a stored block
  EXPECT_LT(normal.size(), src.size() / 3);
  EXPECT_LE(max.size(), normal.size());
  EXPECT_EQ(Inflate(normal, src.size()), src);
  EXPECT_EQ(Inflate(max, src.size()), src);

  // Under one chunk: exactly libdeflate's one-shot zlib stream at level 6.
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  ASSERT_NE(c, nullptr);
  std::string reference(libdeflate_zlib_compress_bound(c, src.size()), '\0');
  reference.resize(
      libdeflate_zlib_compress(c, src.data(), src.size(), reference.data(), reference.size()));
  libdeflate_free_compressor(c);
  EXPECT_EQ(max, reference);
}

TEST(CompressStream, EmptyAndIncompressibleSources) {
  std::string dest;
  const size_t added = CompressStream("", dest, TgtCompressionLevel::clMaxCompress);
  EXPECT_EQ(added, dest.size());
  EXPECT_GE(added, 8u);  // header, an empty final block, Adler-32
  EXPECT_EQ(Inflate(dest, 0), "");

  // Random bytes, stored rather than compressed, into a byte vector.
  std::mt19937 rng(7);
  std::string src(300000, '\0');
  for (char& c : src) c = static_cast<char>(rng());
  std::vector<uint8_t> bytes = {1, 2, 3};
  const size_t n = CompressStream(src, bytes, TgtCompressionLevel::clMaxCompress);
  ASSERT_EQ(bytes.size(), 3 + n);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[2], 3);
  const std::string z(reinterpret_cast<const char*>(bytes.data()) + 3, n);
  EXPECT_EQ(Inflate(z, src.size()), src);
}

// Streams of several chunks: text like page content, random bytes (stored blocks), runs of
// one byte (short codes), and a mixture, at lengths around the chunk boundaries.
std::vector<std::string> ChunkedSources() {
  const size_t c = kFlateChunkSize;
  std::string text;
  for (size_t i = 0; text.size() < 3 * c + 1000; ++i)
    text += "q []0 d 0.7500 w 0.0000 0.0000 0.0000 RG " + std::to_string(i % 9973) + ".2500 " +
            std::to_string(i * 7 % 6000) + ".7500 m " + std::to_string(i * 3 % 8000) +
            ".5000 40.0000 l S\r\nQ\r\n";
  std::mt19937 rng(11);
  std::string random(2 * c + 77, '\0');
  for (char& ch : random) ch = static_cast<char>(rng());
  return {text.substr(0, c - 1),
          text.substr(0, c),
          text.substr(0, c + 1),
          text.substr(3, 2 * c),
          text.substr(5, 3 * c + 999),
          random,
          std::string(2 * c + 5, 'x'),
          text.substr(0, c / 2) + random.substr(0, c) + std::string(c, '\0') + text.substr(0, c)};
}

TEST(CompressStream, ChunksJoinIntoOneZlibStreamAtEveryLevel) {
  const unsigned workers = FlateWorkers();
  for (auto level : {TgtCompressionLevel::clFastest, TgtCompressionLevel::clNormal,
                     TgtCompressionLevel::clMaxCompress}) {
    for (const std::string& src : ChunkedSources()) {
      SCOPED_TRACE(testing::Message()
                   << "level " << DeflateLevel(level) << ", " << src.size() << " bytes");
      SetFlateWorkers(0);
      std::string alone;
      CompressStream(src, alone, level);
      SetFlateWorkers(3);
      std::string helped;
      CompressStream(src, helped, level);
      EXPECT_EQ(alone, helped);  // the bytes do not depend on the threads
      EXPECT_EQ(static_cast<uint8_t>(alone[0]), 0x78);
      EXPECT_EQ(Inflate(alone, src.size()), src);  // one stream, Adler-32 checked
    }
  }
  SetFlateWorkers(workers);
}

TEST(CompressStream, EncoderFedInPiecesGivesTheSameStream) {
  const std::vector<std::string> sources = ChunkedSources();
  std::mt19937 rng(5);
  for (const std::string& src : {sources[1], sources[4], sources[7]}) {
    std::string whole;
    CompressStream(src, whole, TgtCompressionLevel::clMaxCompress);

    std::string streamed = "xyz";
    TgtFlateEncoder encoder(TgtCompressionLevel::clMaxCompress);
    std::string buffer;
    size_t at = 0;
    while (at < src.size()) {
      const size_t n = std::min<size_t>(src.size() - at, 1 + rng() % 400000);
      buffer.append(src, at, n);
      at += n;
      encoder.Consume(buffer);
      EXPECT_LT(buffer.size(), kFlateChunkSize);  // whole chunks are taken at once
    }
    const size_t added = encoder.Finish(buffer, streamed);
    EXPECT_EQ(added, whole.size());
    EXPECT_EQ(streamed.substr(0, 3), "xyz");
    EXPECT_EQ(streamed.substr(3), whole);
    EXPECT_THROW(encoder.Finish("", streamed), ECompressionError);  // finished already
  }
}

TEST(CompressStream, AbandonedEncoderLeavesNothingRunning) {
  const std::string src = ChunkedSources()[4];
  for (unsigned workers : {0u, 2u}) {
    const unsigned saved = FlateWorkers();
    SetFlateWorkers(workers);
    {
      TgtFlateEncoder encoder(TgtCompressionLevel::clMaxCompress);
      std::string buffer = src;
      encoder.Consume(buffer);
      EXPECT_EQ(buffer.size(), src.size() % kFlateChunkSize);
    }  // destroyed with chunks queued or being deflated
    std::string out;
    CompressStream(src, out, TgtCompressionLevel::clMaxCompress);
    EXPECT_EQ(Inflate(out, src.size()), src);
    SetFlateWorkers(saved);
  }
}

// Worker threads that cannot be started (the thread limit, or no address space for their
// stacks): the chunks are deflated on the calling thread, never queued for nobody; the
// stream is the same as with workers. (Run as its own process by ctest, so no worker of an
// earlier test is already there to take the chunks.)
TEST(CompressStream, WorkersThatCannotStartLeaveTheWorkToTheCaller) {
  const std::string src = ChunkedSources()[4];
  const unsigned saved = FlateWorkers();
  SetFlateWorkers(0);
  std::string alone;
  CompressStream(src, alone, TgtCompressionLevel::clMaxCompress);

  FailFlateWorkerStartsForTesting(true);
  SetFlateWorkers(3);
  auto run = std::async(std::launch::async, [&] {
    std::string fed, whole;
    {
      TgtFlateEncoder encoder(TgtCompressionLevel::clMaxCompress);
      std::string buffer = src;
      encoder.Consume(buffer);  // three chunks handed over before the end
      encoder.Finish(buffer, fed);
    }
    {
      TgtFlateEncoder abandoned(TgtCompressionLevel::clMaxCompress);
      std::string buffer = src;
      abandoned.Consume(buffer);
    }
    CompressStream(src, whole, TgtCompressionLevel::clMaxCompress);
    return std::make_pair(fed, whole);
  });
  if (run.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fprintf(stderr, "the compressor waits for chunks that no thread owns\n");
    std::_Exit(1);  // the future cannot be abandoned: it would wait too
  }
  const auto [fed, whole] = run.get();
  FailFlateWorkerStartsForTesting(false);
  SetFlateWorkers(saved);
  EXPECT_EQ(fed, alone);
  EXPECT_EQ(whole, alone);
  EXPECT_EQ(Inflate(fed, src.size()), src);
}

}  // namespace
}  // namespace pv
