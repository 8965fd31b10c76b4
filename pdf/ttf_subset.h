#pragma once
// A TrueType subset font for embedding: the glyphs a document uses, with their glyph
// numbers kept, so that the page text's glyph codes stay valid.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pv {

// TrueType font data that is damaged or not a single glyf-outline font.
struct ETrueTypeFontError : std::runtime_error {
  explicit ETrueTypeFontError(const std::string& what) : std::runtime_error(what) {}
};

// Builds a font file from a TrueType (glyf) font file holding the tables cmap, cvt, fpgm,
// glyf, head, hhea, hmtx, loca, maxp and prep of the original (those present; glyf, head,
// loca and maxp are required). Every glyph keeps its number: the glyphs listed (and glyph
// 0, and the components of composite glyphs) keep their outlines, all others are empty.
// Glyph numbers beyond the font's glyph count are ignored. Tables are 4-byte aligned with
// checksums of big-endian words, and head.checkSumAdjustment is set for the new file.
// Raises ETrueTypeFontError for damaged or unsuitable data.
std::vector<uint8_t> BuildTrueTypeSubset(std::span<const uint8_t> font,
                                         std::span<const uint16_t> glyphs);

// The TrueType checksum: the 32-bit sum of big-endian words, the last one zero-padded.
uint32_t TrueTypeChecksum(std::span<const uint8_t> data);

}  // namespace pv
