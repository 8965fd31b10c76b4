// File reading, block assembly, parameter statements, tokenising, coordinates and the
// acceptance rule.
#include <sys/stat.h>
#include <unistd.h>

#include "gerber_test_util.h"
#include "platform/errors.h"

using namespace pv;
using namespace pvtest;

namespace {

ReaderState FormatState(char zeros, int32_t total, int32_t integer, double factor) {
  ReaderState st;
  st.ZeroSuppression = zeros;
  st.XTotalDigits = st.YTotalDigits = total;
  st.XIntegerDigits = st.YIntegerDigits = integer;
  st.FileUnitFactor = factor;
  return st;
}

// The X of a data block as the reader's tokeniser converts it.
int32_t Convert(ReaderState st, std::string_view text, int32_t* fine = nullptr) {
  const std::string block = "X" + std::string(text) + "*";
  TokenizeBlock(st, block);
  EXPECT_TRUE(st.LastBlock.HasX) << block;
  if (fine) *fine = st.LastBlock.FineX;
  return st.LastBlock.X;
}

// A file with one round aperture of 10 that flashes at the given data block.
std::string FlashFile(const std::string& header, const std::string& data) {
  return header + "%ADD10C,0.010*%\nD10*\n" + data;
}

}  // namespace

TEST(GerberCoordinates, ThreeZeroSuppressionModes) {
  // Leading zeros omitted, format 2.4, inch: X0125 is 0.0125 inch, 12.5 units -> 13.
  ReaderState lead = FormatState('L', 6, 2, 1000.0);
  int32_t fine = 0;
  EXPECT_EQ(Convert(lead, "0125", &fine), 13);
  EXPECT_EQ(fine, 1250);
  // Y-3 is 0.0003 inch, 0.3 units -> 0, negated to 0; the fine value keeps -30.
  EXPECT_EQ(Convert(lead, "-3", &fine), 0);
  EXPECT_EQ(fine, -30);
  // More digits than the format: the last four are still the decimals, 123.4567 inch.
  EXPECT_EQ(Convert(lead, "1234567"), 123457);

  // Trailing zeros omitted: X125 is padded to 125000, 12.5 inch.
  ReaderState trail = FormatState('T', 6, 2, 1000.0);
  EXPECT_EQ(Convert(trail, "125"), 12500);
  EXPECT_EQ(Convert(trail, "-125"), -12500);

  // Millimetre, format 3.3: X1000 is 1.000 mm, 39.37 units -> 39.
  ReaderState mm = FormatState('L', 6, 3, 39.37);
  EXPECT_EQ(Convert(mm, "1000", &fine), 39);
  EXPECT_EQ(fine, 3937);

  // No zero suppression letter: no padding, the first integer digits are the integer part.
  ReaderState blank = FormatState(' ', 6, 2, 1000.0);
  EXPECT_EQ(Convert(blank, "5"), 5000);
  EXPECT_EQ(Convert(blank, "0125"), 1250);
  // A long run of zeros is still a 32-bit integer; the decimals are the last four digits.
  EXPECT_EQ(Convert(lead, "00000000000000000001"), 0);
  EXPECT_EQ(Convert(lead, "0100000000"), 10000000);
}

TEST(GerberCoordinates, FromAFileBlock) {
  // X0125Y-3 with format 2.4 inch flashes at (13, 0).
  GerberRead r = ReadGerberText(FlashFile("%FSLAX24Y24*%%MOIN*%", "X0125Y-3D03*\n"));
  ASSERT_TRUE(r.accepted);
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(At(r.rec(0)), (TPoint{13, 0}));
  EXPECT_EQ(r.rec(0).Kind, rkCircle);
}

