#include "pdf/crypt.h"

#include <algorithm>
#include <cstring>

#include "pdf/syntax.h"
#include "platform/errors.h"

namespace pv {

// ---- MD5 ----

namespace {

constexpr uint32_t kMD5Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kMD5Shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

TMD5::TMD5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void TMD5::Transform(const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLE32(block + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) & 15;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) & 15;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) & 15;
    }
    const uint32_t next = b + RotateLeft(a + f + kMD5Sines[i] + m[g], kMD5Shifts[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMD5::Update(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  length_ += size;
  if (buffered_ != 0) {
    const size_t take = std::min(size, 64 - buffered_);
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    size -= take;
    if (buffered_ < 64) return;
    Transform(buffer_);
    buffered_ = 0;
  }
  while (size >= 64) {
    Transform(p);
    p += 64;
    size -= 64;
  }
  if (size != 0) std::memcpy(buffer_, p, size);
  buffered_ = size;
}

TMD5Digest TMD5::Final() {
  const uint64_t bits = length_ * 8;
  uint8_t pad[72] = {0x80};
  const size_t padSize = buffered_ < 56 ? 56 - buffered_ : 120 - buffered_;
  for (int i = 0; i < 8; ++i) pad[padSize + i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(pad, padSize + 8);
  TMD5Digest digest;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
  *this = TMD5();
  return digest;
}

TMD5Digest MD5(std::string_view bytes) {
  TMD5 h;
  h.Update(bytes);
  return h.Final();
}

// ---- RC4 ----

TRC4::TRC4(const uint8_t* key, size_t keySize) {
  if (keySize == 0) throw ERangeError("RC4 key is empty");
  keySize = std::min<size_t>(keySize, 256);
  for (int i = 0; i < 256; ++i) s_[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s_[i] + key[i % keySize]);
    std::swap(s_[i], s_[j]);
  }
}

void TRC4::Apply(uint8_t* data, size_t size) {
  uint8_t i = i_, j = j_;
  for (size_t n = 0; n < size; ++n) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + s_[i]);
    std::swap(s_[i], s_[j]);
    data[n] ^= s_[static_cast<uint8_t>(s_[i] + s_[j])];
  }
  i_ = i;
  j_ = j;
}

// ---- Settings ----

void TgtPDFEncryptionSettings::CheckUnlocked() const {
  if (locked_) throw EEncryptionSettingsError();
}

void TgtPDFEncryptionSettings::SetEnabled(bool v) {
  CheckUnlocked();
  enabled_ = v;
}

void TgtPDFEncryptionSettings::SetLevel(TgtPDFEncryptionLevel v) {
  CheckUnlocked();
  level_ = v;
}

void TgtPDFEncryptionSettings::SetOwnerPassword(std::string v) {
  CheckUnlocked();
  ownerPassword_ = std::move(v);
}

void TgtPDFEncryptionSettings::SetUserPassword(std::string v) {
  CheckUnlocked();
  userPassword_ = std::move(v);
}

void TgtPDFEncryptionSettings::SetUserPermissions(TgtUserPermissions v) {
  CheckUnlocked();
  permissions_ = v;
}

void TgtPDFEncryptionSettings::Assign(const TgtPDFEncryptionSettings& other) {
  CheckUnlocked();
  enabled_ = other.enabled_;
  level_ = other.level_;
  ownerPassword_ = other.ownerPassword_;
  userPassword_ = other.userPassword_;
  permissions_ = other.permissions_;
}

int32_t PermissionsValue(TgtPDFEncryptionLevel level, TgtUserPermissions p) {
  using P = TgtUserPermission;
  const bool strong = level == TgtPDFEncryptionLevel::el128bit;
  int32_t v = strong ? -3904 : -64;
  if (p.Contains(P::AllowPrint)) v += 4;
  if (p.Contains(P::AllowModify)) v += 8;
  if (p.Contains(P::AllowCopy)) v += 16;
  if (p.Contains(P::AllowAnnotation)) v += 32;
  if (strong) {
    if (p.Contains(P::AllowFormFill)) v += 256;
    if (p.Contains(P::AllowAccessibility)) v += 512;
    if (p.Contains(P::AllowDocAssembly)) v += 1024;
    if (p.Contains(P::AllowHighResPrint) && p.Contains(P::AllowPrint)) v += 2048;
  }
  return v;
}

// ---- Standard security handler ----

