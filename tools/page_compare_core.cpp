#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "gerber/reader.h"
#include "tools/page_compare.h"

namespace fs = std::filesystem;

namespace pvpc {

namespace {

// --- numbers as text -------------------------------------------------------------------

std::string Fixed(double v, int decimals) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

std::string Int(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string PadLeft(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string PadRight(const std::string& s, size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// --- files and programs ---------------------------------------------------------------

std::string ReadWhole(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

struct ProgramResult {
  int status = -1;  // exit status, 128 + signal, or -1 when it could not start
  bool timedOut = false;
  std::string out, err;
};

// Runs argv[0] (a full path) in cwd with standard output and error going to files there, no
// standard input and no graphical session (our converter would otherwise ask the desktop to
// open the PDF). The child is killed after `timeoutSeconds`.
ProgramResult RunTool(const std::vector<std::string>& argv, const fs::path& cwd,
                      const std::string& logStem, int timeoutSeconds) {
  ProgramResult r;
  const fs::path outPath = cwd / (logStem + ".out"), errPath = cwd / (logStem + ".err");
  pid_t pid = fork();
  if (pid < 0) return r;
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0) return r;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      r.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadWhole(outPath);
  r.err = ReadWhole(errPath);
  return r;
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return {};
}

// The first line of text that holds `needle`, or the first non-empty line.
std::string TellingLine(const std::string& text, const std::string& needle = {}) {
  std::istringstream in(text);
  std::string line, first;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (first.empty()) first = line;
    if (!needle.empty() && line.find(needle) != std::string::npos) return line;
  }
  return needle.empty() ? first : std::string();
}

// gerbv's messages without its "** (process:N): CRITICAL **: HH:MM:SS.mmm: " prefix.
std::vector<std::string> GerbvMessages(const std::string& err) {
  std::vector<std::string> out;
  std::istringstream in(err);
  std::string line;
  while (std::getline(in, line)) {
    size_t p = line.find("CRITICAL **: ");
    if (p == std::string::npos) p = line.find("WARNING **: ");
    if (p == std::string::npos) continue;
    std::string msg = line.substr(line.find("**: ", p) + 4);
    // Time stamp "01:24:57.739: ".
    if (msg.size() > 14 && msg[2] == ':' && msg[5] == ':' && msg[12] == ':') msg = msg.substr(14);
    out.push_back(msg);
  }
  return out;
}

// --- pictures -------------------------------------------------------------------------

// The words' boxes of page 1 from `pdftotext -bbox` (points, y down) and the page size.
struct TextBoxes {
  double pageWidth = 0, pageHeight = 0;
  bool any = false;
  double xMin = 1e300, yMin = 1e300, xMax = -1e300, yMax = -1e300;
};

double Attribute(const std::string& tag, const char* name) {
  std::string key = std::string(name) + "=\"";
  size_t p = tag.find(key);
  if (p == std::string::npos) return NAN;
  p += key.size();
  double v = NAN;
  const char* b = tag.data() + p;
  std::from_chars(b, tag.data() + tag.size(), v);
  return v;
}

TextBoxes ParseBboxHtml(const std::string& html) {
  TextBoxes t;
  size_t pagePos = html.find("<page ");
  if (pagePos == std::string::npos) return t;
  std::string pageTag = html.substr(pagePos, html.find('>', pagePos) - pagePos);
  t.pageWidth = Attribute(pageTag, "width");
  t.pageHeight = Attribute(pageTag, "height");
  size_t end = html.find("</page>", pagePos);
  for (size_t p = html.find("<word ", pagePos); p != std::string::npos && p < end;
       p = html.find("<word ", p + 1)) {
    std::string tag = html.substr(p, html.find('>', p) - p);
    double x0 = Attribute(tag, "xMin"), y0 = Attribute(tag, "yMin");
    double x1 = Attribute(tag, "xMax"), y1 = Attribute(tag, "yMax");
    if (std::isnan(x0) || std::isnan(y0) || std::isnan(x1) || std::isnan(y1)) continue;
    t.any = true;
    t.xMin = std::min(t.xMin, x0);
    t.yMin = std::min(t.yMin, y0);
    t.xMax = std::max(t.xMax, x1);
    t.yMax = std::max(t.yMax, y1);
  }
  return t;
}

// Reference pixel classes for the difference picture.
enum : uint8_t { kWhite, kMask, kNear, kBoth, kExtra, kMissing };

// 1 where the region counts, else 0.
std::vector<uint8_t> RegionMap(int w, int h, const PixelRegion& region) {
  std::vector<uint8_t> m(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m[static_cast<size_t>(y) * w + x] = region.Counts(x, y);
  return m;
}

// Dark pixels as 0/1 bytes.
std::vector<uint8_t> Dark(const GrayPicture& p, uint8_t darkBelow) {
  std::vector<uint8_t> m(p.pixels.size());
  for (size_t i = 0; i < m.size(); ++i) m[i] = p.pixels[i] < darkBelow;
  return m;
}

void MaskOut(std::vector<uint8_t>& m, const std::vector<uint8_t>& counts) {
  for (size_t i = 0; i < m.size(); ++i) m[i] &= counts[i];
}

// Dark pixels, 0 where the region does not count.
std::vector<uint8_t> DarkMap(const GrayPicture& p, const PixelRegion& region, uint8_t darkBelow) {
  std::vector<uint8_t> m = Dark(p, darkBelow);
  MaskOut(m, RegionMap(p.width, p.height, region));
  return m;
}

// `src` moved by (dx, dy): out(x, y) = src(x - dx, y - dy), 0 from outside.
std::vector<uint8_t> Shifted(const std::vector<uint8_t>& src, int w, int h, int dx, int dy) {
  std::vector<uint8_t> out(src.size(), 0);
  for (int y = 0; y < h; ++y) {
    int sy = y - dy;
    if (sy < 0 || sy >= h) continue;
    int x0 = std::max(0, dx), x1 = std::min(w, w + dx);
    if (x1 <= x0) continue;
    std::memcpy(&out[static_cast<size_t>(y) * w + x0], &src[static_cast<size_t>(sy) * w + x0 - dx],
                static_cast<size_t>(x1 - x0));
  }
  return out;
}

// The map grown by a disc of the given radius.
std::vector<uint8_t> Dilated(const std::vector<uint8_t>& src, int w, int h, int radius) {
  std::vector<std::pair<int, int>> disc;
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (dx * dx + dy * dy <= radius * radius) disc.emplace_back(dx, dy);
  std::vector<uint8_t> out(src.size(), 0);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = &src[static_cast<size_t>(y) * w];
    for (int x = 0; x < w; ++x) {
      if (!row[x]) continue;
      for (auto [dx, dy] : disc) {
        int xx = x + dx, yy = y + dy;
        if (xx >= 0 && xx < w && yy >= 0 && yy < h) out[static_cast<size_t>(yy) * w + xx] = 1;
      }
    }
  }
  return out;
}

// Connected groups (8-neighbour) of missing or extra pixels of at least `minPixels`: a pad,
// hole, clearance or end that is not there counts once however small its share of the ink.
int64_t CountSpots(const std::vector<uint8_t>& ref, const std::vector<uint8_t>& ourNear,
                   const std::vector<uint8_t>& our, const std::vector<uint8_t>& refNear, int w,
                   int h, int minPixels) {
  std::vector<uint8_t> odd(ref.size());
  for (size_t i = 0; i < odd.size(); ++i)
    odd[i] = (ref[i] & (ourNear[i] ^ 1)) | (our[i] & (refNear[i] ^ 1));
  int64_t spots = 0;
  std::vector<size_t> stack;
  for (size_t start = 0; start < odd.size(); ++start) {
    if (!odd[start]) continue;
    odd[start] = 0;
    stack.assign(1, start);
    int64_t size = 0;
    while (!stack.empty()) {
      const size_t i = stack.back();
      stack.pop_back();
      ++size;
      const int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
          const size_t j = static_cast<size_t>(yy) * w + xx;
          if (odd[j]) {
            odd[j] = 0;
            stack.push_back(j);
          }
        }
    }
    if (size >= minPixels) ++spots;
  }
  return spots;
}

// Rows and columns holding dark pixels in either map, grown by `margin`.
PixelBox InkBox(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h,
                int margin) {
  PixelBox box{w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    const uint8_t* ra = &a[static_cast<size_t>(y) * w];
    const uint8_t* rb = &b[static_cast<size_t>(y) * w];
    for (int x = 0; x < w; ++x)
      if (ra[x] | rb[x]) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x + 1);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y + 1);
      }
  }
  if (box.empty()) return PixelBox{};
  box.left = std::max(0, box.left - margin);
  box.top = std::max(0, box.top - margin);
  box.right = std::min(w, box.right + margin);
  box.bottom = std::min(h, box.bottom + margin);
  return box;
}

