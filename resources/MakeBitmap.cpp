// Build step: turns a text picture (one character per pixel) into a 24-bit bottom-up bitmap file
// and into a C++ source holding the bitmap without its 14-byte file header, the form a bitmap
// resource takes inside an executable.
//
// Usage: vorlek_make_bitmap picture.txt out.bmp out.cpp SymbolName
// Picture lines starting with "//" are comments. '.' red, '#' black, 'o' near-white.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TColor {
  uint8_t R, G, B;
};

bool ColorOf(char C, TColor& Color) {
  switch (C) {
    case '.':
      Color = {255, 0, 0};
      return true;
    case '#':
      Color = {0, 0, 0};
      return true;
    case 'o':
      Color = {254, 254, 254};
      return true;
    default:
      return false;
  }
}

void Put16(std::vector<uint8_t>& Out, uint32_t V) {
  Out.push_back(uint8_t(V));
  Out.push_back(uint8_t(V >> 8));
}

void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}

int Fail(const std::string& Message) {
  std::cerr << "vorlek_make_bitmap: " << Message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Fail("usage: picture.txt out.bmp out.cpp SymbolName");
  std::ifstream In(argv[1]);
  if (!In) return Fail(std::string("cannot read ") + argv[1]);

  std::vector<std::string> Rows;
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.rfind("//", 0) == 0) continue;
    Rows.push_back(Line);
  }
  while (!Rows.empty() && Rows.back().empty()) Rows.pop_back();
  if (Rows.empty() || Rows[0].empty()) return Fail("empty picture");
  const size_t Width = Rows[0].size();
  const size_t Height = Rows.size();
  // The loader reads rows unpadded, so only widths whose rows need no padding are accepted.
  if (Width * 3 % 4 != 0) return Fail("width * 3 must be a multiple of 4");

  std::vector<uint8_t> Info;  // the 40-byte information header, then the pixels
  const uint32_t ImageSize = uint32_t(Width * Height * 3);
  Put32(Info, 40);
  Put32(Info, uint32_t(Width));
  Put32(Info, uint32_t(Height));  // positive: bottom-up rows
  Put16(Info, 1);                 // planes
  Put16(Info, 24);                // bits per pixel
  Put32(Info, 0);                 // no compression
  Put32(Info, ImageSize);
  Put32(Info, 0);
  Put32(Info, 0);
  Put32(Info, 0);  // no colour table
  Put32(Info, 0);
  for (size_t I = 0; I < Height; ++I) {
    const std::string& Row = Rows[Height - 1 - I];
    if (Row.size() != Width)
      return Fail("row " + std::to_string(Height - I) + " is not " + std::to_string(Width) +
                  " wide");
    for (char C : Row) {
      TColor Color;
      if (!ColorOf(C, Color))
        return Fail("unknown pixel '" + std::string(1, C) + "' in row " +
                    std::to_string(Height - I));
      Info.push_back(Color.B);
      Info.push_back(Color.G);
      Info.push_back(Color.R);
    }
  }

  std::vector<uint8_t> File = {'B', 'M'};
  Put32(File, uint32_t(14 + Info.size()));
  Put32(File, 0);
  Put32(File, 14 + 40);
  File.insert(File.end(), Info.begin(), Info.end());
  std::ofstream Bmp(argv[2], std::ios::binary);
  Bmp.write(reinterpret_cast<const char*>(File.data()), std::streamsize(File.size()));
  if (!Bmp) return Fail(std::string("cannot write ") + argv[2]);

  std::ofstream Cpp(argv[3]);
  const std::string Symbol = argv[4];
  Cpp << "// Generated from " << argv[1] << " by vorlek_make_bitmap; edit the picture, not this.\n"
      << "#include <cstddef>\n#include <cstdint>\n\n"
      << "extern const uint8_t " << Symbol << "[] = {";
  for (size_t I = 0; I < Info.size(); ++I)
    Cpp << (I % 20 == 0 ? "\n   " : "") << ' ' << int(Info[I]) << ',';
  Cpp << "\n};\nextern const size_t " << Symbol << "Size = sizeof(" << Symbol << ");\n";
  if (!Cpp) return Fail(std::string("cannot write ") + argv[3]);
  return 0;
}
