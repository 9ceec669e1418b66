#include "terminal/Utf8.h"

#include <cstdint>

std::optional<char32_t> NextUtf8(std::string_view Text, size_t& At) {
  const auto Lead = uint8_t(Text[At]);
  const int Length =
      Lead < 0x80 ? 1 : (Lead >> 5) == 6 ? 2 : (Lead >> 4) == 14 ? 3 : (Lead >> 3) == 30 ? 4 : 0;
  char32_t C = Length == 1 ? Lead : Length == 2 ? Lead & 0x1F : Length == 3 ? Lead & 0x0F : Lead & 0x07;
  bool Valid = Length > 0 && At + size_t(Length) <= Text.size();
  for (int K = 1; Valid && K < Length; ++K) {
    const auto Next = uint8_t(Text[At + size_t(K)]);
    Valid = (Next & 0xC0) == 0x80;
    C = (C << 6) | (Next & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  constexpr char32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (Valid && (C < Least[Length] || (C >= 0xD800 && C <= 0xDFFF) || C > 0x10FFFF)) Valid = false;
  At += Valid ? size_t(Length) : 1;
  if (!Valid) return std::nullopt;
  return C;
}

std::string EscapeControls(std::string_view Text) {
  std::string Out;
  auto Escape = [&Out](std::string_view Bytes) {
    constexpr char Hex[] = "0123456789abcdef";
    for (char Byte : Bytes) {
      Out += "\\x";
      Out += Hex[uint8_t(Byte) >> 4];
      Out += Hex[uint8_t(Byte) & 15];
    }
  };
  size_t At = 0;
  while (At < Text.size()) {
    const size_t Start = At;
    const auto C = NextUtf8(Text, At);
    const std::string_view Bytes = Text.substr(Start, At - Start);
    if (!C || *C < 0x20 || (*C >= 0x7f && *C < 0xa0))
      Escape(Bytes);
    else
      Out += Bytes;
  }
  return Out;
}