struct Classified {
  std::vector<uint8_t> refShifted, refNear, ourNear;
};

Classified Classify(const GrayPicture& reference, const GrayPicture& ours,
                    const PixelRegion& region, const PictureFigures& f, const CompareSettings& s) {
  const int w = ours.width, h = ours.height;
  Classified c;
  c.refShifted = Shifted(Dark(reference, s.darkBelow), w, h, f.shiftX, f.shiftY);
  MaskOut(c.refShifted, RegionMap(w, h, region));
  c.refNear = Dilated(c.refShifted, w, h, s.tolerance);
  c.ourNear = Dilated(DarkMap(ours, region, s.darkBelow), w, h, s.tolerance);
  return c;
}

// gerbv draws nothing with a zero-size circle, where our page draws a hairline of 1/1000
// inch. The reference's copy of the file gets that width instead, so that a board outline
// drawn with it is compared like any other line. Returns how many definitions were changed.
int WidenZeroSizeCircles(std::string& text) {
  const bool mm = text.find("%MOMM") != std::string::npos || text.find("G71") != std::string::npos;
  const std::string hairline = mm ? "0.0254" : "0.001";
  int changed = 0;
  for (size_t p = text.find("%ADD"); p != std::string::npos; p = text.find("%ADD", p + 1)) {
    size_t q = p + 4;
    while (q < text.size() && std::isdigit(static_cast<unsigned char>(text[q]))) ++q;
    if (q == p + 4 || text.compare(q, 2, "C,") != 0) continue;
    q += 2;
    while (q < text.size() && text[q] == ' ') ++q;
    size_t end = q;
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
      ++end;
    if (end == q || (text[end] != '*' && text[end] != 'X')) continue;
    double v = -1;
    std::from_chars(text.data() + q, text.data() + end, v);
    if (v != 0) continue;
    text.replace(q, end - q, hairline);
    ++changed;
  }
  return changed;
}

