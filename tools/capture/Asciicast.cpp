#include "tools/capture/Asciicast.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the UTF-8 character that starts Data at I (2 to 4 bytes, the lead from 0x80 up),
// or 0 when the bytes there are no character: cut short, overlong, a surrogate or past U+10FFFF.
size_t Utf8Length(std::string_view Data, size_t I) {
  const auto Lead = uint8_t(Data[I]);
  size_t Length = (Lead >> 5) == 6 ? 2 : (Lead >> 4) == 14 ? 3 : (Lead >> 3) == 30 ? 4 : 0;
  if (Length == 0 || I + Length > Data.size()) return 0;
  char32_t C = Lead & (0x7F >> Length);
  for (size_t K = 1; K < Length; ++K) {
    const auto Next = uint8_t(Data[I + K]);
    if ((Next & 0xC0) != 0x80) return 0;
    C = C << 6 | (Next & 0x3F);
  }
  constexpr char32_t Least[5] = {0, 0, 0x80, 0x800, 0x10000};
  bool Character = C >= Least[Length] && C <= 0x10FFFF && (C < 0xD800 || C > 0xDFFF);
  return Character ? Length : 0;
}

}  // namespace

std::string JsonString(std::string_view Data) {
  std::string Out;
  Out.reserve(Data.size() + Data.size() / 4 + 2);
  Out += '"';
  for (size_t I = 0; I < Data.size(); ++I) {
    char Ch = Data[I];
    auto Byte = static_cast<unsigned char>(Ch);
    if (Ch == '"')
      Out += "\\\"";
    else if (Ch == '\\')
      Out += "\\\\";
    else if (Ch == '\n')
      Out += "\\n";
    else if (Ch == '\r')
      Out += "\\r";
    else if (Ch == '\t')
      Out += "\\t";
    else if (Byte < 0x20 || Byte == 0x7F) {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04x", Byte);
      Out += Escape;
    } else if (Byte >= 0x80) {
      // JSON text is UTF-8; a byte that starts no character stands for itself as U+FFFD.
      size_t Length = Utf8Length(Data, I);
      if (Length == 0) {
        Out += "\\ufffd";
      } else {
        Out += Data.substr(I, Length);
        I += Length - 1;
      }
    } else {
      Out += Ch;
    }
  }
  Out += '"';
  return Out;
}

std::string AsciicastHeader(int Width, int Height, std::string_view Title) {
  return "{\"version\": 2, \"width\": " + std::to_string(Width) +
         ", \"height\": " + std::to_string(Height) + ", \"title\": " + JsonString(Title) + "}\n";
}

std::string AsciicastOutput(std::string_view Seconds, std::string_view Data) {
  std::string Out = "[";
  Out += Seconds;
  Out += ", \"o\", ";
  Out += JsonString(Data);
  Out += "]\n";
  return Out;
}
