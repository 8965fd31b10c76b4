#!/usr/bin/env python3
"""Generates platform/std_font_metrics_table.cpp: the built-in metrics of the 14 standard
PDF fonts, taken from the AFM files of Debian's fonts-urw-base35 package (metric-compatible
with the standard 14).

Regenerate with:
    apt-get install fonts-urw-base35
    python3 tools/gen_std_font_metrics.py [AFM folder] > platform/std_font_metrics_table.cpp

The build never needs the package: the generated file is committed.
"""
import os
import sys

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Standard name, AFM file, family class (1 Roman, 2 Swiss, 3 Modern, 5 Decorative), symbolic.
FONTS = [
    ("Times-Roman", "NimbusRoman-Regular", 1, False),
    ("Times-Bold", "NimbusRoman-Bold", 1, False),
    ("Times-Italic", "NimbusRoman-Italic", 1, False),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic", 1, False),
    ("Helvetica", "NimbusSans-Regular", 2, False),
    ("Helvetica-Bold", "NimbusSans-Bold", 2, False),
    ("Helvetica-Oblique", "NimbusSans-Italic", 2, False),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic", 2, False),
    ("Courier", "NimbusMonoPS-Regular", 3, False),
    ("Courier-Bold", "NimbusMonoPS-Bold", 3, False),
    ("Courier-Oblique", "NimbusMonoPS-Italic", 3, False),
    ("Courier-BoldOblique", "NimbusMonoPS-BoldItalic", 3, False),
    ("Symbol", "StandardSymbolsPS", 5, True),
    ("ZapfDingbats", "D050000L", 5, True),
]

FAMILY_NAMES = {1: "Roman", 2: "Swiss", 3: "Modern", 5: "Decorative"}

# WinAnsiEncoding glyph names for codes 128..255; alternatives separated by "|" (the first
# present in the AFM wins). Codes WinAnsi leaves unused show the bullet.
WIN_ANSI_HIGH = [
    "Euro", "bullet", "quotesinglbase", "florin", "quotedblbase", "ellipsis", "dagger",
    "daggerdbl", "circumflex", "perthousand", "Scaron", "guilsinglleft", "OE", "bullet",
    "Zcaron", "bullet", "bullet", "quoteleft", "quoteright", "quotedblleft", "quotedblright",
    "bullet", "endash", "emdash", "tilde", "trademark", "scaron", "guilsinglright", "oe",
    "bullet", "zcaron", "Ydieresis",
    "uni00A0|nbspace|space", "exclamdown", "cent", "sterling", "currency", "yen", "brokenbar",
    "section", "dieresis", "copyright", "ordfeminine", "guillemotleft", "logicalnot",
    "uni00AD|sfthyphen|hyphen", "registered", "macron", "degree", "plusminus", "twosuperior",
    "threesuperior", "acute", "mu|uni00B5", "paragraph", "periodcentered", "cedilla",
    "onesuperior", "ordmasculine", "guillemotright", "onequarter", "onehalf", "threequarters",
    "questiondown",
    "Agrave", "Aacute", "Acircumflex", "Atilde", "Adieresis", "Aring", "AE", "Ccedilla",
    "Egrave", "Eacute", "Ecircumflex", "Edieresis", "Igrave", "Iacute", "Icircumflex",
    "Idieresis", "Eth", "Ntilde", "Ograve", "Oacute", "Ocircumflex", "Otilde", "Odieresis",
    "multiply", "Oslash", "Ugrave", "Uacute", "Ucircumflex", "Udieresis", "Yacute", "Thorn",
    "germandbls",
    "agrave", "aacute", "acircumflex", "atilde", "adieresis", "aring", "ae", "ccedilla",
    "egrave", "eacute", "ecircumflex", "edieresis", "igrave", "iacute", "icircumflex",
    "idieresis", "eth", "ntilde", "ograve", "oacute", "ocircumflex", "otilde", "odieresis",
    "divide", "oslash", "ugrave", "uacute", "ucircumflex", "udieresis", "yacute", "thorn",
    "ydieresis",
]

