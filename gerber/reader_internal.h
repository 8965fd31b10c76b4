#pragma once
// Internals of the Gerber reader shared by its three source files: the state of one
// read, the tokenised data block, the process-wide aperture and macro tables, and the
// helpers the parameter code, the aperture code and the command interpreter call on
// each other. Tests include this header to look at the tables directly.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "draw/image.h"

namespace pv {

// ---------------------------------------------------------------------------------
// State of one read

// A block may carry several G codes (G75G03...D01*); they are applied in order.
inline constexpr int32_t kMaxBlockGCodes = 16;

// The fields of one data block. X, Y, I, J are image units after conversion (X and Y
// before the incremental adjustment), their fine values 1/100 image unit. ValueX and
// ValueY are the coordinates as written, in file units: two points are the same point
// of the file exactly when these are equal.
struct BlockFields {
  bool HasG = false, HasD = false, HasX = false, HasY = false, HasI = false, HasJ = false;
  int32_t G = 0, D = 0, X = 0, Y = 0, I = 0, J = 0;  // G: the last G code of the block
  int32_t FineX = 0, FineY = 0, FineI = 0, FineJ = 0;
  double ValueX = 0.0, ValueY = 0.0, ValueI = 0.0, ValueJ = 0.0;
  int32_t GCount = 0;
  int32_t GCodes[kMaxBlockGCodes] = {};
};

inline constexpr int32_t kPathCapacity = 80000;
inline constexpr int32_t kEmptyBoxMin = 1000000;
inline constexpr int32_t kEmptyBoxMax = -1000000;

// The points of the path being drawn. The point storage is allocated once per read.
struct PathBuffer {
  std::vector<TPoint> Points;  // kPathCapacity slots
  int32_t Count = 0;
  int32_t PathKind = -1;  // interpolation mode the path was started under; -1 when empty
  int32_t ApertureSize = 0;
  char ApertureKind = 'C';
  int32_t HalfX = 0, HalfY = 0;  // half sides of a rectangular aperture
  int32_t BoxMinX = kEmptyBoxMin, BoxMinY = kEmptyBoxMin;
  int32_t BoxMaxX = kEmptyBoxMax, BoxMaxY = kEmptyBoxMax;
};

// Step and repeat (%SR): the records added since First are repeated CountX by CountY
// times at steps StepX, StepY when the block closes.
struct StepRepeat {
  bool Active = false;
  TID_DrawFileFormat* Target = nullptr;
  int32_t First = 0;
  int32_t CountX = 1, CountY = 1;
  int32_t StepX = 0, StepY = 0;
};

// An aperture block (%ABDnn) being defined: its objects go to a work image of its own.
struct OpenBlock {
  int32_t DCode = 0;
  TID_DrawFileFormat* Previous = nullptr;  // where objects went before the block opened
};

// The deprecated image parameters, applied to the whole image once it is read.
struct ImageParameters {
  bool Negative = false;                  // IPNEG
  bool SwapAxes = false;                  // ASAYBX
  bool MirrorA = false, MirrorB = false;  // MIA1B1
  double OffsetA = 0.0, OffsetB = 0.0;    // OF, image units
  double ScaleA = 1.0, ScaleB = 1.0;      // SF
  int32_t Rotation = 0;                   // IR: 0, 90, 180 or 270 counterclockwise
  bool Any() const {
    return Negative || SwapAxes || MirrorA || MirrorB || OffsetA != 0.0 || OffsetB != 0.0 ||
           ScaleA != 1.0 || ScaleB != 1.0 || Rotation != 0;
  }
};

struct ReaderState {
  char ZeroSuppression = ' ';  // 'L', 'T' or blank
  int32_t XTotalDigits = 0, XIntegerDigits = 0;
  int32_t YTotalDigits = 0, YIntegerDigits = 0;
  double FileUnitFactor = 1000.0;  // image units per file unit
  bool Absolute = true;
  bool FormatSeen = false;
  bool ApertureSeen = false;
  bool Dark = true;
  bool InParameter = false;
  int32_t InterpolationMode = 1;  // 1 linear, 2 clockwise, 3 counterclockwise
  bool MultiQuadrant = false;
  bool Region = false;
  bool RegionLinear = true;
  int32_t CurrentDCode = 11;
  int32_t SavedDCode = 1;
  bool PenDown = false;
  int32_t CurrentX = 0, CurrentY = 0;
  int32_t FineCurrentX = 0, FineCurrentY = 0;
  double CurrentValueX = 0.0, CurrentValueY = 0.0;  // the current point as written
  // Aperture transformation (LM, LR, LS) of the flashes and draws that follow.
  bool MirrorX = false, MirrorY = false;
  double Rotation = 0.0;  // degrees, counterclockwise
  double Scale = 1.0;
  StepRepeat Repeat;
  std::vector<OpenBlock> Blocks;  // innermost last
  ImageParameters ImageParams;
  BlockFields LastBlock;
  PathBuffer Path;
  uint64_t BytesRead = 0;                // bytes of the file handed to block assembly so far
  uint64_t CopiedWeight = 0;             // shapes copied by flashes, see kFreeCopies
  TID_DrawFileFormat* Image = nullptr;   // where records go: the output or an open block
  TID_DrawFileFormat* Output = nullptr;  // the caller's image
  std::string Scratch;                   // parameter text without blanks, reused
};

// Sets up a state as a read starts (the path storage included).
void InitReaderState(ReaderState& st, TID_DrawFileFormat& image);

// ---------------------------------------------------------------------------------
// Reading and parameters

// One assembled block: a comment is dropped, a block holding '%' is a parameter block,
// anything else a data block.
void ProcessBlock(ReaderState& st, std::string_view block);
void ProcessParameterBlock(ReaderState& st, std::string_view block);
void FormatStatement(ReaderState& st, std::string_view arg);
void UnitsStatement(ReaderState& st, std::string_view arg);
void PolarityStatement(ReaderState& st, std::string_view arg);
// LM, LR, LS: the aperture transformation of what follows.
void MirrorStatement(ReaderState& st, std::string_view arg);
void RotationStatement(ReaderState& st, std::string_view arg);
void ScaleStatement(ReaderState& st, std::string_view arg);
// SR: closes the step and repeat in force and opens the next one (none for %SR*%).
void StepRepeatStatement(ReaderState& st, std::string_view arg);
void CloseStepRepeat(ReaderState& st);
// AB: opens the definition of an aperture block (ABDnn) or closes the innermost one (AB).
void BlockStatement(ReaderState& st, std::string_view arg);
// IP, AS, MI, OF, SF, IR: the image parameters.
void ImageParameterStatement(ReaderState& st, std::string_view code, std::string_view arg);
// The end of a read: open blocks and step and repeat closed, image parameters applied.
void FinishRead(ReaderState& st);

// Tokenises a data block up to its first '*' into st.LastBlock. X, Y, I and J are
// converted in the format of st to image units and 1/100 image unit; a field whose digits
// are no 32-bit number is left out, one whose value leaves 32 bits raises ERangeError.
void TokenizeBlock(ReaderState& st, std::string_view block);

// Digits, '-' and '.' only, at least one digit, at most one '.', '-' only first.
bool IsDecimalNumber(std::string_view s);
// The value of a text that passed IsDecimalNumber (beyond the double range: +-infinity).
double DecimalValue(std::string_view s);
// Digits with an optional leading '-', at least one digit.
bool IsIntegerText(std::string_view s);
// The value of an integer text, saturated to the 32-bit range.
int32_t IntegerValue(std::string_view s);

// ---------------------------------------------------------------------------------
// Apertures and macros (process-wide, reset before every file)

inline constexpr int32_t kApertureSlots = 2000;
inline constexpr int32_t kDCodes = 4000;
inline constexpr int32_t kMacros = 500;
inline constexpr int32_t kModifiers = 100;
// Evaluated parameters of one macro primitive: an outline of up to 10000 vertices.
inline constexpr int32_t kMaxOutlineVertices = 10000;
inline constexpr int32_t kPrimitiveParams = 2 * kMaxOutlineVertices + 7;
// Aperture blocks nest at most this deep.
inline constexpr int32_t kMaxBlockDepth = 64;

// Memory bounds against shapes that multiply. Macro instantiations hold at most this many
// shapes together; the real files we know stay below 60000.
inline constexpr int32_t kMaxMacroShapes = 1 << 20;
// Flashes of polygon, macro and block apertures and step and repeat copy stored shapes, so
// a block of three bytes can ask for thousands of them. A copied shape costs about 300
// bytes by the time its page is written. The copies of one read may weigh (a record, plus
// one for every 16 coordinate values it holds) kFreeCopies plus kCopiesPerByte per byte
// read, and never more than kMaxCopies (about 5 GiB): the densest real boards we know copy
// 2.4 shapes per byte, panels written with step and repeat some ten. A file that asks for
// more is refused. Everything else a file draws takes bytes of its own.
inline constexpr uint64_t kFreeCopies = 1 << 20;
inline constexpr uint64_t kCopiesPerByte = 16;
inline constexpr uint64_t kMaxCopies = 1 << 24;

struct TAperture {
  char Kind = 'E';  // 'C', 'R', 'O', 'P', 'M', 'B' (aperture block) or 'E' (undefined)
  int32_t Size = 40;
  int32_t A = 0, B = 0, C = 0, D = 0;
  // The hole of a standard aperture: a round one of diameter HoleX, or a rectangular one
  // HoleX by HoleY; none when HoleX is 0.
  int32_t HoleX = 0, HoleY = 0;
};

struct TAMacro {
  std::string Name;  // empty: a free entry
  std::string Body;
};

// Slot i (1..2000) of ApertureTable; ERangeError outside.
TAperture& ApertureSlot(int32_t slot);
// DCodeMap[d] (1..4000); ERangeError outside.
int32_t& DCodeSlot(int32_t dcode);
// The aperture that D code d selects.
const TAperture& ApertureOfDCode(int32_t dcode);

TID_DrawFileFormat& PolygonShapes();
TID_DrawFileFormat& MacroShapes();
// The records of every closed aperture block of the file (an aperture 'B' holds a range).
TID_DrawFileFormat& BlockShapes();
// The work image of the block open at depth d (0 outermost), reset.
TID_DrawFileFormat& BlockWorkImage(int32_t depth);
// Resets the block stores; the reader calls it at the start of every read.
void ResetBlockShapes();
// D code d now selects an aperture block of the records [first, first + count) of BlockShapes.
void DefineBlockAperture(ReaderState& st, int32_t dcode, int32_t first, int32_t count);

void ApertureDefinition(ReaderState& st, std::string_view arg);
void MacroDefinition(std::string_view arg);
// Parses modifier text into ModifierValues; returns the count.
int32_t ParseModifiers(std::string_view text);
// Draws the primitives of a macro body into MacroShapes with the current ModifierValues.
void InstantiateMacro(const ReaderState& st, std::string_view body);
// Evaluates one field of a macro statement (assignment or expression).
void EvaluateField(std::string_view field);
// Strictly left-to-right value of a macro expression.
double EvaluateExpression(std::string_view expr);
// Adds a regular polygon of diameter d, n vertices, rotation r (1/1000 degree).
void BuildStandardPolygon(int32_t diameter, int32_t vertices, int32_t rotation);

// Cosine and sine of an angle in degrees, exact at multiples of 90 (a turned rectangle stays
// a rectangle); a non-finite angle counts as 0.
void CosSinDegrees(double degrees, double& c, double& s);

// Rotate (x, y) counterclockwise about the origin, keeping the sine and cosine of the
// last angle it was given.
TPoint RotateMilliDegrees(TPoint p, int32_t milliDegrees);

// ---------------------------------------------------------------------------------
// Command interpreter

void InterpretBlock(ReaderState& st, std::string_view block);
// The polarity flags the records added from now on get.
void UpdateAddFlags(ReaderState& st);
void FlushPath(ReaderState& st);
void AddPathPoint(ReaderState& st, int32_t x, int32_t y);
// Follows an arc about centre from start to end (offsets from the centre) with chords,
// appending its points after the contour's last one; full: the whole circle.
void ArcToPoints(ReaderState& st, TPoint centre, TPoint start, TPoint end, bool counterclockwise,
                 bool full = false);

}  // namespace pv