// What gerbv says it left out of its picture: the extensions it does not know that change
// the image (attributes, names and comments do not), and macros too long for it.
std::string ReferenceDropped(const std::vector<std::string>& said) {
  std::vector<std::string> reasons, unknown;
  auto add = [&reasons](const std::string& r) {
    if (std::find(reasons.begin(), reasons.end(), r) == reasons.end()) reasons.push_back(r);
  };
  for (const std::string& m : said) {
    if (m.find("more than gerbv is able to store") != std::string::npos) add("gerbv: " + m);
    // Our page draws with the 0.040 inch default aperture there; gerbv draws nothing.
    if (m.find("Found undefined D code") != std::string::npos)
      add("gerbv draws nothing with an undefined D code");
    const std::string key = "Unknown RS-274X extension found %";
    const size_t p = m.find(key);
    if (p == std::string::npos || m.size() < p + key.size() + 2) continue;
    const std::string code = m.substr(p + key.size(), 2);
    static const char* const kDrawing[] = {"LM", "LR", "LS", "AB", "SR", "LP", "IP",
                                           "OF", "SF", "MI", "IR", "KO", "AM", "AD"};
    for (const char* d : kDrawing)
      if (code == d && std::find(unknown.begin(), unknown.end(), code) == unknown.end())
        unknown.push_back(code);
  }
  if (!unknown.empty()) {
    std::string text = "gerbv ignores";
    for (const std::string& u : unknown) text += " %" + u;
    add(text);
  }
  std::string out;
  for (const std::string& r : reasons) out += (out.empty() ? "" : "; ") + r;
  return out;
}

}  // namespace

