#include "pdf/object_writer.h"

#include <limits>

#include "pdf/syntax.h"

namespace pv {

namespace {
constexpr uint64_t kNotWritten = std::numeric_limits<uint64_t>::max();
}

TgtPdfObjectWriter::TgtPdfObjectWriter(const TgtCompression& compression, TEncryptStreamFn encrypt)
    : compression_(compression), encrypt_(std::move(encrypt)) {}

TgtPdfObjectWriter::~TgtPdfObjectWriter() = default;

// ---- Header ---------------------------------------------------------------------------------

void TgtPdfObjectWriter::WriteHeader(TgtPdfOutputStream& out) {
  out_ = &out;
  offsets_.assign(kFixedObjectCount + 1, kNotWritten);
  count_ = kFixedObjectCount;
  deferred_.clear();
  deferredOffsets_.clear();
  out_->Write("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n");
}

// ---- Objects --------------------------------------------------------------------------------

std::string TgtPdfObjectWriter::Ref(int32_t n) {
  return IntToStr(n) + " 0 R";
}

void TgtPdfObjectWriter::NoteOffset(int32_t n, uint64_t offset) {
  if (n <= 0) return;
  if (static_cast<size_t>(n) >= offsets_.size())
    offsets_.resize(static_cast<size_t>(n) + 1, kNotWritten);
  if (offsets_[static_cast<size_t>(n)] == kNotWritten) offsets_[static_cast<size_t>(n)] = offset;
}

void TgtPdfObjectWriter::AppendObjectText(std::string& out, std::string_view text, int32_t n,
                                          bool close) {
  AppendInt(out, n);
  out += " 0 obj\r\n";
  if (text.find("\r\n") != std::string_view::npos) {
    out += "<<\r\n";
    out += text;
    out += ">>";
  } else {
    out += text;
  }
  out += "\r\n";
  if (close) out += "endobj\r\n";
}

void TgtPdfObjectWriter::WriteObject(std::string_view text, int32_t n, bool close) {
  scratch_.clear();
  AppendObjectText(scratch_, text, n, close);
  NoteOffset(n, out_->Size());
  out_->Write(scratch_);
}

// ---- Streams --------------------------------------------------------------------------------

void TgtPdfObjectWriter::WriteStreamBody(std::string_view body) {
  out_->Write("stream\r\n");
  out_->Write(body);
  out_->Write("\r\nendstream\r\nendobj\r\n");
}

void TgtPdfObjectWriter::WriteStreamObject(std::string_view dict, std::string_view data, int32_t n,
                                           bool lengthOnOwnLine) {
  std::string text(dict);
  std::string body;
  int32_t lengthObject = 0;
  // Compression stage.
  if (compression_.Enabled) {
    CompressStream(data, body, compression_.Level);
    lengthObject = Allocate();
    text += "/Length\r\n" + Ref(lengthObject) + "/Filter/FlateDecode";
  } else {
    body.assign(data);
  }
  // Encryption stage (the standard security handler's RC4 keeps the length).
  encrypt_(body, n);
  if (!lengthObject) {
    text += lengthOnOwnLine ? "/Length\r\n" : "/Length ";
    AppendInt(text, static_cast<int64_t>(body.size()));
    if (!lengthOnOwnLine) text += "\r\n";
  }
  WriteObject(text, n, false);
  WriteStreamBody(body);
  if (lengthObject) WriteObject(IntToStr(static_cast<int64_t>(body.size())), lengthObject, true);
}

void TgtPdfObjectWriter::AppendStoredStream(std::string& out, std::string_view dict,
                                            std::string data, int32_t n) {
  encrypt_(data, n);
  std::string text(dict);
  text += "/Length ";
  AppendInt(text, static_cast<int64_t>(data.size()));
  text += "\r\n";
  AppendObjectText(out, text, n, false);
  out += "stream\r\n";
  out += data;
  out += "\r\nendstream\r\nendobj\r\n";
}

void TgtPdfObjectWriter::WriteStoredStreamObject(std::string_view dict, std::string data,
                                                 int32_t n) {
  std::string t;
  AppendStoredStream(t, dict, std::move(data), n);
  NoteOffset(n, out_->Size());
  out_->Write(t);
}

void TgtPdfObjectWriter::DeferStoredStreamObject(std::string_view dict, std::string data,
                                                 int32_t n) {
  deferredOffsets_.emplace_back(deferred_.size(), n);
  AppendStoredStream(deferred_, dict, std::move(data), n);
}

void TgtPdfObjectWriter::WriteDeferredObjects() {
  const uint64_t base = out_->Size();
  for (const auto& [offset, n] : deferredOffsets_) NoteOffset(n, base + offset);
  if (!deferred_.empty()) out_->Write(deferred_);
  deferred_.clear();
  deferredOffsets_.clear();
}

void TgtPdfObjectWriter::BeginContentStream(std::string& content) {
  deferred_.clear();
  deferredOffsets_.clear();
  contentEncoder_.reset();
  if (compression_.Enabled) {
    // Whole chunks go to the compressor as the page renders: the content never needs
    // more room than one chunk and the item that crosses its end.
    contentEncoder_ = std::make_unique<TgtFlateEncoder>(compression_.Level);
    content.reserve(kFlateChunkSize + kFlateChunkSize / 8);
  }
}

void TgtPdfObjectWriter::WriteContentStream(std::string& content, int32_t n, int32_t lengthObject) {
  std::string dict = "/Length " + Ref(lengthObject);
  if (compression_.Enabled) dict += "/Filter /FlateDecode";
  dict += "\r\n";
  WriteObject(dict, n, false);
  // Compression stage: the rest after the chunks the compressor already has.
  std::string body;
  if (compression_.Enabled) {
    if (contentEncoder_) {
      contentEncoder_->Finish(content, body);
      contentEncoder_.reset();
    } else {
      CompressStream(content, body, compression_.Level);
    }
  } else {
    body.swap(content);
  }
  // Encryption stage.
  encrypt_(body, n);
  WriteStreamBody(body);
  WriteObject(IntToStr(static_cast<int64_t>(body.size())), lengthObject, true);
}

// ---- Cross-reference table and trailer ------------------------------------------------------

uint64_t TgtPdfObjectWriter::WriteXRefTable() {
  const uint64_t xref = out_->Size();
  std::string t = "xref\r\n0 " + IntToStr(count_ + 1) + "\r\n0000000000 65535 f\r\n";
  for (int32_t k = 1; k <= count_; ++k) {
    const uint64_t off =
        static_cast<size_t>(k) < offsets_.size() ? offsets_[static_cast<size_t>(k)] : kNotWritten;
    if (off == kNotWritten)
      t += "0000000000 65535 f\r\n";  // never written: a free entry
    else
      AppendXRefEntry(t, off);
  }
  out_->Write(t);
  return xref;
}

void TgtPdfObjectWriter::WriteTrailer(std::string_view dict, uint64_t xrefOffset) {
  std::string t = "trailer\r\n<<\r\n";
  t += dict;
  t += "\r\n>>\r\nstartxref\r\n" + IntToStr(static_cast<int64_t>(xrefOffset)) + "\r\n%%EOF";
  out_->Write(t);
}

void TgtPdfObjectWriter::Reset() {
  contentEncoder_.reset();
  offsets_.clear();
  deferred_.clear();
  deferredOffsets_.clear();
  out_ = nullptr;
}

}  // namespace pv
