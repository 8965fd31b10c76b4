#pragma once
// The Gerber reader's entry points: one RS-274-X file into an image of draw records.
#include <string>
#include <string_view>

#include "draw/image.h"

namespace pv {

// The driver's default format statement.
inline constexpr const char* kDefaultGerberFormat = "%FSLAX35Y35*MOIN*%";

// Reads one file into the image (reset first). True = accepted: the file had a valid
// format statement and an accepted aperture definition. A file whose content is an
// Excellon drill file is read as one (gerber/excellon.h); a refused drill file raises
// EDrillRefused with the reason. Raises EInOutError when the file
// cannot be opened or read, EIntOverflow / ERangeError when a value overflows; the image
// then holds what was recorded before.
bool ReadGerberFile(const std::string& fileName, TID_DrawFileFormat& image,
                    const std::string& defaultFormat);

// The same reading over the bytes of a file already in memory (no file is opened).
bool ReadGerberBytes(std::string_view bytes, TID_DrawFileFormat& image,
                     const std::string& defaultFormat);

// Resets the process-wide aperture, D-code and macro tables; called before every file.
void ResetReaderTables();

}  // namespace pv