namespace {

constexpr uint8_t kPasswordPadding[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

// A password cut or padded to 32 bytes with the standard padding string.
std::array<uint8_t, 32> PadPassword(std::string_view password) {
  std::array<uint8_t, 32> out;
  const size_t n = std::min<size_t>(password.size(), 32);
  std::memcpy(out.data(), password.data(), n);
  std::memcpy(out.data() + n, kPasswordPadding, 32 - n);
  return out;
}

// RC4 with the key, then (revision 3) 19 more passes with each key byte XORed with the
// pass number.
void RC4Passes(const uint8_t* key, size_t keySize, bool revision3, uint8_t* data, size_t size) {
  TRC4(key, keySize).Apply(data, size);
  if (!revision3) return;
  uint8_t k[16];
  for (uint8_t pass = 1; pass <= 19; ++pass) {
    for (size_t i = 0; i < keySize; ++i) k[i] = static_cast<uint8_t>(key[i] ^ pass);
    TRC4(k, keySize).Apply(data, size);
  }
}

}  // namespace

TgtPDFEncryption::TgtPDFEncryption(std::string_view fileName, std::string_view fileExtension,
                                   const TgtPDFEncryptionSettings& settings,
                                   std::string_view documentDate)
    : level_(settings.level_),
      keySize_(settings.level_ == TgtPDFEncryptionLevel::el128bit ? 16 : 5),
      permissions_(PermissionsValue(settings.level_, settings.permissions_)) {
  const bool r3 = level_ == TgtPDFEncryptionLevel::el128bit;

  TMD5 h;
  h.Update(fileName);
  h.Update(fileExtension);
  h.Update(documentDate);
  fileId_ = h.Final();

  const std::string& user = settings.userPassword_;
  const std::string& owner =
      settings.ownerPassword_.empty() ? settings.userPassword_ : settings.ownerPassword_;
  const std::array<uint8_t, 32> userPadded = PadPassword(user);

  // O: the padded user password under a key made from the owner password.
  {
    const std::array<uint8_t, 32> ownerPadded = PadPassword(owner);
    TMD5Digest d = MD5(std::string_view(reinterpret_cast<const char*>(ownerPadded.data()), 32));
    if (r3)
      for (int i = 0; i < 50; ++i)
        d = MD5(std::string_view(reinterpret_cast<const char*>(d.data()), 16));
    o_ = userPadded;
    RC4Passes(d.data(), keySize_, r3, o_.data(), o_.size());
  }

  // The file key: padded user password, O, P (low byte first) and the first identifier.
  {
    h.Update(userPadded.data(), userPadded.size());
    h.Update(o_.data(), o_.size());
    const auto p = static_cast<uint32_t>(permissions_);
    const uint8_t pBytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                               static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
    h.Update(pBytes, 4);
    h.Update(fileId_.data(), fileId_.size());
    TMD5Digest d = h.Final();
    if (r3)
      for (int i = 0; i < 50; ++i)
        d = MD5(std::string_view(reinterpret_cast<const char*>(d.data()), keySize_));
    std::memcpy(key_.data(), d.data(), keySize_);
  }

  // U: the padding string under the file key (revision 2), or the digest of the padding
  // and the identifier under 20 passes, followed by 16 zero bytes (revision 3).
  if (!r3) {
    std::memcpy(u_.data(), kPasswordPadding, 32);
    RC4Passes(key_.data(), keySize_, false, u_.data(), 32);
  } else {
    h.Update(kPasswordPadding, 32);
    h.Update(fileId_.data(), fileId_.size());
    const TMD5Digest d = h.Final();
    std::memcpy(u_.data(), d.data(), 16);
    RC4Passes(key_.data(), keySize_, true, u_.data(), 16);
  }
}

std::string TgtPDFEncryption::FileIDBytes() const {
  return std::string(reinterpret_cast<const char*>(fileId_.data()), fileId_.size());
}

std::string_view TgtPDFEncryption::Key() const {
  return std::string_view(reinterpret_cast<const char*>(key_.data()), keySize_);
}

std::string TgtPDFEncryption::ObjectKey(int32_t objectNumber) const {
  const auto n = static_cast<uint32_t>(objectNumber);
  uint8_t extra[5] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                      static_cast<uint8_t>(n >> 16), 0, 0};
  TMD5 h;
  h.Update(key_.data(), keySize_);
  h.Update(extra, 5);
  const TMD5Digest d = h.Final();
  return std::string(reinterpret_cast<const char*>(d.data()), std::min<size_t>(keySize_ + 5, 16));
}

void TgtPDFEncryption::EncryptStream(std::string& data, int32_t objectNumber) const {
  TRC4(ObjectKey(objectNumber)).Apply(data);
}

void TgtPDFEncryption::EncryptStream(std::vector<uint8_t>& data, int32_t objectNumber) const {
  TRC4(ObjectKey(objectNumber)).Apply(data.data(), data.size());
}

std::string TgtPDFEncryption::EncryptString(std::string_view bytes, int32_t objectNumber) const {
  std::string s(bytes);
  EncryptStream(s, objectNumber);
  return s;
}

std::string TgtPDFEncryption::EncryptDictText() const {
  const bool r3 = level_ == TgtPDFEncryptionLevel::el128bit;
  std::string s = r3 ? "/V 2/R 3" : "/V 1/R 2";
  s += "/P ";
  AppendInt(s, permissions_);
  if (r3) s += "/Length 128";
  s += "/Filter/Standard";
  s += "/O <";
  AppendHex(s, std::string_view(reinterpret_cast<const char*>(o_.data()), o_.size()));
  s += ">/U <";
  AppendHex(s, std::string_view(reinterpret_cast<const char*>(u_.data()), u_.size()));
  s += ">\r\n";
  return s;
}

}  // namespace pv
