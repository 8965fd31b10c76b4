// Reading one RS-274-X file: block assembly, parameter statements (FS, MO, LP, and the
// hand-over of AD and AM), data-block tokenising and coordinate conversion.
#include "gerber/reader.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "gerber/excellon.h"
#include "gerber/reader_internal.h"
#include "gerber/text_chars.h"
#include "platform/checked.h"
#include "platform/errors.h"
#include "platform/process.h"

namespace pv {

namespace {

constexpr size_t kReadChunk = 1 << 20;
// Hostile input (a file without '*' or '%') must not grow one block without bound:
// text beyond this many characters is dropped until the block ends. Real aperture
// macros and the longest lines of real files are far below it.
constexpr size_t kMaxBlockText = 16u << 20;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// G04 starts a comment, also after blanks.
bool IsCommentText(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  s.remove_prefix(i);
  return StartsWith(s, "G4") || StartsWith(s, "G04");
}

// Characters that block assembly simply appends: not a control, '*' or '%'.
constexpr auto kOrdinary = [] {
  std::array<bool, 256> t{};
  for (int c = 32; c < 256; ++c) t[static_cast<size_t>(c)] = c != '*' && c != '%';
  return t;
}();

// The file, read in large chunks; closed when the read ends, also by an exception.
class InputFile {
 public:
  explicit InputFile(const std::string& name) : fd_(OpenFileForReading(name)) {}
  ~InputFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Bytes read into buf (0 at end of file); EInOutError when reading fails.
  size_t Read(char* buf, size_t size) {
    for (;;) {
      ssize_t n = ::read(fd_, buf, size);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) throw EInOutError(std::strerror(errno));
    }
  }

 private:
  int fd_ = -1;
};

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// A collected run of '-' and digits after a data letter ('+' already dropped). Only
// the first digits matter for a coordinate (at most 18 fit a format), so a run of any
// length is kept in a fixed buffer together with its true length.
struct NumberText {
  static constexpr size_t kKept = 32;
  char Text[kKept];
  size_t Kept = 0;
  size_t Length = 0;
  bool IsInt32 = false;  // the whole run is an integer within 32 bits
  int32_t Value = 0;
};

// Collects from position i of the block (up to end) and advances i past the run.
void CollectNumber(std::string_view s, size_t& i, size_t end, NumberText& out) {
  out.Kept = 0;
  out.Length = 0;
  bool valid = true, negative = false;
  size_t digits = 0;
  int64_t v = 0;
  for (; i < end; ++i) {
    char c = s[i];
    if (c == '+') continue;
    if (c != '-' && !IsDigit(c)) break;
    if (out.Kept < NumberText::kKept) out.Text[out.Kept++] = c;
    if (c == '-') {
      if (out.Length == 0)
        negative = true;
      else
        valid = false;
    } else {
      ++digits;
      if (v <= 2147483648LL) v = v * 10 + (c - '0');
    }
    ++out.Length;
  }
  if (digits == 0 || v > (negative ? 2147483648LL : 2147483647LL)) valid = false;
  out.IsInt32 = valid;
  out.Value = valid ? static_cast<int32_t>(negative ? -v : v) : 0;
}

double PaddedValue(const ReaderState& st, std::string_view text, size_t length, size_t t,
                   int32_t integer);

// Coordinate conversion of a collected run that is a valid integer.
void ConvertRun(const ReaderState& st, const NumberText& n, int32_t total, int32_t integer,
                int32_t& value, int32_t& fine, double& written) {
  std::string_view text(n.Text, n.Kept);
  size_t length = n.Length;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) {
    text.remove_prefix(1);
    --length;
  }
  const size_t t = static_cast<size_t>(total < 0 ? 0 : total);
  const size_t ip = std::min(static_cast<size_t>(integer < 0 ? 0 : integer), t);
  double v = 0.0;
  if (length <= t && t <= 15 && (st.ZeroSuppression == 'L' || st.ZeroSuppression == 'T')) {
    // The usual case: the padded text is the run's own digits, shifted left by the zeros a
    // 'T' format appends; the same exact digits and power of ten as below.
    uint64_t digits = static_cast<uint64_t>(n.Value < 0 ? -static_cast<int64_t>(n.Value) : n.Value);
    if (st.ZeroSuppression == 'T') digits *= static_cast<uint64_t>(kPowersOfTen[t - length]);
    v = static_cast<double>(digits) / kPowersOfTen[t - ip];
  } else {
    v = PaddedValue(st, text, length, t, integer);
  }
  value = RoundCoord(st.FileUnitFactor * v);
  fine = RoundCoord(st.FileUnitFactor * v * 100.0);
  written = negative ? -v : v;
  if (negative) {
    value = CheckedNeg(value);
    fine = CheckedNeg(fine);
  }
}