TEST(GerberNumbers, SyntaxHelpers) {
  for (const char* t : {"0.010", "-.5", "5.", "12"}) EXPECT_TRUE(IsDecimalNumber(t)) << t;
  for (const char* t : {"", ".", "-", "1.2.3", "1-2", "+1", "1e5", "BBBB"})
    EXPECT_FALSE(IsDecimalNumber(t)) << t;
  EXPECT_DOUBLE_EQ(DecimalValue("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(DecimalValue("0.010"), 0.010);

  for (const char* t : {"10", "-3"}) EXPECT_TRUE(IsIntegerText(t)) << t;
  for (const char* t : {"-", "", "1.0", "a1"}) EXPECT_FALSE(IsIntegerText(t)) << t;
  EXPECT_EQ(IntegerValue("010"), 10);
  EXPECT_EQ(IntegerValue("-42"), -42);
  EXPECT_EQ(IntegerValue("99999999999999"), INT32_MAX);
}

TEST(GerberFormat, StatementReadings) {
  struct Case {
    const char* arg;
    bool valid;
    char zeros;
    int32_t xTotal, xInteger, yTotal, yInteger;
    bool absolute;
  };
  const Case cases[] = {
      {"LAX24Y24*", true, 'L', 6, 2, 6, 2, true},   {"TAX25Y25*", true, 'T', 7, 2, 7, 2, true},
      {"AX24Y24*", true, ' ', 6, 2, 6, 2, true},     // no zero suppression letter
      {"LAN2X34Y34*", true, 'L', 7, 3, 7, 3, true},  // sequence-number group skipped
      {"DAX24Y24*", true, ' ', 6, 2, 6, 2, true},    // D group consumed without effect
      {"LIX33Y33*", true, 'L', 6, 3, 6, 3, false},   // incremental
      {"LAX2Y2*", false, 'L', 0, 0, 0, 0, true},     // one-digit groups
      {"LAX243Y24*", false, 'L', 0, 0, 6, 2, true},  // three-digit X group
      {"LX24Y24*", false, 'L', 6, 2, 6, 2, true},    // no A or I
      {"LA*X24Y24*", false, 'L', 0, 0, 0, 0, true},  // '*' stops the loop
      {"LAX2*", false, ' ', 0, 0, 0, 0, true},       // five characters: no effect
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    ReaderState st;
    st.ZeroSuppression = 'T';
    FormatStatement(st, c.arg);
    EXPECT_EQ(st.FormatSeen, c.valid);
    EXPECT_EQ(st.ZeroSuppression, c.zeros);
    EXPECT_EQ(st.XTotalDigits, c.xTotal);
    EXPECT_EQ(st.XIntegerDigits, c.xInteger);
    EXPECT_EQ(st.YTotalDigits, c.yTotal);
    EXPECT_EQ(st.YIntegerDigits, c.yInteger);
    EXPECT_EQ(st.Absolute, c.absolute);
  }
}

TEST(GerberFormat, OrcadAndPadsStatementsAreAccepted) {
  GerberRead orcad = ReadGerberText(FlashFile("%FSLAN2X34Y34*%%MOIN*%", "X10000Y0D03*\n"));
  EXPECT_TRUE(orcad.accepted);
  ASSERT_EQ(orcad.count(), 1);
  EXPECT_EQ(orcad.rec(0).X, 1000);  // 1.0000 inch

  GerberRead pads = ReadGerberText(FlashFile("%FSDAX24Y24*%%MOIN*%", "X10000Y0D03*\n"));
  EXPECT_TRUE(pads.accepted);
  ASSERT_EQ(pads.count(), 1);
  // No zero suppression letter: no padding, 10000 reads 10.000 inch.
  EXPECT_EQ(pads.rec(0).X, 10000);
}

TEST(GerberAcceptance, FormatAndApertureBothRequired) {
  // Only one-digit groups: refused, even though it draws (with the default format).
  GerberRead oneDigit = ReadGerberText(FlashFile("%FSLAX2Y2*%%MOIN*%", "X1000Y0D03*\n"));
  EXPECT_FALSE(oneDigit.accepted);
  EXPECT_EQ(oneDigit.count(), 1);

  // A valid format and no aperture definition: refused.
  GerberRead noAperture = ReadGerberText(std::string(kInchHeader) + "X1000Y0D03*\n");
  EXPECT_FALSE(noAperture.accepted);

  // No format statement at all: the default format draws, the file is refused.
  GerberRead noFormat = ReadGerberText("%MOIN*%%ADD10C,0.010*%D10*X1000Y0D03*");
  EXPECT_FALSE(noFormat.accepted);

  // Lower-case parameter codes are not statements.
  GerberRead lower = ReadGerberText("%fslax33y33*%%MOIN*%%ADD10C,0.010*%D10*X1000Y0D03*");
  EXPECT_FALSE(lower.accepted);
  GerberRead lowerAd = ReadGerberText(std::string(kInchHeader) + "%add10C,0.010*%D10*X1000Y0D03*");
  EXPECT_FALSE(lowerAd.accepted);

  // A definition outside 10..4000 does not count.
  GerberRead d9 = ReadGerberText(std::string(kInchHeader) + "%ADD9C,0.010*%X0Y0D03*");
  EXPECT_FALSE(d9.accepted);

  // A definition with an empty name counts; its D code stays the undefined aperture.
  GerberRead empty = ReadGerberText(std::string(kInchHeader) + "%ADD10*%D10*X0Y0D03*");
  EXPECT_TRUE(empty.accepted);
  ASSERT_EQ(empty.count(), 1);
  EXPECT_EQ(empty.rec(0).Kind, rkCircle);
  EXPECT_EQ(empty.rec(0).Size, 40);

  // Format and aperture in either order, and FS and MO sharing one parameter block.
  GerberRead shared = ReadGerberText("%ADD10C,0.010*%%FSLAX33Y33*MOIN*%D10*X1000Y0D03*");
  EXPECT_TRUE(shared.accepted);
  ASSERT_EQ(shared.count(), 1);
  EXPECT_EQ(shared.rec(0).X, 1000);
}

TEST(GerberUnits, InchMillimetreAndPolarityStatements) {
  ReaderState st;
  UnitsStatement(st, "MM*");
  EXPECT_DOUBLE_EQ(st.FileUnitFactor, 39.37);
  UnitsStatement(st, "IN*");
  EXPECT_DOUBLE_EQ(st.FileUnitFactor, 1000.0);
  UnitsStatement(st, "in*");  // only exactly "IN*" is inch
  EXPECT_DOUBLE_EQ(st.FileUnitFactor, 39.37);

  PolarityStatement(st, "C*");
  EXPECT_FALSE(st.Dark);
  PolarityStatement(st, "d*");
  EXPECT_TRUE(st.Dark);
  PolarityStatement(st, "c*");
  EXPECT_FALSE(st.Dark);
  PolarityStatement(st, "X*");
  EXPECT_FALSE(st.Dark);

  // A millimetre file: X1000 in format 3.3 is 1 mm, 39 units.
  GerberRead mm = ReadGerberText(FlashFile("%FSLAX33Y33*%%MOMM*%", "X1000Y-1000D03*\n"));
  ASSERT_EQ(mm.count(), 1);
  EXPECT_EQ(At(mm.rec(0)), (TPoint{39, -39}));
  // The aperture was defined in millimetre too: 0.010 mm rounds to 0, raised to 1.
  EXPECT_EQ(mm.rec(0).Size, 1);
}

TEST(GerberBlocks, CommentsAndPercentInComments) {
  // X2 attributes written as comments, and a '%' in plain comment text: each comment
  // ends at its '*', so the statements after it are read as usual.
  std::string text =
      "G04 #@! %TF.FileFunction,Copper,L1,Top*\n"
      "G04 Layer 100% filled*\n"
      "G4 short form % too*\n" +
      std::string(kInchHeader) + "%ADD10C,0.010*%\nD10*\nX1000Y2000D03*\n";
  GerberRead r = ReadGerberText(text);
  EXPECT_TRUE(r.accepted);
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(At(r.rec(0)), (TPoint{1000, 2000}));

  // A comment's coordinates do nothing.
  GerberRead c = ReadGerberText(FlashFile(kInchHeader, "G04 X5000Y5000D03*\nX1000Y0D03*\n"));
  ASSERT_EQ(c.count(), 1);
  EXPECT_EQ(c.rec(0).X, 1000);

  // G04 inside a data block (not at its start) cancels that block.
  GerberRead n = ReadGerberText(FlashFile(kInchHeader, "N1G04X5000Y5000D03*\nX1000Y0D03*\n"));
  ASSERT_EQ(n.count(), 1);
  EXPECT_EQ(n.rec(0).X, 1000);

  // Statements commented out, whole: "G04 was %ADD11C,0.5*%" defines nothing and shifts
  // no later '%'; an X2 attribute comment on the line before them still ends at its '*'.
  GerberRead out =
      ReadGerberText("G04 #@! %TF.Part,Single*\n" + std::string(kInchHeader) +
                     "G04 disabled: %LPC*%\nG04 was "
                     "%ADD11C,0.5*%\n%ADD10C,0.010*%\nD11*X0Y0D03*\nD10*X1000Y0D03*\n");
  EXPECT_TRUE(out.accepted);
  ASSERT_EQ(out.count(), 2);
  EXPECT_EQ(out.rec(0).Size, 40);  // D11 stayed undefined
  EXPECT_EQ(out.rec(1).Size, 10);
  EXPECT_EQ(out.rec(1).Flags, 0);  // and the polarity dark

  // A comment block that begins with a blank has no effect either: the contour keeps
  // its four corners, no vertex twice.
  GerberRead blank = ReadGerberText(FlashFile(
      kInchHeader, "G36*X0Y0D02*X2000Y0D01* G04 Contour*X2000Y2000D01*X0Y2000D01*X0Y0D01*G37*"));
  ASSERT_EQ(blank.count(), 1);
  EXPECT_EQ(blank.rec(0).Count, 10);

  // Several G codes in one block apply in order: gEDA's G75G03 full circle is drawn.
  GerberRead geda =
      ReadGerberText(FlashFile(kInchHeader, "X200Y1951D02*G75G03I160J0X200Y1951D01*"));
  ASSERT_EQ(geda.count(), 1);
  EXPECT_EQ(geda.rec(0).Kind, rkArc);
  EXPECT_EQ(geda.rec(0).X, 360);
}

TEST(GerberBlocks, LineEndsLastBlockAndLowerCaseData) {
  // A last data block without its '*' is still interpreted.
  GerberRead last = ReadGerberText(FlashFile(kInchHeader, "X1000Y0D03*\nX2000Y0D03"));
  ASSERT_EQ(last.count(), 2);
  EXPECT_EQ(last.rec(1).X, 2000);

  // CR-only line ends, CR LF, tabs: control characters are dropped.
  std::string lf = FlashFile(kInchHeader, "X1000Y0D03*\nX2000Y500D03*\n");
  std::string cr = lf, crlf;
  for (char& ch : cr)
    if (ch == '\n') ch = '\r';
  for (char ch : lf) {
    if (ch == '\n') crlf += '\r';
    crlf += ch;
  }
  std::string tabbed = FlashFile(kInchHeader, "X1000\tY0D03*\nX20\r\n00Y500D03*\n");
  for (const std::string& text : {cr, crlf, tabbed}) {
    GerberRead r = ReadGerberText(text);
    EXPECT_TRUE(r.accepted);
    ASSERT_EQ(r.count(), 2);
    EXPECT_EQ(At(r.rec(1)), (TPoint{2000, 500}));
  }

  // Lower-case data letters.
  GerberRead lower = ReadGerberText(std::string(kInchHeader) +
                                    "%ADD10C,0.010*%d10*x1000y-20d03*g01x0y0d02*x500d01*");
  ASSERT_EQ(lower.count(), 2);
  EXPECT_EQ(At(lower.rec(0)), (TPoint{1000, -20}));
  EXPECT_EQ(lower.rec(1).Kind, rkTrack);

  // Empty words ("**") and M codes change nothing; M02 does not stop reading.
  GerberRead words = ReadGerberText(FlashFile(kInchHeader, "**X1000Y0D03***M02*X2000Y0D03*"));
  ASSERT_EQ(words.count(), 2);
  EXPECT_EQ(words.rec(1).X, 2000);
}

TEST(GerberBlocks, TokenizerRules) {
  // '+' is dropped, a letter given twice takes its last value, a run that is not a
  // 32-bit integer is ignored, other characters are skipped.
  GerberRead r = ReadGerberText(FlashFile(kInchHeader,
                                          "X+1000Y+200D03*\n"
                                          "X1X3000Y5D03*\n"
                                          "X1-2Y600D03*\n"
                                          "X99999999999Y700D03*\n"
                                          "N20 X4000 Y800 D03*\n"));
  ASSERT_EQ(r.count(), 5);
  EXPECT_EQ(At(r.rec(0)), (TPoint{1000, 200}));
  EXPECT_EQ(r.rec(1).X, 3000);
  EXPECT_EQ(r.rec(2).X, 3000);  // X ignored: the current X stays
  EXPECT_EQ(r.rec(2).Y, 600);
  EXPECT_EQ(At(r.rec(3)), (TPoint{3000, 700}));
  EXPECT_EQ(At(r.rec(4)), (TPoint{4000, 800}));

  ReaderState st;
  st.ZeroSuppression = 'L';
  st.XTotalDigits = st.YTotalDigits = 6;
  st.XIntegerDigits = st.YIntegerDigits = 3;
  TokenizeBlock(st, "G01X100I-20J30D01*X999");
  const BlockFields& f = st.LastBlock;
  EXPECT_TRUE(f.HasG && f.HasD && f.HasX && f.HasI && f.HasJ);
  EXPECT_FALSE(f.HasY);
  EXPECT_EQ(f.G, 1);
  EXPECT_EQ(f.D, 1);
  EXPECT_EQ(f.X, 100);  // nothing after the '*' is read
  EXPECT_EQ(f.I, -20);
  EXPECT_EQ(f.J, 30);
  EXPECT_EQ(f.FineX, 10000);
}

TEST(GerberBlocks, ParameterBlockSplitting) {
  // Several statements in one block; an unknown statement between them is ignored.
  GerberRead r =
      ReadGerberText("%FSLAX33Y33*IPPOS*MOIN*%\n%OFA0B0*SFA1B1*ADD10C,0.020*%\nD10*X1000Y0D03*");
  EXPECT_TRUE(r.accepted);
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(r.rec(0).Size, 20);

  // Blanks inside a parameter block are removed before it is read.
  GerberRead blanks =
      ReadGerberText("%FS LA X33 Y33*%\n%MO IN*%\n%ADD10C, 0.020*%\nD10*X1000Y0D03*");
  EXPECT_TRUE(blanks.accepted);
  ASSERT_EQ(blanks.count(), 1);
  EXPECT_EQ(blanks.rec(0).Size, 20);

  // A '%' in a data block opens a parameter: the block becomes a parameter block.
  GerberRead opened = ReadGerberText(FlashFile(kInchHeader, "X5000D03%LPD*%X1000Y0D03*"));
  ASSERT_EQ(opened.count(), 1);
  EXPECT_EQ(opened.rec(0).X, 1000);
}

TEST(GerberReading, LargeFilesStreamAcrossChunks) {
  // Blocks that straddle the 1 MiB read boundary, and a comment far longer than one chunk.
  std::string text = FlashFile(kInchHeader, "");
  text += "G04 " + std::string((1 << 20) - text.size() - 10, 'a') + "*\n";
  text += "X1234Y5678D03*\n";
  text += "G04 " + std::string(3 << 20, 'b') + "*\n";
  text += "X4321Y8765D03*\n";
  GerberRead r = ReadGerberText(text);
  EXPECT_TRUE(r.accepted);
  ASSERT_EQ(r.count(), 2);
  EXPECT_EQ(At(r.rec(0)), (TPoint{1234, 5678}));
  EXPECT_EQ(At(r.rec(1)), (TPoint{4321, 8765}));
}

TEST(GerberReading, OverlongBlockIsCutNotFatal) {
  // A block of more than 16 MiB keeps only its beginning; the file goes on after it.
  std::string text = FlashFile(kInchHeader, "");
  text += "G04 " + std::string((16 << 20) + 4096, 'c') + "*\n";
  text += "X1000Y0D03*\n";
  GerberRead r = ReadGerberText(text);
  EXPECT_TRUE(r.accepted);
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(r.rec(0).X, 1000);
}

TEST(GerberReading, FilesThatCannotBeRead) {
  TID_DrawFileFormat image;
  TempDir dir;
  EXPECT_THROW(ReadGerberFile((dir / "missing.gbr").string(), image, kDefaultGerberFormat),
               EInOutError);
  EXPECT_EQ(RefusalOf<EInOutError>(
                [&] { ReadGerberFile(dir.path().string(), image, kDefaultGerberFormat); }),
            "not a regular file");
  if (geteuid() != 0) {  // root reads anything
    WriteFile(dir / "locked.gbr", "%FSLAX33Y33*%");
    chmod((dir / "locked.gbr").c_str(), 0);
    EXPECT_THROW(ReadGerberFile((dir / "locked.gbr").string(), image, kDefaultGerberFormat),
                 EInOutError);
  }
}

TEST(GerberReading, OverflowingValuesRaise) {
  // Format 9.0 inch: 999999999 inch is far beyond 32 bits of thousandths.
  TempDir dir;
  TID_DrawFileFormat image;
  WriteFile(dir / "big.gbr",
            "%FSLAX90Y90*%%MOIN*%%ADD10C,0.010*%D10*X1Y1D03*X999999999Y0D03*X2Y2D03*");
  ResetReaderTables();
  EXPECT_THROW(ReadGerberFile((dir / "big.gbr").string(), image, kDefaultGerberFormat),
               ERangeError);
  // The image keeps what was recorded before.
  ASSERT_EQ(image.Count, 1);
  EXPECT_EQ(image.Records[0].X, 1000);

  // A coordinate whose fine value (1/100 unit) leaves 32 bits raises too.
  WriteFile(dir / "fine.gbr", "%FSLAX90Y90*%%MOIN*%%ADD10C,0.010*%D10*X30000Y0D03*");
  ResetReaderTables();
  EXPECT_THROW(ReadGerberFile((dir / "fine.gbr").string(), image, kDefaultGerberFormat),
               ERangeError);

  // A huge modifier.
  WriteFile(dir / "mod.gbr", std::string(kInchHeader) + "%ADD10C,99999999999*%D10*X0Y0D03*");
  ResetReaderTables();
  EXPECT_THROW(ReadGerberFile((dir / "mod.gbr").string(), image, kDefaultGerberFormat),
               ERangeError);

  // Incremental coordinates that run past 32 bits.
  std::string inc = "%FSLIX73Y73*%%MOIN*%%ADD10C,0.010*%D10*";
  for (int i = 0; i < 3; ++i) inc += "X20000000D02*";
  WriteFile(dir / "inc.gbr", inc);
  ResetReaderTables();
  EXPECT_THROW(ReadGerberFile((dir / "inc.gbr").string(), image, kDefaultGerberFormat),
               EIntOverflow);

  // After a refused file, the next one reads normally.
  GerberRead ok = ReadGerberText(FlashFile(kInchHeader, "X1000Y0D03*"));
  EXPECT_TRUE(ok.accepted);
  EXPECT_EQ(ok.count(), 1);
}

TEST(GerberReading, DefaultFormatAndReset) {
  // Before the file's own statements the default format is in force: L, absolute,
  // 3.5 inch. The image and its extents start afresh for every read.
  TempDir dir;
  WriteFile(dir / "a.gbr", "%ADD10C,0.010*%D10*X100000Y0D03*%FSLAX33Y33*%X2000Y0D03*");
  TID_DrawFileFormat image;
  ResetImage(image);
  AddCircle(image, 50000, 50000, 10);
  ResetReaderTables();
  EXPECT_TRUE(ReadGerberFile((dir / "a.gbr").string(), image, kDefaultGerberFormat));
  ASSERT_EQ(image.Count, 2);
  EXPECT_EQ(image.Records[0].X, 1000);  // 1.00000 inch in 3.5
  EXPECT_EQ(image.Records[1].X, 2000);  // 2.000 inch in 3.3
  EXPECT_EQ(image.MaxX, 2005);
  EXPECT_EQ(image.MinX, 995);
}