ASCII_PUNCT = {
    32: "space", 33: "exclam", 34: "quotedbl", 35: "numbersign", 36: "dollar", 37: "percent",
    38: "ampersand", 39: "quotesingle", 40: "parenleft", 41: "parenright", 42: "asterisk",
    43: "plus", 44: "comma", 45: "hyphen", 46: "period", 47: "slash", 58: "colon",
    59: "semicolon", 60: "less", 61: "equal", 62: "greater", 63: "question", 64: "at",
    91: "bracketleft", 92: "backslash", 93: "bracketright", 94: "asciicircum",
    95: "underscore", 96: "grave", 123: "braceleft", 124: "bar", 125: "braceright",
    126: "asciitilde", 127: "bullet",
}
DIGITS = ["zero", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"]

# Frequencies of the lower-case letters and the space, per 1000, of the classic average
# character width (the one a screen reports for Latin text faces).
AVG_WEIGHTS = {
    "a": 64, "b": 14, "c": 27, "d": 35, "e": 100, "f": 20, "g": 14, "h": 42, "i": 63,
    "j": 3, "k": 6, "l": 35, "m": 20, "n": 56, "o": 56, "p": 17, "q": 4, "r": 49, "s": 56,
    "t": 71, "u": 31, "v": 10, "w": 18, "x": 3, "y": 18, "z": 2, "space": 166,
}


def win_ansi_name(code):
    if code in ASCII_PUNCT:
        return ASCII_PUNCT[code]
    if 48 <= code <= 57:
        return DIGITS[code - 48]
    if 65 <= code <= 90 or 97 <= code <= 122:
        return chr(code)
    return WIN_ANSI_HIGH[code - 128]


def parse_afm(path):
    header = {}
    by_name = {}
    by_code = {}
    in_metrics = False
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if line.startswith("StartCharMetrics"):
                in_metrics = True
                continue
            if line.startswith("EndCharMetrics"):
                in_metrics = False
                continue
            if in_metrics:
                fields = {}
                for part in line.split(";"):
                    part = part.strip().split()
                    if part:
                        fields[part[0]] = part[1:]
                code = int(fields["C"][0])
                width = int(round(float(fields["WX"][0])))
                name = fields["N"][0]
                bbox = [int(round(float(v))) for v in fields["B"]]
                glyph = (width, bbox)
                by_name.setdefault(name, glyph)
                if code >= 0:
                    by_code[code] = glyph
            else:
                key, _, value = line.partition(" ")
                header[key] = value.strip()
    return header, by_name, by_code


def font_record(std_name, afm, family, symbolic, afm_dir):
    header, by_name, by_code = parse_afm(os.path.join(afm_dir, afm + ".afm"))
    glyphs = []
    for code in range(32, 256):
        if symbolic:
            glyphs.append(by_code.get(code))
        else:
            glyph = None
            for name in win_ansi_name(code).split("|"):
                if name in by_name:
                    glyph = by_name[name]
                    break
            if glyph is None:
                sys.exit("%s: no glyph for code %d" % (afm, code))
            glyphs.append(glyph)
    widths = [g[0] if g else 0 for g in glyphs]
    present = [g for g in glyphs if g and g[1] != [0, 0, 0, 0]]
    win_ascent = max(g[1][3] for g in present)
    win_descent = -min(g[1][1] for g in present)
    bbox = [int(v) for v in header["FontBBox"].split()]
    ascender = int(float(header.get("Ascender", "0")))
    descender = int(float(header.get("Descender", "0")))
    if ascender == 0 and descender == 0:
        # These AFMs leave both at 0: take the classic definition, the top of "d" and the
        # bottom of "p"; symbol faces have neither and take their bounding box.
        if not symbolic:
            ascender = by_name["d"][1][3]
            descender = by_name["p"][1][1]
        else:
            ascender, descender = bbox[3], bbox[1]
    if symbolic:
        nonzero = [w for w in widths if w > 0]
        avg = int(round(sum(nonzero) / len(nonzero)))
    else:
        avg = int(round(sum(by_name[n][0] * w for n, w in AVG_WEIGHTS.items()) / 1000.0))
    italic = int(round(float(header["ItalicAngle"]) * 10))
    weight = 700 if header.get("Weight", "").lower() in ("bold", "demi", "demibold") else 400
    fixed = header.get("IsFixedPitch", "false").lower() == "true"
    return {
        "name": std_name, "afm": afm, "widths": widths, "ascender": ascender,
        "descender": descender, "win_ascent": win_ascent, "win_descent": win_descent,
        "bbox": bbox, "cap": int(float(header.get("CapHeight", str(bbox[3])))),
        "italic": italic, "upos": int(float(header["UnderlinePosition"])),
        "uthick": int(float(header["UnderlineThickness"])), "avg": avg,
        "max": max(widths), "weight": weight, "fixed": fixed, "symbolic": symbolic,
        "family": FAMILY_NAMES[family],
    }


def emit(records):
    out = []
    out.append("// Generated by tools/gen_std_font_metrics.py from the AFM files of fonts-urw-base35;")
    out.append("// do not edit. Metrics of the 14 standard PDF fonts in 1/1000 em.")
    out.append('#include "platform/fonts.h"')
    out.append("")
    out.append("// clang-format off")
    out.append("namespace pv::fonts {")
    out.append("")
    out.append("namespace {")
    out.append("")
    out.append("const StdFontMetrics kStandardFonts[] = {")
    for r in records:
        out.append("    // %s (%s)" % (r["name"], r["afm"]))
        out.append('    {"%s",' % r["name"])
        out.append("     {")
        for i in range(0, 224, 16):
            row = ", ".join("%d" % w for w in r["widths"][i:i + 16])
            out.append("         %s," % row)
        out.append("     },")
        out.append("     %d, %d, %d, %d, {%d, %d, %d, %d}, %d, %d, %d, %d, %d, %d, %d, %s, %s,"
                   % (r["ascender"], r["descender"], r["win_ascent"], r["win_descent"],
                      r["bbox"][0], r["bbox"][1], r["bbox"][2], r["bbox"][3], r["cap"],
                      r["italic"], r["upos"], r["uthick"], r["avg"], r["max"], r["weight"],
                      "true" if r["fixed"] else "false", "true" if r["symbolic"] else "false"))
        out.append("     FontFamily::%s}," % r["family"])
    out.append("};")
    out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("std::span<const StdFontMetrics> StandardFonts() { return kStandardFonts; }")
    out.append("")
    out.append("}  // namespace pv::fonts")
    return "\n".join(out) + "\n"


def main():
    afm_dir = sys.argv[1] if len(sys.argv) > 1 else AFM_DIR
    if not os.path.isdir(afm_dir):
        sys.exit("no AFM folder %s (apt-get install fonts-urw-base35)" % afm_dir)
    records = [font_record(n, a, fam, sym, afm_dir) for n, a, fam, sym in FONTS]
    sys.stdout.write(emit(records))


if __name__ == "__main__":
    main()