// The decimal value of a coordinate's digits padded to the format: integer part "."
// decimal part.
double PaddedValue(const ReaderState& st, std::string_view text, size_t length, size_t t,
                   int32_t integer) {
  // The padded text, only as far as the format reads it (total digits <= 18).
  char padded[40];
  size_t plen = 0;
  if (st.ZeroSuppression == 'L' && length < t) {
    for (size_t k = length; k < t; ++k) padded[plen++] = '0';
  }
  for (size_t k = 0; k < text.size() && plen < sizeof padded; ++k) padded[plen++] = text[k];
  if (st.ZeroSuppression == 'T') {
    while (plen < t && plen < sizeof padded) padded[plen++] = '0';
  }
  size_t ip = std::min(static_cast<size_t>(integer < 0 ? 0 : integer), plen);
  size_t dp_end = std::max(ip, std::min(t, plen));
  if (st.ZeroSuppression == 'L' && plen > t && t >= ip) {
    // More digits than the format holds, leading zeros omitted: the decimals are still
    // the last ones, the integer part is longer (X100000 in 2.3 is 100.000).
    ip = plen - (t - ip);
    dp_end = plen;
  }
  // value = integer part "." decimal part. Up to 15 digits the digits form an exact
  // double and so does the power of ten, so one division gives the correctly rounded
  // value; longer texts go through the general conversion.
  double v = 0.0;
  if (dp_end <= 15) {
    uint64_t digits = 0;
    for (size_t k = 0; k < dp_end; ++k)
      digits = digits * 10 + static_cast<uint64_t>(padded[k] - '0');
    v = static_cast<double>(digits) / kPowersOfTen[dp_end - ip];
  } else {
    char number[48];
    size_t nlen = 0;
    for (size_t k = 0; k < ip; ++k) number[nlen++] = padded[k];
    number[nlen++] = '.';
    for (size_t k = ip; k < dp_end; ++k) number[nlen++] = padded[k];
    std::from_chars(number, number + nlen, v);
  }
  return v;
}

void RunStatement(ReaderState& st, std::string_view statement) {
  // "SR" and "AB" alone close a step and repeat or a block, as "SR*" and "AB*" do.
  if (statement.size() < 2) return;
  if (statement.size() == 2 && statement != "SR" && statement != "AB") return;
  std::string_view code = statement.substr(0, 2);
  std::string_view arg = statement.substr(2);
  if (code == "FS")
    FormatStatement(st, arg);
  else if (code == "AD")
    ApertureDefinition(st, arg);
  else if (code == "MO")
    UnitsStatement(st, arg);
  else if (code == "LP")
    PolarityStatement(st, arg);
  else if (code == "AM")
    MacroDefinition(arg);
  else if (code == "LM")
    MirrorStatement(st, arg);
  else if (code == "LR")
    RotationStatement(st, arg);
  else if (code == "LS")
    ScaleStatement(st, arg);
  else if (code == "SR")
    StepRepeatStatement(st, arg);
  else if (code == "AB")
    BlockStatement(st, arg);
  else if (code == "IP" || code == "AS" || code == "MI" || code == "OF" || code == "SF" ||
           code == "IR")
    ImageParameterStatement(st, code, arg);
}

}  // namespace

void InitReaderState(ReaderState& st, TID_DrawFileFormat& image) {
  std::vector<TPoint> points = std::move(st.Path.Points);
  std::string scratch = std::move(st.Scratch);
  st = ReaderState();
  st.Path.Points = std::move(points);
  st.Path.Points.resize(kPathCapacity);
  st.Scratch = std::move(scratch);
  st.Scratch.clear();
  st.Image = &image;
  st.Output = &image;
}

// ---------------------------------------------------------------------------------
// Number syntax

