#pragma once
// Character classes of the Gerber and Excellon readers: ASCII only, whatever the locale,
// since a file's letters and digits mean the same on every machine.
namespace pv {

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

inline char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace pv
