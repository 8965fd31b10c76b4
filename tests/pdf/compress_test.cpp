#include "pdf/compress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

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

  // Exactly what zlib's own one-shot compression at level 6 gives.
  std::string reference(compressBound(static_cast<uLong>(src.size())), '\0');
  uLongf refSize = static_cast<uLongf>(reference.size());
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(reference.data()), &refSize,
                      reinterpret_cast<const Bytef*>(src.data()),
                      static_cast<uLong>(src.size()), 6),
            Z_OK);
  reference.resize(refSize);
  EXPECT_EQ(max, reference);
}

TEST(CompressStream, EmptyAndIncompressibleSources) {
  std::string dest;
  const size_t added = CompressStream("", dest, TgtCompressionLevel::clMaxCompress);
  EXPECT_EQ(added, dest.size());
  EXPECT_GE(added, 8u);  // header, an empty final block, Adler-32
  EXPECT_EQ(Inflate(dest, 0), "");

  // Random bytes spanning many 8192-byte output chunks, into a byte vector.
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

}  // namespace
}  // namespace pv
