#pragma once
// Picture comparison of our page with a reference rendering of the same Gerber file.
//
// Our page is made at actual size (the board's extents centre is the page centre), rasterised
// with pdftoppm; the reference is gerbv's PDF export over exactly the page's window of board
// coordinates, rasterised by the same pdftoppm at the same resolution. The caption is masked in
// both, the reference is registered within a few pixels, and the dark pixels are compared with
// a tolerance for rasterisation noise.
#include <cstdint>
#include <string>
#include <vector>

namespace pvpc {

struct GrayPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // row by row, 0 black .. 255 white
  uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A rectangle of pixels, right and bottom exclusive; empty when right <= left.
struct PixelBox {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

struct PictureFigures {
  int64_t referenceInk = 0;  // dark pixels of the reference, outside the mask
  int64_t ourInk = 0;
  int64_t both = 0;     // dark in both (after registration)
  int64_t either = 0;   // dark in one or both
  int64_t missing = 0;  // reference dark, none of ours within the tolerance
  int64_t extra = 0;    // ours dark, no reference dark within the tolerance
  // Pixels not dark inside the box of both pictures' ink (the board): clearances, gaps and
  // the space between tracks. On a plane they are few, and a filled clearance is a small
  // share of the ink but a large share of them.
  int64_t referenceClear = 0;
  int64_t ourClear = 0;
  int64_t spots = 0;           // groups of missing or extra pixels of at least spotPixels
  int shiftX = 0, shiftY = 0;  // the reference moved by this many pixels to match ours
  bool shiftAtLimit = false;   // the best shift is on the edge of the search: suspect
  double Agreement() const;
  double MissingPercent() const;     // of the reference's ink
  double ExtraPercent() const;       // of our ink
  double ClearLostPercent() const;   // extra, of the reference's clear board area
  double ClearAddedPercent() const;  // missing, of our clear board area
};

struct CompareSettings {
  int searchRadius = 2;  // registration: shifts of up to this many pixels each way
  int tolerance = 2;     // pixels of rasterisation noise (Euclidean distance)
  uint8_t darkBelow = 128;
  int spotPixels = 12;  // a group this large is a thing, not noise (a hole of 4 pixels across)
};

// The pixels that count: all but the mask (the caption), and only those inside `within`
// when it is not empty.
struct PixelRegion {
  PixelBox mask;
  PixelBox within;
  bool Counts(int x, int y) const {
    if (x >= mask.left && x < mask.right && y >= mask.top && y < mask.bottom) return false;
    return within.empty() ||
           (x >= within.left && x < within.right && y >= within.top && y < within.bottom);
  }
};

// Compares two pictures of the same size over the region.
PictureFigures ComparePictures(const GrayPicture& reference, const GrayPicture& ours,
                               const PixelRegion& region, const CompareSettings& settings);

// A colour picture of the comparison: black dark in both, grey within the tolerance, red
// missing, blue extra, pale yellow the mask. `scale` > 1 shrinks it, keeping the most telling
// class of each block (missing, extra, ink).
bool WriteDifferencePng(const std::string& path, const GrayPicture& reference,
                        const GrayPicture& ours, const PixelRegion& region, const PictureFigures& f,
                        const CompareSettings& settings, int scale);

bool ReadPgm(const std::string& path, GrayPicture& out);

enum class Outcome {
  Compared,
  OursRefused,          // our converter made no page of the file
  ReferenceFailed,      // gerbv made no picture
  ReferenceUnreliable,  // gerbv made a picture but said it dropped part of the file
  Error,                // a tool is missing or failed
};

struct FileComparison {
  Outcome outcome = Outcome::Error;
  std::string note;  // why, for every outcome but Compared; remarks for Compared
  PictureFigures figures;
  bool clipped = false;   // the board is larger than the page: only the page is compared
  bool negative = false;  // %IPNEG: only the board's extents are compared
  double boardWidthInch = 0, boardHeightInch = 0;
  // Missing and extra within the bound in percent of each picture's ink and, unless inkOnly,
  // of each picture's clear board area.
  bool Pass(double boundPercent, bool inkOnly = false) const;
};

struct FileCompareOptions {
  std::string plotvane;   // our binary
  bool solidFill = true;  // SolidFill=1 (else the hatched look)
  int dpi = 200;
  int timeoutSeconds = 300;   // per external program
  std::string differencePng;  // written when not empty
  int differenceScale = 1;
  std::string keepFolder;  // when not empty, the intermediate files are kept there
  // When not empty, gerbv draws this file instead: the same board written without what
  // gerbv cannot draw (an aperture block written out flash by flash).
  std::string referenceFile;
  CompareSettings compare;
};

// The tools the comparison needs, found on PATH; empty when absent.
struct ExternalTools {
  std::string gerbv, pdftoppm, pdftotext;
  bool Complete() const { return !gerbv.empty() && !pdftoppm.empty() && !pdftotext.empty(); }
};
ExternalTools FindExternalTools();

FileComparison CompareFile(const std::string& gerberFile, const FileCompareOptions& options,
                           const ExternalTools& tools);

// One row of the table and its heading.
std::string RowHeading();
std::string FormatRow(const std::string& name, const FileComparison& c, double boundPercent,
                      bool inkOnly = false);

}  // namespace pvpc
