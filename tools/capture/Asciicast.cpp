#include "tools/capture/Asciicast.h"

#include <cstdio>

std::string JsonString(std::string_view Data) {
  std::string Out;
  Out.reserve(Data.size() + Data.size() / 4 + 2);
  Out += '"';
  for (char Ch : Data) {
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
