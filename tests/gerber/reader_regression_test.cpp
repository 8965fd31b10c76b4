// Hostile input for the reader: limits of every table and buffer, amplifying aperture
// shapes, endless blocks, coordinates at the 32-bit limits, and the in-memory entry the
// fuzzer uses.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "gerber/reader.h"
#include "gerber/reader_internal.h"
#include "gerber_test_util.h"
#include "platform/errors.h"

namespace pv {
namespace {

using pvtest::At;
using pvtest::GerberRead;
using pvtest::kInchHeader;
using pvtest::ReadGerberText;
using pvtest::RefusalOf;
using pvtest::TempDir;

// A read of the bytes in memory, the entry the fuzzer uses.
using BytesRead = GerberRead;

BytesRead ReadBytes(const std::string& text) {
  BytesRead r;
  ResetReaderTables();
  r.accepted = ReadGerberBytes(text, r.image, kDefaultGerberFormat);
  return r;
}

// The peak resident size of this process so far, in KiB.
long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A macro of n circle primitives, each at its own place.
std::string CircleMacro(const std::string& name, int n) {
  std::string am = "%AM" + name + "*";
  for (int i = 0; i < n; ++i) am += "1,1,0.01," + std::to_string(i % 97) + ",0*";
  return am + "%\n";
}

TEST(GerberBytes, SameRecordsAsTheFileReader) {
  std::string text = std::string(kInchHeader) +
                     "%ADD10C,0.010*%%ADD11R,0.02X0.03*%D10*X0Y0D02*X1000Y500D01*"
                     "G36*X0Y0D02*X10Y0D01*X10Y10D01*G37*D11*X-300Y200D03*M02*";
  GerberRead file = ReadGerberText(text);
  BytesRead mem = ReadBytes(text);
  EXPECT_TRUE(file.accepted);
  EXPECT_EQ(mem.accepted, file.accepted);
  ASSERT_EQ(mem.image.Count, file.count());
  ASSERT_EQ(mem.image.Count, 3);
  for (int32_t i = 0; i < mem.image.Count; ++i) {
    const TID_DrawRecord& a = mem.image.Records[static_cast<size_t>(i)];
    const TID_DrawRecord& b = file.rec(i);
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_EQ(At(a), At(b));
    EXPECT_EQ(a.Size, b.Size);
    EXPECT_EQ(pvtest::Points(a), pvtest::Points(b));
  }
  EXPECT_EQ(mem.image.MinX, file.image.MinX);
  EXPECT_EQ(mem.image.MaxY, file.image.MaxY);
  // Nothing at all, and a lone block without its '*'.
  EXPECT_FALSE(ReadBytes("").accepted);
  EXPECT_EQ(ReadBytes("").image.Count, 0);
  EXPECT_FALSE(ReadBytes("%FSLAX33Y33").accepted);
}

// A macro of 3000 primitives defined into 3000 apertures once asked for 9 million stored
// shapes (6 GB for a 105 kB file). Stored macro shapes are now bounded: the file is refused.
TEST(GerberHostile, MacroShapesAreBounded) {
  std::string text = std::string(kInchHeader) + CircleMacro("BIG", 3000);
  for (int d = 10; d < 3010; ++d) text += "%ADD" + std::to_string(d) + "BIG*%";
  text += "D10*X0Y0D03*";
  const std::string why = RefusalOf<ERangeError>([&] { ReadBytes(text); });
  EXPECT_NE(why.find("macros"), std::string::npos) << why;
  EXPECT_LE(MacroShapes().Count, kMaxMacroShapes);
  // The next file reads normally.
  BytesRead ok =
      ReadBytes(std::string(kInchHeader) + CircleMacro("M", 3) + "%ADD10M*%D10*X0Y0D03*");
  EXPECT_TRUE(ok.accepted);
  EXPECT_EQ(ok.image.Count, 3);
}

// Flashing one 1000-primitive macro 3000 times from 23 kB asked for 3 million records, a
// 1000-vertex polygon a million times for 8 GB of points. Copies beyond what the file's
// size allows refuse the file.
TEST(GerberHostile, FlashedShapesAreBoundedBySize) {
  std::string text = std::string(kInchHeader) + CircleMacro("BIG", 1000) + "%ADD10BIG*%D10*";
  text += "X0Y0D03*" + Repeat("D3*", 3000);
  const std::string why = RefusalOf<ERangeError>([&] { ReadBytes(text); });
  EXPECT_NE(why.find("Flashes"), std::string::npos) << why;
  // Every flash before the limit was recorded, none beyond it.
  BytesRead partial;
  ResetReaderTables();
  EXPECT_THROW(ReadGerberBytes(text, partial.image, kDefaultGerberFormat), ERangeError);
  EXPECT_GT(partial.image.Count, 1000000);
  EXPECT_LE(static_cast<uint64_t>(partial.image.Count), kFreeCopies + kCopiesPerByte * text.size());

  // The same with a 1000-vertex standard polygon.
  std::string poly =
      std::string(kInchHeader) + "%ADD10P,1X1000*%D10*X0Y0D03*" + Repeat("D3*", 30000);
  EXPECT_THROW(ReadBytes(poly), ERangeError);

  // A dense real board: a 40-circle pad flashed 50,000 times from 840 kB fits.
  std::string dense = std::string(kInchHeader) + CircleMacro("PAD", 40) + "%ADD10PAD*%D10*";
  for (int i = 0; i < 50000; ++i)
    dense += "X" + std::to_string(i % 250 * 600) + "Y" + std::to_string(i / 250 * 600) + "D03*\n";
  BytesRead real = ReadBytes(dense);
  EXPECT_TRUE(real.accepted);
  EXPECT_EQ(real.image.Count, 2000000);

  // Fewer flashes of the same macro fit.
  BytesRead ok = ReadBytes(std::string(kInchHeader) + CircleMacro("BIG", 1000) +
                           "%ADD10BIG*%D10*X0Y0D03*" + Repeat("D3*", 200));
  EXPECT_TRUE(ok.accepted);
  EXPECT_EQ(ok.image.Count, 201000);
}

// A million tiny blocks: one record each for flashes, nothing for the rest.
TEST(GerberHostile, MillionTinyBlocks) {
  std::string text = std::string(kInchHeader) + "%ADD10C,0.01*%D10*X1Y1D03*" +
                     Repeat("D3*", 1000000) + Repeat("D10*", 100000) + Repeat("G1*", 100000) +
                     Repeat("*", 100000) + Repeat("G04 c*", 100000) + "M02*";
  BytesRead r = ReadBytes(text);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.image.Count, 1000001);
  EXPECT_EQ(r.image.Records[1000000].X, 1);
}

// Definitions beyond every table capacity: 4000 D codes, 2000 aperture slots, 500
// macros. Slot 2000 and macro 500 are reused; the shapes of a slot defined again are given
// back, so 6000 macro and polygon definitions hold only what 2000 slots can show.
TEST(GerberHostile, TablesBeyondTheirCapacity) {
  std::string text = std::string(kInchHeader);
  for (int m = 1; m <= 600; ++m) text += CircleMacro("M" + std::to_string(m), 2);
  for (int i = 0; i < 6000; ++i) {
    const int d = 10 + i % 4100;  // D codes past 4000 are ignored
    text += "%ADD" + std::to_string(d) + (i % 2 ? "M" + std::to_string(1 + i % 600) : "P,1X1000") +
            "*%";
  }
  text += "D3999*X0Y0D03*D4000*X0Y0D03*D4001*X0Y0D03*";
  // The last 500th-macro definition wins its entry; macros 501..600 overwrote it in turn:
  // M600 and M499 draw their two circles, M500 is undefined.
  text +=
      "%ADD3998M600*%D3998*X0Y0D03*%ADD3997M500*%D3997*X0Y0D03*"
      "%ADD3996M499*%D3996*X0Y0D03*";
  BytesRead r = ReadBytes(text);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(DCodeSlot(3996), 2000);
  EXPECT_LE(MacroShapes().Count, 2000 * 2);
  EXPECT_LE(PolygonShapes().Count, 2000);
  EXPECT_EQ(DCodeSlot(4000), 2000);
  // D3999 and D4000 flash; D4001 is no D code and selects nothing new.
  ASSERT_GE(r.image.Count, 3 + 5);
  std::vector<int32_t> lastSizes;
  for (int32_t i = r.image.Count - 5; i < r.image.Count; ++i)
    lastSizes.push_back(r.image.Records[static_cast<size_t>(i)].Size);
  EXPECT_EQ(lastSizes, (std::vector<int32_t>{10, 10, 40, 10, 10}));
}

// Macro expressions dividing by zero, overflowing, nesting parentheses deeply or running
// very long never crash: a division by zero gives 0, a value beyond the double range
// refuses the file.
TEST(GerberHostile, MacroExpressions) {
  ResetReaderTables();
  EXPECT_DOUBLE_EQ(EvaluateExpression("5/0"), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("0/0"), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("1/0X7+2"), 2.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("$0/$0"), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("$2147483648+1"), 1.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression(""), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("/////"), 0.0);
  EXPECT_THROW(EvaluateExpression("1" + std::string(400, '0') + "X1" + std::string(400, '0')),
               ERangeError);
  EXPECT_DOUBLE_EQ(EvaluateExpression("1e300X1e300"), 0.0);  // no exponents: not a number
  ASSERT_NO_THROW(EvaluateExpression(std::string(100000, '(') + "1" + std::string(100000, ')')));
  EXPECT_DOUBLE_EQ(EvaluateExpression(Repeat("1+", 200000) + "1"), 200001.0);

  const std::string deep = std::string(kInchHeader) + "%AMD*$1=" + std::string(50000, '(') + "3" +
                           std::string(50000, ')') + "*1,1,$2/0,0,0*1,1,0.1/0.0,0,0*" +
                           "$3=0/0*1,1,0.01,$3,$3*%%ADD10D,1X2*%D10*X0Y0D03*";
  BytesRead r = ReadBytes(deep);
  EXPECT_TRUE(r.accepted);
  // Two circles of diameter 0 from the divisions by zero and one of 10 at (0, 0).
  ASSERT_EQ(r.image.Count, 3);
  EXPECT_EQ(r.image.Records[0].Size, 0);
  EXPECT_EQ(r.image.Records[1].Size, 0);
  EXPECT_EQ(r.image.Records[2].Size, 10);

  const std::string huge = std::string(kInchHeader) + "%AMH*1,1," + std::string(400, '9') + "X" +
                           std::string(400, '9') + ",0,0*%%ADD10H*%D10*X0Y0D03*";
  EXPECT_THROW(ReadBytes(huge), ERangeError);
}

// A region of the path capacity's 80000 points and of more: the path keeps its last point
// in the last slot, the record never holds more than the capacity.
TEST(GerberHostile, RegionAtAndBeyondThePathCapacity) {
  for (int points : {kPathCapacity - 1, kPathCapacity, kPathCapacity + 1, 250000}) {
    std::string text = std::string(kInchHeader) + "%ADD10C,0.01*%D10*G36*X0Y0D02*";
    text.reserve(text.size() + static_cast<size_t>(points) * 16);
    for (int i = 1; i < points; ++i)
      text += "X" + std::to_string(i % 1000) + "Y" + std::to_string(i / 1000) + "D01*";
    text += "G37*M02*";
    BytesRead r = ReadBytes(text);
    EXPECT_TRUE(r.accepted) << points;
    ASSERT_EQ(r.image.Count, 1) << points;
    const TID_DrawRecord& rec = r.image.Records[0];
    EXPECT_EQ(rec.Kind, rkPolygon);
    EXPECT_EQ(rec.Count, 2 * std::min(points, kPathCapacity)) << points;
    // The last slot holds the last point given.
    const int last = points - 1;
    EXPECT_EQ(rec.Points[static_cast<uint32_t>(rec.Count - 2)] + rec.X, last % 1000) << points;
    EXPECT_EQ(rec.Points[static_cast<uint32_t>(rec.Count - 1)] + rec.Y, last / 1000) << points;
  }
}

// Coordinates at and beyond the 32-bit limits in every format: integer and decimal digits
// 0..7, leading, trailing and no zero suppression, inch and millimetre, absolute and
// incremental. Each read either completes or raises the reader's range or overflow error.
TEST(GerberHostile, CoordinatesAtThe32BitLimits) {
  const char* values[] = {"2147483647",
                          "-2147483648",
                          "2147483648",
                          "-2147483649",
                          "99999999999999999999",
                          "-0",
                          "0000000000000000000000001"};
  int refused = 0, read = 0;
  for (char zero : {'L', 'T', 'D'}) {
    for (char mode : {'A', 'I'}) {
      for (const char* units : {"IN", "MM"}) {
        for (int a = 0; a <= 7; ++a) {
          for (int b = 0; b <= 7; ++b) {
            std::string text = "%FS" + std::string(1, zero) + mode + "X" + std::to_string(a) +
                               std::to_string(b) + "Y" + std::to_string(a) + std::to_string(b) +
                               "*%%MO" + units + "*%%ADD10C,0.01*%D10*";
            for (const char* v : values) {
              std::string block = std::string("X") + v + "Y" + v;
              text += block + "D03*" + block + "D02*" + block + "I" + v + "J" + v + "G02D01*";
            }
            try {
              ReadBytes(text);
              ++read;
            } catch (const ERangeError&) {
              ++refused;
            } catch (const EIntOverflow&) {
              ++refused;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(read + refused, 3 * 2 * 2 * 8 * 8);
  EXPECT_GT(refused, 0);

  // The largest coordinate that fits, in a format that reads it as whole thousandths:
  // its 1/100 fine value must fit 32 bits too.
  BytesRead fits = ReadBytes("%FSLAX73Y73*%%MOIN*%%ADD10C,0*%D10*X21474836Y-21474836D03*");
  EXPECT_TRUE(fits.accepted);
  ASSERT_EQ(fits.image.Count, 1);
  EXPECT_EQ(At(fits.image.Records[0]), (TPoint{21474836, -21474836}));
  EXPECT_THROW(ReadBytes("%FSLAX73Y73*%%MOIN*%%ADD10C,0*%D10*X21474837Y0D03*"), ERangeError);
}

// One block without '*' that reads as a gigabyte: 48 MiB of digits and letters, then zero
// bytes (a sparse file; a pipe would be refused as no regular file). The block keeps only
// its beginning, the read ends, and memory stays below what the block's text would take.
TEST(GerberHostile, EndlessBlockInAGigabyteFile) {
  TempDir dir;
  const std::string name = (dir / "endless.gbr").string();
  {
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    std::string chunk = std::string(kInchHeader) + "%ADD10C,0.01*%D10*X1Y1D03*X";
    chunk.resize(1 << 20, '7');
    for (int i = 0; i < 48; ++i) {
      ASSERT_EQ(write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
      if (i == 0) chunk.assign(chunk.size(), 'Y');
    }
    ASSERT_EQ(ftruncate(fd, off_t{1} << 30), 0);
    close(fd);
  }
  const long before = PeakKiB();
  TID_DrawFileFormat image;
  ResetReaderTables();
  bool accepted = false;
  EXPECT_NO_THROW(accepted = ReadGerberFile(name, image, kDefaultGerberFormat));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(image.Count, 1);
#if defined(__SANITIZE_ADDRESS__)
  const long bound = 80L * 1024;  // freed blocks stay in the quarantine, twice the block's text
#else
  const long bound = 40L * 1024;  // the 16 MiB the block keeps and the read buffer
#endif
  EXPECT_LT(PeakKiB() - before, bound) << "KiB beyond the earlier peak";
}

}  // namespace
}  // namespace pv