bool IsDecimalNumber(std::string_view s) {
  if (s.empty()) return false;
  int digits = 0, dots = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (IsDigit(c))
      ++digits;
    else if (c == '.')
      ++dots;
    else if (c != '-' || i != 0)
      return false;
  }
  return digits > 0 && dots <= 1;
}

double DecimalValue(std::string_view s) {
  double v = 0.0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    // Too many digits for a double: infinite when a digit before the point is not
    // zero, otherwise it vanished below the smallest double.
    bool huge = false;
    for (char c : s) {
      if (c == '.') break;
      if (c >= '1' && c <= '9') huge = true;
    }
    bool negative = !s.empty() && s[0] == '-';
    v = huge ? (negative ? -HUGE_VAL : HUGE_VAL) : 0.0;
  } else if (ec != std::errc()) {
    v = 0.0;
  }
  return v;
}

bool IsIntegerText(std::string_view s) {
  size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
  if (i >= s.size()) return false;
  for (; i < s.size(); ++i)
    if (!IsDigit(s[i])) return false;
  return true;
}

int32_t IntegerValue(std::string_view s) {
  bool negative = !s.empty() && s[0] == '-';
  int64_t v = 0;
  for (size_t i = negative ? 1 : 0; i < s.size(); ++i) {
    if (!IsDigit(s[i])) break;
    if (v <= 2147483648LL) v = v * 10 + (s[i] - '0');
  }
  if (negative) return v >= 2147483648LL ? INT32_MIN : static_cast<int32_t>(-v);
  return v > 2147483647LL ? INT32_MAX : static_cast<int32_t>(v);
}

// ---------------------------------------------------------------------------------
// Coordinates

namespace {

// The coordinate letters, the fields of a block they set, and the format their digits
// follow: I that of X, J that of Y.
struct CoordinateField {
  char Letter;
  bool XFormat;
  bool BlockFields::*Has;
  int32_t BlockFields::*Value;
  int32_t BlockFields::*Fine;
  double BlockFields::*Written;
};
constexpr CoordinateField kCoordinateFields[] = {
    {'X', true, &BlockFields::HasX, &BlockFields::X, &BlockFields::FineX, &BlockFields::ValueX},
    {'Y', false, &BlockFields::HasY, &BlockFields::Y, &BlockFields::FineY, &BlockFields::ValueY},
    {'I', true, &BlockFields::HasI, &BlockFields::I, &BlockFields::FineI, &BlockFields::ValueI},
    {'J', false, &BlockFields::HasJ, &BlockFields::J, &BlockFields::FineJ, &BlockFields::ValueJ}};

const CoordinateField* CoordinateFieldOf(char letter) {
  for (const CoordinateField& c : kCoordinateFields)
    if (c.Letter == letter) return &c;
  return nullptr;
}

}  // namespace

void TokenizeBlock(ReaderState& st, std::string_view block) {
  BlockFields& f = st.LastBlock;
  f.HasG = f.HasD = f.HasX = f.HasY = f.HasI = f.HasJ = false;
  f.GCount = 0;
  size_t end = block.find('*');
  if (end == std::string_view::npos) end = block.size();
  NumberText n;
  size_t i = 0;
  while (i < end) {
    const char letter = Upper(block[i++]);
    const CoordinateField* c = CoordinateFieldOf(letter);
    if (letter != 'G' && letter != 'D' && !c) continue;
    CollectNumber(block, i, end, n);
    if (n.Length == 0 || !n.IsInt32) continue;
    if (c) {
      ConvertRun(st, n, c->XFormat ? st.XTotalDigits : st.YTotalDigits,
                 c->XFormat ? st.XIntegerDigits : st.YIntegerDigits, f.*c->Value, f.*c->Fine,
                 f.*c->Written);
      f.*c->Has = true;
    } else if (letter == 'G') {
      f.HasG = true, f.G = n.Value;
      if (f.GCount < kMaxBlockGCodes) f.GCodes[f.GCount++] = n.Value;
    } else {
      f.HasD = true, f.D = n.Value;
    }
  }
}

// ---------------------------------------------------------------------------------
// Parameters