double PictureFigures::Agreement() const {
  return either == 0 ? 1.0 : static_cast<double>(both) / static_cast<double>(either);
}
double PictureFigures::MissingPercent() const {
  return referenceInk == 0 ? 0.0 : 100.0 * static_cast<double>(missing) / referenceInk;
}
double PictureFigures::ExtraPercent() const {
  if (ourInk == 0) return 0.0;
  return 100.0 * static_cast<double>(extra) / static_cast<double>(ourInk);
}
double PictureFigures::ClearLostPercent() const {
  return referenceClear == 0 ? 0.0 : 100.0 * static_cast<double>(extra) / referenceClear;
}
double PictureFigures::ClearAddedPercent() const {
  return ourClear == 0 ? 0.0 : 100.0 * static_cast<double>(missing) / ourClear;
}

PictureFigures ComparePictures(const GrayPicture& reference, const GrayPicture& ours,
                               const PixelRegion& region, const CompareSettings& s) {
  PictureFigures f;
  const int w = ours.width, h = ours.height;
  if (reference.width != w || reference.height != h) return f;
  // The region is in our page's pixels: the reference is masked after it is moved.
  const std::vector<uint8_t> counts = RegionMap(w, h, region);
  const std::vector<uint8_t> ref = Dark(reference, s.darkBelow);
  std::vector<uint8_t> our = Dark(ours, s.darkBelow);
  MaskOut(our, counts);
  for (size_t i = 0; i < our.size(); ++i) f.ourInk += our[i];

  // Registration: the shift of the reference that leaves the fewest pixels dark in only one
  // picture. Counted only over the rows and columns that hold ink.
  const int r = s.searchRadius;
  const PixelBox box = InkBox(ref, our, w, h, r);
  int64_t best = -1;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx) {
      int64_t differ = 0;
      for (int y = box.top; y < box.bottom; ++y) {
        const int sy = y - dy;
        const uint8_t* ro = &our[static_cast<size_t>(y) * w];
        const uint8_t* rc = &counts[static_cast<size_t>(y) * w];
        const bool rowInside = sy >= 0 && sy < h;
        const uint8_t* rr = rowInside ? &ref[static_cast<size_t>(sy) * w] : nullptr;
        for (int x = box.left; x < box.right; ++x) {
          const int sx = x - dx;
          const uint8_t rv = rowInside && sx >= 0 && sx < w ? rr[sx] : 0;
          differ += (rv & rc[x]) ^ ro[x];
        }
      }
      // Ties go to the smaller shift.
      if (best < 0 || differ < best ||
          (differ == best && dx * dx + dy * dy < f.shiftX * f.shiftX + f.shiftY * f.shiftY)) {
        best = differ;
        f.shiftX = dx;
        f.shiftY = dy;
      }
    }
  f.shiftAtLimit = r > 0 && (std::abs(f.shiftX) == r || std::abs(f.shiftY) == r);

  std::vector<uint8_t> refS = Shifted(ref, w, h, f.shiftX, f.shiftY);
  MaskOut(refS, counts);
  const std::vector<uint8_t> refNear = Dilated(refS, w, h, s.tolerance);
  const std::vector<uint8_t> ourNear = Dilated(our, w, h, s.tolerance);
  for (size_t i = 0; i < refS.size(); ++i) {
    f.referenceInk += refS[i];
    f.both += refS[i] & our[i];
    f.either += refS[i] | our[i];
    f.missing += refS[i] & (ourNear[i] ^ 1);
    f.extra += our[i] & (refNear[i] ^ 1);
  }
  f.spots = CountSpots(refS, ourNear, our, refNear, w, h, s.spotPixels);
  // The clear area of each picture inside the board: the box of both pictures' ink.
  const PixelBox board = InkBox(refS, our, w, h, 0);
  for (int y = board.top; y < board.bottom; ++y)
    for (int x = board.left; x < board.right; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      f.referenceClear += counts[i] & (refS[i] ^ 1);
      f.ourClear += counts[i] & (our[i] ^ 1);
    }
  return f;
}

