#pragma once
// A small INI reader: [Section] headers and key=value lines; section and key names
// compared ignoring case; blanks around names and values trimmed; ';' comment lines skipped.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pv {

class IniFile {
 public:
  // False when the file cannot be read (it then reads as empty).
  bool Load(const std::string& path);
  void Parse(std::string_view text);
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  // The value as an integer (decimal, or hexadecimal with a 0x prefix); def otherwise.
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<Entry> entries_;
};

// Decimal or 0x-prefixed hexadecimal integer text, with an optional sign; nothing else.
std::optional<long long> ParseIniInteger(std::string_view text);

}  // namespace pv
