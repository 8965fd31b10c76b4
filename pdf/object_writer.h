#pragma once
// The PDF file structure under the page engine: the header, numbered objects and their
// offsets, stream objects, the cross-reference table and the trailer. A stream's data passes
// the compression stage (deflated when compression is on), then the encryption stage (the
// object's key), then is written with its length.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/compress.h"
#include "pdf/output.h"

namespace pv {

// Objects every document has at fixed numbers: pages refer to them long before the end of
// the document, where all but the catalog are written.
inline constexpr int32_t kCatalogObject = 1;
inline constexpr int32_t kPagesObject = 2;
inline constexpr int32_t kInfoObject = 3;
inline constexpr int32_t kProcSetObject = 4;
inline constexpr int32_t kResourcesObject = 5;
inline constexpr int32_t kFixedObjectCount = 5;

class TgtPdfObjectWriter {
 public:
  // The encryption stage of a stream for its object; the identity when the document is not
  // encrypted.
  using TEncryptStreamFn = std::function<void(std::string& data, int32_t objectNumber)>;

  // compression is read at every stream, so a change between streams applies to the next.
  TgtPdfObjectWriter(const TgtCompression& compression, TEncryptStreamFn encrypt);
  ~TgtPdfObjectWriter();

  // ---- Header ----------------------------------------------------------------------------
  // Starts a document on out: the header line and its binary comment, the fixed objects
  // reserved, no offsets yet.
  void WriteHeader(TgtPdfOutputStream& out);

  // ---- Objects ---------------------------------------------------------------------------
  int32_t Allocate() { return ++count_; }
  int32_t Count() const { return count_; }
  static std::string Ref(int32_t n);
  // "n 0 obj", the text (a dictionary's entries, wrapped in << >>, when it has a line
  // break), and "endobj" when close is set. The first write of a number gives its offset.
  void WriteObject(std::string_view text, int32_t n, bool close);

  // ---- Streams ---------------------------------------------------------------------------
  // A complete stream object from raw data: dictionary text (without Length), data
  // compressed when compression is on (its length then a separate object), encrypted.
  // lengthOnOwnLine puts a direct length after a line break too, as font files have it.
  void WriteStreamObject(std::string_view dict, std::string_view data, int32_t n,
                         bool lengthOnOwnLine = false);
  // A stream whose data is stored as it is (already compressed, or a DCT picture):
  // encrypted, then written with a direct length.
  void WriteStoredStreamObject(std::string_view dict, std::string data, int32_t n);
  // The same, held back until WriteDeferredObjects: the page's pictures follow its content
  // stream.
  void DeferStoredStreamObject(std::string_view dict, std::string data, int32_t n);
  void WriteDeferredObjects();

  // The page's content stream, compressed chunk by chunk while the page is rendered.
  // Begin drops whatever an unfinished page left deferred.
  void BeginContentStream(std::string& content);
  // Hands whole chunks of content to the compressor.
  void ContentWritten(std::string& content) {
    if (contentEncoder_ && content.size() >= kFlateChunkSize) contentEncoder_->Consume(content);
  }
  // The content stream object with its indirect length, then the length object. content
  // is used up.
  void WriteContentStream(std::string& content, int32_t n, int32_t lengthObject);

  // ---- Cross-reference table and trailer -------------------------------------------------
  // Returns the table's offset; objects never written are free entries.
  uint64_t WriteXRefTable();
  void WriteTrailer(std::string_view dict, uint64_t xrefOffset);

  // Forgets the document (offsets, deferred objects, the content compressor).
  void Reset();

 private:
  void AppendObjectText(std::string& out, std::string_view text, int32_t n, bool close);
  void AppendStoredStream(std::string& out, std::string_view dict, std::string data, int32_t n);
  void NoteOffset(int32_t n, uint64_t offset);
  void WriteStreamBody(std::string_view body);

  const TgtCompression& compression_;
  TEncryptStreamFn encrypt_;
  TgtPdfOutputStream* out_ = nullptr;
  int32_t count_ = 0;
  std::vector<uint64_t> offsets_;  // by object number; kNotWritten when not written
  std::string scratch_;
  std::unique_ptr<TgtFlateEncoder> contentEncoder_;
  std::string deferred_;
  std::vector<std::pair<uint64_t, int32_t>> deferredOffsets_;  // from the start of deferred_
};

}  // namespace pv