void FormatStatement(ReaderState& st, std::string_view arg) {
  st.ZeroSuppression = ' ';
  bool xSeen = false, ySeen = false, modeSeen = false;
  if (arg.size() <= 5) return;
  while (!arg.empty()) {
    bool matched = false;
    if (arg[0] == 'L' || arg[0] == 'T') {
      st.ZeroSuppression = arg[0];
      arg.remove_prefix(1);
      matched = true;
    }
    if (!arg.empty() && (arg[0] == 'A' || arg[0] == 'I')) {
      modeSeen = true;
      st.Absolute = arg[0] == 'A';
      arg.remove_prefix(1);
      matched = true;
    }
    if (!arg.empty() && std::string_view("DGMNXY").find(arg[0]) != std::string_view::npos) {
      char letter = arg[0];
      size_t k = 1;
      while (k < arg.size() && IsDigit(arg[k])) ++k;
      if (k == 3 && (letter == 'X' || letter == 'Y')) {
        int32_t a = arg[1] - '0', b = arg[2] - '0';
        if (letter == 'X') {
          st.XTotalDigits = a + b, st.XIntegerDigits = a, xSeen = true;
        } else {
          st.YTotalDigits = a + b, st.YIntegerDigits = a, ySeen = true;
        }
      }
      arg.remove_prefix(k);
      matched = true;
    }
    if (!matched) break;
  }
  if (xSeen && ySeen && modeSeen) st.FormatSeen = true;
}

void UnitsStatement(ReaderState& st, std::string_view arg) {
  st.FileUnitFactor = arg == "IN*" ? 1000.0 : 39.37;
}

void ProcessParameterBlock(ReaderState& st, std::string_view block) {
  std::string& text = st.Scratch;
  text.clear();
  for (char c : block)
    if (static_cast<unsigned char>(c) > 32) text.push_back(c);
  size_t open = text.find('%');
  if (open == std::string::npos) return;
  std::string_view rest = std::string_view(text).substr(open + 1);
  size_t close = rest.find('%');
  if (close != std::string_view::npos) rest = rest.substr(0, close);
  if (StartsWith(rest, "AM")) {
    RunStatement(st, rest);  // a macro body keeps its '*' separators
    return;
  }
  while (!rest.empty()) {
    size_t star = rest.find('*');
    size_t len = star == std::string_view::npos ? rest.size() : star + 1;
    RunStatement(st, rest.substr(0, len));
    rest.remove_prefix(len);
  }
}

void ProcessBlock(ReaderState& st, std::string_view block) {
  if (IsCommentText(block)) return;
  if (block.find('%') != std::string_view::npos)
    ProcessParameterBlock(st, block);
  else
    InterpretBlock(st, block);
}

// ---------------------------------------------------------------------------------
// The entry

namespace {

// Assembles blocks from the bytes of a file, fed in pieces of any size, and hands each
// complete block to the parameter code or the command interpreter.
class BlockAssembler {
 public:
  explicit BlockAssembler(ReaderState& st) : st_(st) { block_.reserve(4096); }

  void Feed(const char* p, size_t n) {
    st_.BytesRead += n;
    FeedText(p, n);
  }

  // The end of the input: a last unterminated block, the path being drawn, the verdict.
  bool Finish() {
    if (afterOpenComment_) Replay();
    if (!block_.empty()) Complete();
    FinishRead(st_);
    return st_.FormatSeen && st_.ApertureSeen;
  }

 private:
  void FeedText(const char* p, size_t n) {
    const char* const end = p + n;
    while (p < end) {
      if (afterOpenComment_) {
        p = AfterOpenComment(p, end);
        continue;
      }
      // Ordinary characters are appended as one run.
      const char* q = p;
      while (q < end && kOrdinary[static_cast<unsigned char>(*q)]) ++q;
      if (q < end && *q == '*' && block_.empty() && !st_.InParameter) {
        // A whole data block inside the piece, the usual case: handled where it lies.
        if (q != p) ProcessBlock(st_, std::string_view(p, static_cast<size_t>(q - p) + 1));
        p = q + 1;
        continue;
      }
      Append(p, static_cast<size_t>(q - p));
      if (q == end) break;
      const char c = *q;
      p = q + 1;
      if (static_cast<unsigned char>(c) < 32) {
        // Line ends, tabs and other controls are dropped, a whole run of them at once.
        while (p < end && static_cast<unsigned char>(*p) < 32) ++p;
        continue;
      }
      Append(&c, 1);
      if (st_.InParameter) {
        if (c == '%') Complete();
      } else if (c == '*') {
        if (IsCommentText(block_) && std::count(block_.begin(), block_.end(), '%') % 2 == 1) {
          // A comment with an unpaired '%': either text ("G04 #@! %TF.Part,Single*", "100%")
          // that ends here, or a statement commented out ("G04 was %ADD11C,0.5*%") whose
          // closing '%' follows at once. The rest of the line tells.
          block_.clear();
          afterOpenComment_ = true;
          pending_.clear();
          continue;
        }
        Complete();
      } else if (c == '%') {
        // A '%' in a comment is text: the comment still ends at its '*'.
        if (!IsCommentText(block_)) st_.InParameter = true;
      }
    }
  }