bool ReadPgm(const std::string& path, GrayPicture& out) {
  const std::string data = ReadWhole(path);
  // P5, width, height, maxval, one white space, then the bytes; comments after '#'.
  size_t pos = 0;
  auto token = [&]() -> std::string {
    for (;;) {
      while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
      if (pos < data.size() && data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    size_t start = pos;
    while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  if (token() != "P5") return false;
  int w = 0, h = 0, maxval = 0;
  std::string tw = token(), th = token(), tm = token();
  std::from_chars(tw.data(), tw.data() + tw.size(), w);
  std::from_chars(th.data(), th.data() + th.size(), h);
  std::from_chars(tm.data(), tm.data() + tm.size(), maxval);
  if (w <= 0 || h <= 0 || maxval != 255 || pos >= data.size()) return false;
  ++pos;
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  if (data.size() - pos < n) return false;
  out.width = w;
  out.height = h;
  out.pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(pos),
                    data.begin() + static_cast<std::ptrdiff_t>(pos + n));
  return true;
}

bool WriteDifferencePng(const std::string& path, const GrayPicture& reference,
                        const GrayPicture& ours, const PixelRegion& region, const PictureFigures& f,
                        const CompareSettings& s, int scale) {
  const int w = ours.width, h = ours.height;
  if (reference.width != w || reference.height != h || w == 0) return false;
  scale = std::max(scale, 1);
  const Classified c = Classify(reference, ours, region, f, s);
  const std::vector<uint8_t> our = DarkMap(ours, region, s.darkBelow);
  const int ow = (w + scale - 1) / scale, oh = (h + scale - 1) / scale;
  std::vector<uint8_t> cls(static_cast<size_t>(ow) * oh, kWhite);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      uint8_t k = kWhite;
      if (!region.Counts(x, y))
        k = kMask;
      else if (c.refShifted[i] && !c.ourNear[i])
        k = kMissing;
      else if (our[i] && !c.refNear[i])
        k = kExtra;
      else if (c.refShifted[i] && our[i])
        k = kBoth;
      else if (c.refShifted[i] || our[i])
        k = kNear;
      uint8_t& o = cls[static_cast<size_t>(y / scale) * ow + x / scale];
      o = std::max(o, k);
    }
  static const uint8_t kRgb[][3] = {{255, 255, 255}, {255, 246, 196}, {150, 150, 150},
                                    {0, 0, 0},       {0, 90, 255},    {230, 0, 0}};
  std::string raw;
  raw.reserve(static_cast<size_t>(oh) * (1 + 3 * static_cast<size_t>(ow)));
  for (int y = 0; y < oh; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < ow; ++x) {
      const uint8_t* rgb = kRgb[cls[static_cast<size_t>(y) * ow + x]];
      raw.append(reinterpret_cast<const char*>(rgb), 3);
    }
  }
  uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
  std::string z(zlen, '\0');
  if (compress2(reinterpret_cast<Bytef*>(z.data()), &zlen,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                6) != Z_OK)
    return false;
  z.resize(zlen);

  std::string png = "\x89PNG\r\n\x1a\n";
  auto be32 = [](std::string& s, uint32_t v) {
    for (int k = 3; k >= 0; --k) s.push_back(static_cast<char>((v >> (8 * k)) & 0xff));
  };
  auto chunk = [&](const char* type, const std::string& body) {
    be32(png, static_cast<uint32_t>(body.size()));
    std::string typed = std::string(type, 4) + body;
    png += typed;
    be32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                          static_cast<uInt>(typed.size()))));
  };
  std::string ihdr;
  be32(ihdr, static_cast<uint32_t>(ow));
  be32(ihdr, static_cast<uint32_t>(oh));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, no interlace
  chunk("IHDR", ihdr);
  chunk("IDAT", z);
  chunk("IEND", {});
  std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
  outFile.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(outFile);
}

ExternalTools FindExternalTools() {
  ExternalTools t;
  t.gerbv = FindOnPath("gerbv");
  t.pdftoppm = FindOnPath("pdftoppm");
  t.pdftotext = FindOnPath("pdftotext");
  return t;
}

bool FileComparison::Pass(double bound, bool inkOnly) const {
  const PictureFigures& f = figures;
  return outcome == Outcome::Compared && f.MissingPercent() <= bound && f.ExtraPercent() <= bound &&
         (inkOnly || (f.ClearLostPercent() <= bound && f.ClearAddedPercent() <= bound));
}

