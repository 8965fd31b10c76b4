#include "platform/ini.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace pv {

bool IniFile::Load(const std::string& path) {
  entries_.clear();
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  if (f.bad()) return false;
  Parse(ss.str());
  return true;
}

void IniFile::Parse(std::string_view text) {
  std::string section;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      if (close != std::string_view::npos) section = std::string(Trim(line.substr(1, close - 1)));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    entries_.push_back(
        {section, std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1)))});
  }
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  for (const Entry& e : entries_)
    if (EqualsIgnoreCase(e.section, section) && EqualsIgnoreCase(e.key, key)) return e.value;
  return std::nullopt;
}

std::optional<long long> ParseIniInteger(std::string_view t) {
  bool neg = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    neg = t[0] == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return std::nullopt;
  unsigned long long v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
  if (v > 0x7fffffffffffffffULL) return std::nullopt;
  long long r = static_cast<long long>(v);
  return neg ? -r : r;
}

long long IniFile::ReadInteger(std::string_view section, std::string_view key,
                               long long def) const {
  auto v = Read(section, key);
  if (!v) return def;
  auto n = ParseIniInteger(*v);
  return n ? *n : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

}  // namespace pv