  // After the '*' of a comment with an unpaired '%': a '%' before the line ends closes the
  // commented statement and ends the comment; a line end means the comment ended at its
  // '*', and what followed on its line is read again as blocks of its own.
  const char* AfterOpenComment(const char* p, const char* end) {
    for (; p < end; ++p) {
      const char c = *p;
      if (c == '%') {
        afterOpenComment_ = false;
        pending_.clear();
        return p + 1;
      }
      if (static_cast<unsigned char>(c) < 32 || pending_.size() >= kMaxPendingComment) {
        Replay();
        return p;
      }
      pending_.push_back(c);
    }
    return p;
  }

  void Replay() {
    afterOpenComment_ = false;
    std::string text = std::move(pending_);
    pending_.clear();
    FeedText(text.data(), text.size());
  }

  void Complete() {
    if (block_.size() != 1) ProcessBlock(st_, block_);
    block_.clear();
    st_.InParameter = false;
  }
  void Append(const char* from, size_t count) {
    if (block_.size() < kMaxBlockText)
      block_.append(from, std::min(count, kMaxBlockText - block_.size()));
  }

  static constexpr size_t kMaxPendingComment = 4096;
  bool afterOpenComment_ = false;
  std::string pending_;
  ReaderState& st_;
  std::string block_;
};

// The path's point storage, kept from one read to the next like the reader's tables, so
// that a read does not allocate and clear its 80000 slots again.
std::vector<TPoint>& SparePathPoints() {
  static std::vector<TPoint> points;
  return points;
}

// The state of one read: the driver's default format, nothing seen yet. The point storage
// goes back for the next read however the read ends.
class ReadSession {
 public:
  ReadSession(TID_DrawFileFormat& image, const std::string& defaultFormat)
      : st_(std::make_unique<ReaderState>()) {
    ResetImage(PolygonShapes());
    ResetBlockShapes();
    st_->Path.Points = std::move(SparePathPoints());
    InitReaderState(*st_, image);
    ProcessParameterBlock(*st_, defaultFormat);
    st_->FormatSeen = false;
    st_->ApertureSeen = false;
  }
  ~ReadSession() { SparePathPoints() = std::move(st_->Path.Points); }
  ReadSession(const ReadSession&) = delete;
  ReadSession& operator=(const ReadSession&) = delete;
  ReaderState& State() { return *st_; }

 private:
  std::unique_ptr<ReaderState> st_;
};

}  // namespace

bool ReadGerberFile(const std::string& fileName, TID_DrawFileFormat& image,
                    const std::string& defaultFormat) {
  ReadSession session(image, defaultFormat);
  InputFile file(fileName);
  DeleteFixedGerbLog();
  ResetImage(image);

  BlockAssembler blocks(session.State());
  std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  for (bool first = true;; first = false) {
    const size_t n = file.Read(chunk.get(), kReadChunk);
    // Drill or Gerber is decided by the content, whatever the file is called.
    if (first && LooksLikeExcellon(std::string_view(chunk.get(), n)))
      return ReadExcellon(
          std::string_view(chunk.get(), n),
          [&file](char* buf, size_t size) { return file.Read(buf, size); }, image);
    if (n == 0) break;
    blocks.Feed(chunk.get(), n);
  }
  return blocks.Finish();
}

bool ReadGerberBytes(std::string_view bytes, TID_DrawFileFormat& image,
                     const std::string& defaultFormat) {
  if (LooksLikeExcellon(bytes)) return ReadExcellonBytes(bytes, image);
  ReadSession session(image, defaultFormat);
  ResetImage(image);
  BlockAssembler blocks(session.State());
  blocks.Feed(bytes.data(), bytes.size());
  return blocks.Finish();
}

}  // namespace pv
