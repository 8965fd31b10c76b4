// The Gerber reader on arbitrary bytes: a hostile file may be refused or raise the
// reader's documented overflow and range errors, never anything else, and the image it
// leaves must be consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "draw/image.h"
#include "gerber/reader.h"
#include "platform/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static pv::TID_DrawFileFormat image;  // reused like the driver's one image
  pv::ResetReaderTables();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    pv::ReadGerberBytes(bytes, image, pv::kDefaultGerberFormat);
  } catch (const pv::EIntOverflow&) {
    return 0;
  } catch (const pv::ERangeError&) {
    return 0;
  }
  // Every record counted is stored.
  if (image.Count < 0 || static_cast<size_t>(image.Count) > image.Records.size()) std::abort();
  return 0;
}