namespace {

// A scratch folder removed at the end unless the caller asked to keep the files.
class Scratch {
 public:
  explicit Scratch(const std::string& keep) {
    if (!keep.empty()) {
      path_ = fs::absolute(keep);
      fs::create_directories(path_);
      keep_ = true;
      return;
    }
    std::string tmpl = (fs::temp_directory_path() / "page-compare-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    if (!keep_) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  bool keep_ = false;
};

std::string Inches(int64_t mils) {
  return Fixed(static_cast<double>(mils) / 1000.0, 3);
}

FileComparison Failure(Outcome o, std::string note) {
  FileComparison c;
  c.outcome = o;
  c.note = std::move(note);
  return c;
}

bool Rasterise(const ExternalTools& tools, const fs::path& pdf, const fs::path& stem, int dpi,
               int timeout, GrayPicture& out) {
  ProgramResult r = RunTool({tools.pdftoppm, "-r", Int(dpi), "-gray", "-singlefile", "-f", "1",
                             "-l", "1", pdf.string(), stem.string()},
                            stem.parent_path(), stem.filename().string() + "-pdftoppm", timeout);
  return r.status == 0 && ReadPgm(stem.string() + ".pgm", out);
}

// The picture made the same size as `like`: gerbv's page may round to a point more or less.
void MatchSize(GrayPicture& p, const GrayPicture& like) {
  if (p.width == like.width && p.height == like.height) return;
  GrayPicture q;
  q.width = like.width;
  q.height = like.height;
  q.pixels.assign(static_cast<size_t>(q.width) * q.height, 255);
  for (int y = 0; y < std::min(p.height, q.height); ++y)
    for (int x = 0; x < std::min(p.width, q.width); ++x)
      q.pixels[static_cast<size_t>(y) * q.width + x] = p.at(x, y);
  p = std::move(q);
}

}  // namespace

FileComparison CompareFile(const std::string& gerberFile, const FileCompareOptions& o,
                           const ExternalTools& tools) {
  if (!tools.Complete()) return Failure(Outcome::Error, "gerbv, pdftoppm or pdftotext missing");
  std::error_code ec;
  if (!fs::is_regular_file(gerberFile, ec)) return Failure(Outcome::Error, "no such file");
  try {
    Scratch scratch(o.keepFolder);
    const fs::path dir = scratch.path();
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    const fs::path ourBinary = bin / "plotvane";
    fs::copy_file(o.plotvane, ourBinary, fs::copy_options::overwrite_existing);
    {
      std::ofstream ini(bin / "Plotvane.ini", std::ios::binary | std::ios::trunc);
      ini << "[Defaults]\nActualSize=1\nSolidFill=" << (o.solidFill ? "1" : "0") << "\n";
    }
    const std::string name = fs::path(gerberFile).filename().string();
    const fs::path input = dir / name;
    fs::copy_file(gerberFile, input, fs::copy_options::overwrite_existing);
    fs::permissions(input, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);

    // Our page.
    ProgramResult ours = RunTool({ourBinary.string(), name}, dir, "plotvane", o.timeoutSeconds);
    if (ours.timedOut) return Failure(Outcome::Error, "our converter timed out");
    const std::string ext = fs::path(name).extension().string();
    const fs::path ourPdf =
        dir / (fs::path(name).stem().string() + "_" + (ext.empty() ? "" : ext.substr(1)) + ".pdf");
    if (ours.status != 0 || !fs::is_regular_file(ourPdf, ec)) {
      std::string why = TellingLine(ours.err + ours.out, "Bad RS-274-X");
      if (why.empty()) why = TellingLine(ours.err, "No page for");
      if (why.empty()) why = TellingLine(ours.err);
      if (why.empty()) why = "exit status " + Int(ours.status);
      return Failure(Outcome::OursRefused, why);
    }
    GrayPicture ourPicture;
    if (!Rasterise(tools, ourPdf, dir / "ours", o.dpi, o.timeoutSeconds, ourPicture))
      return Failure(Outcome::Error, "pdftoppm could not render our page");

    // The caption's box and the page size in points.
    ProgramResult text = RunTool({tools.pdftotext, "-bbox", "-f", "1", "-l", "1", ourPdf.string(),
                                  (dir / "caption.html").string()},
                                 dir, "pdftotext", o.timeoutSeconds);
    const TextBoxes words = ParseBboxHtml(ReadWhole(dir / "caption.html"));
    if (text.status != 0 || !(words.pageWidth > 0) || !(words.pageHeight > 0))
      return Failure(Outcome::Error, "pdftotext could not read our page");
    PixelRegion region;
    PixelBox& mask = region.mask;
    if (words.any) {
      const double px = o.dpi / 72.0;
      const int margin = 3;
      mask.left = static_cast<int>(std::floor(words.xMin * px)) - margin;
      mask.top = static_cast<int>(std::floor(words.yMin * px)) - margin;
      mask.right = static_cast<int>(std::ceil(words.xMax * px)) + margin;
      mask.bottom = static_cast<int>(std::ceil(words.yMax * px)) + margin;
    }

    // The board's extents as our reader sees them; the page centre is their centre.
    pv::TID_DrawFileFormat image;
    pv::ResetReaderTables();
    pv::ReadGerberFile(input.string(), image, pv::kDefaultGerberFormat);
    const int64_t pageW = std::llround(words.pageWidth * 1000.0 / 72.0);  // 1/1000 inch
    const int64_t pageH = std::llround(words.pageHeight * 1000.0 / 72.0);
    const double sumX = static_cast<double>(image.MaxX) + image.MinX;
    const double sumY = static_cast<double>(image.MaxY) + image.MinY;
    const int64_t originX = -static_cast<int64_t>(std::trunc(pageW / 2.0 - sumX / 2.0));
    const int64_t originY = -static_cast<int64_t>(std::trunc(pageH / 2.0 - sumY / 2.0));

    FileComparison c;
    if (image.Count > 0) {
      c.boardWidthInch = (static_cast<double>(image.MaxX) - image.MinX) / 1000.0;
      c.boardHeightInch = (static_cast<double>(image.MaxY) - image.MinY) / 1000.0;
      c.clipped = image.MinX < originX || image.MinY < originY || image.MaxX > originX + pageW ||
                  image.MaxY > originY + pageH;
      // A negative image is dark without end; gerbv darkens its whole window. What the
      // file defines is the board, so only its extents are compared.
      c.negative = ReadWhole(input).find("IPNEG") != std::string::npos;
      if (c.negative) {
        const double px = o.dpi / 1000.0;
        region.within.left = static_cast<int>(std::floor((image.MinX - originX) * px));
        region.within.right = static_cast<int>(std::ceil((image.MaxX - originX) * px));
        region.within.top = static_cast<int>(std::floor((originY + pageH - image.MaxY) * px));
        region.within.bottom = static_cast<int>(std::ceil((originY + pageH - image.MinY) * px));
      }
    }

    // The reference over the same window, from its own copy of the file.
    std::string referenceText =
        ReadWhole(o.referenceFile.empty() ? fs::path(gerberFile) : fs::path(o.referenceFile));
    const int widened = WidenZeroSizeCircles(referenceText);
    const fs::path referenceInput = dir / "reference-input" / name;
    fs::create_directories(referenceInput.parent_path());
    {
      std::ofstream f(referenceInput, std::ios::binary | std::ios::trunc);
      f << referenceText;
    }
    const fs::path refPdf = dir / "reference.pdf";
    ProgramResult ref =
        RunTool({tools.gerbv, "-x", "pdf", "-D", "72", "-B", "0", "-b", "#FFFFFF", "-f",
                 "#000000FF", "--origin=" + Inches(originX) + "x" + Inches(originY),
                 "--window_inch=" + Inches(pageW) + "x" + Inches(pageH), "-o", refPdf.string(),
                 referenceInput.string()},
                dir, "gerbv", o.timeoutSeconds);
    const std::vector<std::string> said = GerbvMessages(ref.err);
    if (ref.timedOut) return Failure(Outcome::ReferenceFailed, "gerbv timed out");
    for (const std::string& m : said)
      if (m.find("Exporting error") != std::string::npos ||
          m.find("could not read") != std::string::npos ||
          m.find("not be opened") != std::string::npos)
        return Failure(Outcome::ReferenceFailed, "gerbv: " + m);
    GrayPicture refPicture;
    if (ref.status != 0 || !fs::is_regular_file(refPdf, ec) ||
        !Rasterise(tools, refPdf, dir / "reference", o.dpi, o.timeoutSeconds, refPicture)) {
      std::string why = said.empty() ? TellingLine(ref.err) : said.front();
      return Failure(Outcome::ReferenceFailed,
                     "gerbv made no picture" + (why.empty() ? std::string() : ": " + why));
    }
    if (std::abs(refPicture.width - ourPicture.width) > 2 ||
        std::abs(refPicture.height - ourPicture.height) > 2)
      return Failure(Outcome::Error, "gerbv's page is " + Int(refPicture.width) + " x " +
                                         Int(refPicture.height) + " pixels, ours " +
                                         Int(ourPicture.width) + " x " + Int(ourPicture.height));
    MatchSize(refPicture, ourPicture);

    c.figures = ComparePictures(refPicture, ourPicture, region, o.compare);
    c.outcome = Outcome::Compared;
    c.note = ReferenceDropped(said);
    if (c.note.empty() && c.figures.referenceInk == 0 && c.figures.ourInk > 0)
      c.note = "gerbv's picture is empty";
    if (!c.note.empty()) c.outcome = Outcome::ReferenceUnreliable;
    auto remark = [&c](const std::string& text) { c.note += (c.note.empty() ? "" : "; ") + text; };
    if (widened > 0) remark("zero-size circles drawn 1/1000 inch wide in the reference");
    if (c.clipped) remark("board larger than the page: only the page compared");
    if (c.negative) remark("negative image: only the board's extents compared");
    if (c.figures.shiftAtLimit) remark("registration at the search limit");
    if (!o.differencePng.empty())
      WriteDifferencePng(o.differencePng, refPicture, ourPicture, region, c.figures, o.compare,
                         o.differenceScale);
    return c;
  } catch (const std::exception& e) {
    return Failure(Outcome::Error, e.what());
  }
}

std::string RowHeading() {
  return PadLeft("ref ink", 9) + PadLeft("our ink", 9) + PadLeft("agree", 7) +
         PadLeft("miss %", 8) + PadLeft("extra %", 8) + PadLeft("clr- %", 8) +
         PadLeft("clr+ %", 8) + PadLeft("spots", 7) + PadLeft("shift", 7) + "  " +
         PadRight("result", 15) + "file";
}

std::string FormatRow(const std::string& name, const FileComparison& c, double bound,
                      bool inkOnly) {
  std::string row;
  if (c.outcome == Outcome::Compared || c.outcome == Outcome::ReferenceUnreliable) {
    const PictureFigures& f = c.figures;
    row += PadLeft(Int(f.referenceInk), 9) + PadLeft(Int(f.ourInk), 9) +
           PadLeft(Fixed(f.Agreement(), 3), 7) + PadLeft(Fixed(f.MissingPercent(), 2), 8) +
           PadLeft(Fixed(f.ExtraPercent(), 2), 8) + PadLeft(Fixed(f.ClearLostPercent(), 2), 8) +
           PadLeft(Fixed(f.ClearAddedPercent(), 2), 8) + PadLeft(Int(f.spots), 7) +
           PadLeft(Int(f.shiftX) + "," + Int(f.shiftY), 7) + "  ";
  } else {
    row += std::string(9 + 9 + 7 + 8 + 8 + 8 + 8 + 7 + 7, ' ') + "  ";
  }
  const char* result = "ERROR";
  switch (c.outcome) {
    case Outcome::Compared:
      result = c.Pass(bound, inkOnly) ? "PASS" : "FAIL";
      break;
    case Outcome::OursRefused:
      result = "NO-PAGE";
      break;
    case Outcome::ReferenceFailed:
      result = "NO-REF";
      break;
    case Outcome::ReferenceUnreliable:
      result = "REF-UNRELIABLE";
      break;
    case Outcome::Error:
      break;
  }
  row += PadRight(result, 15) + name;
  if (!c.note.empty()) {
    std::string note = c.note;
    for (char& ch : note)
      if (ch == '\n' || ch == '\r') ch = ' ';
    row += "  (" + note + ")";
  }
  return row;
}

}  // namespace pvpc
