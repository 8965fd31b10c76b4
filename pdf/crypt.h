#pragma once
// Document encryption with the standard security handler of PDF 1.4: our own MD5 and RC4,
// the encryption settings an engine publishes, and the handler that derives the keys and
// encrypts strings and streams object by object.
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

// ---- MD5 (RFC 1321) ----

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5 {
 public:
  TMD5();
  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest; the object starts over afterwards.
  TMD5Digest Final();

 private:
  void Transform(const uint8_t* block);
  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes hashed so far
  uint8_t buffer_[64];
  size_t buffered_ = 0;
};

TMD5Digest MD5(std::string_view bytes);

// ---- RC4 ----

class TRC4 {
 public:
  // A key of 1 to 256 bytes; a longer key uses its first 256 bytes, an empty key raises
  // ERangeError.
  TRC4(const uint8_t* key, size_t keySize);
  explicit TRC4(std::string_view key)
      : TRC4(reinterpret_cast<const uint8_t*>(key.data()), key.size()) {}
  // XORs the key stream into data (encryption and decryption are the same).
  void Apply(uint8_t* data, size_t size);
  void Apply(std::string& data) { Apply(reinterpret_cast<uint8_t*>(data.data()), data.size()); }

 private:
  uint8_t s_[256];
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

// ---- Settings ----

enum class TgtPDFEncryptionLevel : uint8_t { el40bit, el128bit };

enum class TgtUserPermission : uint8_t {
  AllowCopy,
  AllowModify,
  AllowPrint,
  AllowAnnotation,
  AllowFormFill,
  AllowAccessibility,
  AllowDocAssembly,
  AllowHighResPrint
};

// A set of TgtUserPermission values.
class TgtUserPermissions {
 public:
  constexpr TgtUserPermissions() = default;
  static constexpr TgtUserPermissions All() { return TgtUserPermissions(0xFF); }
  static constexpr TgtUserPermissions None() { return TgtUserPermissions(0); }
  constexpr bool Contains(TgtUserPermission p) const { return (bits_ & Bit(p)) != 0; }
  constexpr TgtUserPermissions& Include(TgtUserPermission p) {
    bits_ = static_cast<uint8_t>(bits_ | Bit(p));
    return *this;
  }
  constexpr TgtUserPermissions& Exclude(TgtUserPermission p) {
    bits_ = static_cast<uint8_t>(bits_ & ~Bit(p));
    return *this;
  }
  friend constexpr bool operator==(TgtUserPermissions, TgtUserPermissions) = default;

 private:
  explicit constexpr TgtUserPermissions(uint8_t bits) : bits_(bits) {}
  static constexpr uint8_t Bit(TgtUserPermission p) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(p));
  }
  uint8_t bits_ = 0;
};

// Raised by every setter of locked encryption settings.
struct EEncryptionSettingsError : std::runtime_error {
  EEncryptionSettingsError() : std::runtime_error("User cannot change encryption settings") {}
};

// The document's encryption settings. Passwords are taken as bytes, as a viewer compares
// them. While the lock flag is on, every setter raises EEncryptionSettingsError and the
// owner password reads as empty (the handler still encrypts with the real one).
class TgtPDFEncryptionSettings {
 public:
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  TgtPDFEncryptionLevel Level() const { return level_; }
  void SetLevel(TgtPDFEncryptionLevel v);
  std::string OwnerPassword() const { return locked_ ? std::string() : ownerPassword_; }
  void SetOwnerPassword(std::string v);
  const std::string& UserPassword() const { return userPassword_; }
  void SetUserPassword(std::string v);
  TgtUserPermissions UserPermissions() const { return permissions_; }
  void SetUserPermissions(TgtUserPermissions v);
  // Takes all values of other (a setter too: raises while locked).
  void Assign(const TgtPDFEncryptionSettings& other);

  bool Locked() const { return locked_; }
  void SetLocked(bool v) { locked_ = v; }

 private:
  friend class TgtPDFEncryption;
  void CheckUnlocked() const;

  bool enabled_ = false;
  TgtPDFEncryptionLevel level_ = TgtPDFEncryptionLevel::el128bit;
  std::string ownerPassword_;
  std::string userPassword_;
  TgtUserPermissions permissions_ = TgtUserPermissions::All();
  bool locked_ = false;
};

// The /P value: -64 (40-bit) or -3904 (128-bit), +4 print, +8 modify, +16 copy,
// +32 annotate; 128-bit only: +256 form fill, +512 accessibility, +1024 assembly, +2048
// high-resolution print when printing is allowed too.
int32_t PermissionsValue(TgtPDFEncryptionLevel level, TgtUserPermissions permissions);

// ---- Standard security handler ----

class TgtPDFEncryption {
 public:
  // fileName and fileExtension are the output file's name without extension and its
  // extension without the dot; joined they and documentDate make the file identifier.
  TgtPDFEncryption(std::string_view fileName, std::string_view fileExtension,
                   const TgtPDFEncryptionSettings& settings, std::string_view documentDate);

  TgtPDFEncryptionLevel Level() const { return level_; }
  // Both /ID entries: MD5 of the joined file name followed by the document date.
  const TMD5Digest& FileID() const { return fileId_; }
  std::string FileIDBytes() const;
  const std::array<uint8_t, 32>& OwnerValue() const { return o_; }
  const std::array<uint8_t, 32>& UserValue() const { return u_; }
  // The file key: 5 bytes (40-bit) or 16 bytes (128-bit).
  std::string_view Key() const;
  int32_t Permissions() const { return permissions_; }

  // MD5 of the file key, the object number's three low bytes and two generation bytes (0),
  // cut to key length + 5, at most 16 bytes.
  std::string ObjectKey(int32_t objectNumber) const;

  void EncryptStream(std::string& data, int32_t objectNumber) const;
  void EncryptStream(std::vector<uint8_t>& data, int32_t objectNumber) const;
  std::string EncryptString(std::string_view bytes, int32_t objectNumber) const;

  // The body of the /Encrypt dictionary, ending in CR LF.
  std::string EncryptDictText() const;

 private:
  TgtPDFEncryptionLevel level_;
  size_t keySize_;
  std::array<uint8_t, 16> key_{};
  TMD5Digest fileId_{};
  std::array<uint8_t, 32> o_{};
  std::array<uint8_t, 32> u_{};
  int32_t permissions_;
};

}  // namespace pv
