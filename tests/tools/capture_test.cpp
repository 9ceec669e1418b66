#include "tools/capture/Capture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "console/ColorMappers.h"
#include "terminal/Cp437.h"
#include "tools/capture/Asciicast.h"
#include "tools/capture/CaptureOptions.h"
#include "tools/capture/CellPicture.h"
#include "tools/capture/PsfFont.h"

namespace {

std::optional<TCaptureOptions> Parse(std::vector<std::string> Args) {
  std::string Error;
  return ParseCaptureArgs(Args, Error);
}

TEST(CaptureOptionsTest, ReadsEveryOption) {
  auto Options = Parse({"--step",     "4",           "--music",
                        "x.ogg",      "--keys",      "3000:right,250:left,4000:esc",
                        "--keys",     "10:right",    "--cells-at",
                        "900",        "--cells-at",  "5500",
                        "--cells-at", "900",         "--png-at",
                        "7",          "--out",       "pics",
                        "--frames",   "all",         "--cast",
                        "c.cast",     "--truecolor", "--benchmark",
                        "--until",    "0",           "--video",
                        "v.mp4",      "--scale",     "3"});
  ASSERT_TRUE(Options);
  EXPECT_EQ(Options->StepMs, 4);
  EXPECT_EQ(Options->MusicFile, "x.ogg");
  EXPECT_TRUE(Options->MusicGiven);
  EXPECT_TRUE(Parse({"--silent"})->Silent);
  EXPECT_TRUE(Parse({"--paced"})->Paced);
  EXPECT_FALSE(Options->Paced);
  ASSERT_EQ(Options->Keys.size(), 4u);
  EXPECT_EQ(Options->Keys[0].Ms, 3000);
  EXPECT_EQ(Options->Keys[0].Key, TKey::Right);
  EXPECT_EQ(Options->Keys[1].Key, TKey::Left);
  EXPECT_EQ(Options->Keys[2].Key, TKey::Escape);
  EXPECT_EQ(Options->Keys[3].Ms, 10);
  EXPECT_EQ(Options->CellsAt, (std::vector<int64_t>{900, 5500}));
  EXPECT_EQ(Options->PngAt, (std::vector<int64_t>{7}));
  EXPECT_EQ(Options->OutDir, "pics");
  EXPECT_EQ(Options->FramesDir, "all");
  EXPECT_EQ(Options->CastFile, "c.cast");
  EXPECT_TRUE(Options->TrueColor);
  EXPECT_TRUE(Options->Benchmark);
  EXPECT_EQ(Options->UntilMs, 0);
  EXPECT_EQ(Options->VideoFile, "v.mp4");
  EXPECT_EQ(Options->VideoScale, 3);
  // Help and version stop the reading: what follows does not matter.
  EXPECT_TRUE(Parse({"--step", "4", "-h", "--bad"})->Help);
  EXPECT_TRUE(Parse({"--version", "--bad"})->Version);
  auto Json = Parse({"--benchmark-json", "b.json"});
  ASSERT_TRUE(Json);
  EXPECT_TRUE(Json->Benchmark);
  EXPECT_EQ(Json->BenchmarkJson, "b.json");

  auto Defaults = Parse({});
  ASSERT_TRUE(Defaults);
  EXPECT_EQ(Defaults->StepMs, 16);
  EXPECT_EQ(Defaults->MusicFile, "vorlek.ogg");
  EXPECT_FALSE(Defaults->MusicGiven);
  EXPECT_FALSE(Defaults->Silent);
  EXPECT_FALSE(Defaults->UntilMs);
}

TEST(CaptureOptionsTest, RejectsBadOptionsAndValues) {
  const std::vector<std::vector<std::string>> Bad = {
      {"--step"},
      {"--step", "0"},
      {"--step", "-4"},
      {"--step", "4ms"},
      {"--step", ""},
      {"--cells-at", "1.5"},
      {"--until", "x"},
      {"--keys", "3000"},
      {"--keys", "3000:up"},
      {"--keys", "3000:right,"},
      {"--keys", ":esc"},
      {"--png-at", "100"},
      {"--music", ""},
      {"--silent", "--music", "x.ogg"},
      {"--verbose"},
      {"1"},
      {"--cast"},
      {"--cells-at", "99999999999999999999"},
      {"--video"},
      {"--scale", "0"},
      {"--scale", "9"},
      {"--line-drawing", "--linux-console"},
  };
  for (const auto& Args : Bad) {
    std::string Error;
    EXPECT_FALSE(ParseCaptureArgs(Args, Error))
        << Args[0] << (Args.size() > 1 ? " " + Args[1] : "");
    EXPECT_FALSE(Error.empty());
  }
}

// A PSF1 font of 256 glyphs, 8 x 2: glyph i is rows {i, ~i}; glyph 65 shows 'A' and U+0391,
// then a sequence that must not map; glyph 200 shows U+2588.
std::vector<uint8_t> MakePsf1() {
  std::vector<uint8_t> Data = {0x36, 0x04, 0x02, 2};
  for (int I = 0; I < 256; ++I) {
    Data.push_back(uint8_t(I));
    Data.push_back(uint8_t(~I));
  }
  auto Put16 = [&](uint16_t V) {
    Data.push_back(uint8_t(V));
    Data.push_back(uint8_t(V >> 8));
  };
  for (int I = 0; I < 256; ++I) {
    if (I == 65) {
      Put16('A');
      Put16(0x0391);
      Put16(0xFFFE);
      Put16(0x0042);
      Put16(0x0301);
    }
    if (I == 200) Put16(0x2588);
    Put16(0xFFFF);
  }
  return Data;
}

void Put32(std::vector<uint8_t>& Data, uint32_t V) {
  for (int I = 0; I < 4; ++I) Data.push_back(uint8_t(V >> (8 * I)));
}

// A PSF2 font of 3 glyphs, 10 x 3 (two bytes a row): glyph 2 shows U+00E9 and U+2592.
std::vector<uint8_t> MakePsf2() {
  std::vector<uint8_t> Data = {0x72, 0xB5, 0x4A, 0x86};
  Put32(Data, 0);   // version
  Put32(Data, 32);  // header size
  Put32(Data, 1);   // has a Unicode table
  Put32(Data, 3);   // glyphs
  Put32(Data, 6);   // bytes a glyph
  Put32(Data, 3);   // height
  Put32(Data, 10);  // width
  for (int Glyph = 0; Glyph < 3; ++Glyph)
    for (int Row = 0; Row < 3; ++Row) {
      Data.push_back(Glyph == 2 && Row == 1 ? 0x80 : 0x00);
      Data.push_back(Glyph == 2 && Row == 1 ? 0x40 : 0x00);  // pixel 9 of row 1
    }
  const std::vector<uint8_t> Table = {' ',  0xFF, '?',  0xFF, 0xC3, 0xA9, 0xE2,
                                      0x96, 0x92, 0xFE, 'e',  0xCC, 0x81, 0xFF};
  Data.insert(Data.end(), Table.begin(), Table.end());
  return Data;
}

TEST(PsfFontTest, ReadsPsf1WithUnicodeTable) {
  std::string Error;
  auto Font = TPsfFont::Parse(MakePsf1(), Error);
  ASSERT_TRUE(Font) << Error;
  EXPECT_EQ(Font->Width(), 8);
  EXPECT_EQ(Font->Height(), 2);
  EXPECT_EQ(Font->GlyphCount(), 256);
  EXPECT_EQ(Font->GlyphOf('A'), 65);
  EXPECT_EQ(Font->GlyphOf(0x0391), 65);
  EXPECT_EQ(Font->GlyphOf('B'), -1);  // only part of a sequence
  EXPECT_EQ(Font->GlyphOf(0x2588), 200);
  EXPECT_EQ(Font->GlyphOfCp437(0xDB), 200);  // full block
  // Glyph 65 = 0b01000001 then its complement; the leftmost pixel is the top bit.
  EXPECT_FALSE(Font->Ink(65, 0, 0));
  EXPECT_TRUE(Font->Ink(65, 1, 0));
  EXPECT_TRUE(Font->Ink(65, 7, 0));
  EXPECT_TRUE(Font->Ink(65, 0, 1));
  EXPECT_FALSE(Font->Ink(65, 1, 1));
  // A code the font lacks falls back to '?', missing here too, so it is blank.
  EXPECT_EQ(Font->GlyphOfCp437(0x01), -1);
}

TEST(PsfFontTest, ReadsPsf2WithUtf8Table) {
  std::string Error;
  auto Font = TPsfFont::Parse(MakePsf2(), Error);
  ASSERT_TRUE(Font) << Error;
  EXPECT_EQ(Font->Width(), 10);
  EXPECT_EQ(Font->Height(), 3);
  EXPECT_EQ(Font->GlyphOf(0x00E9), 2);
  EXPECT_EQ(Font->GlyphOf(0x2592), 2);
  EXPECT_EQ(Font->GlyphOf('e'), -1);
  EXPECT_EQ(Font->GlyphOfCp437(0x82), 2);  // e acute
  EXPECT_EQ(Font->GlyphOfCp437(0x01), 1);  // missing: falls back to '?'
  EXPECT_TRUE(Font->Ink(2, 0, 1));
  EXPECT_TRUE(Font->Ink(2, 9, 1));
  EXPECT_FALSE(Font->Ink(2, 8, 1));
  EXPECT_FALSE(Font->Ink(2, 0, 0));
}

TEST(PsfFontTest, RejectsTruncatedAndForeignData) {
  std::string Error;
  std::vector<uint8_t> Psf1 = MakePsf1();
  EXPECT_FALSE(TPsfFont::Parse(std::span(Psf1).first(300), Error));
  EXPECT_FALSE(TPsfFont::Parse(std::span(Psf1).first(4 + 512 + 20), Error));  // table cut short
  std::vector<uint8_t> Psf2 = MakePsf2();
  Psf2[20] = 7;  // bytes a glyph that do not fit 10 x 3
  EXPECT_FALSE(TPsfFont::Parse(Psf2, Error));
  const std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', 0, 0, 0, 0};
  EXPECT_FALSE(TPsfFont::Parse(Png, Error));
  EXPECT_FALSE(TPsfFont::Load("/nonexistent/font.psf.gz", Error));
}

// The installed VGA 8 x 8 font, as the capture draws with it.
class VgaFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string Error;
    Font = TPsfFont::Load(DefaultCaptureFont, Error);
    ASSERT_TRUE(Font) << Error << " (package console-setup-linux)";
  }
  int InkCount(uint8_t Code, int Y0, int Y1, int X0, int X1) {
    int Glyph = Font->GlyphOfCp437(Code);
    int Count = 0;
    for (int Y = Y0; Y < Y1; ++Y)
      for (int X = X0; X < X1; ++X) Count += Font->Ink(Glyph, X, Y);
    return Count;
  }
  std::optional<TPsfFont> Font;
};

TEST_F(VgaFontTest, MapsCodePage437ToTheRightGlyphs) {
  EXPECT_EQ(Font->Width(), 8);
  EXPECT_EQ(Font->Height(), 8);
  EXPECT_TRUE(Font->HasUnicodeTable());
  for (int Code = 0; Code < 256; ++Code) EXPECT_GE(Font->GlyphOfCp437(uint8_t(Code)), 0) << Code;
  EXPECT_EQ(InkCount(0xDB, 0, 8, 0, 8), 64);  // full block
  EXPECT_EQ(InkCount(0xDF, 0, 4, 0, 8), 32);  // upper half block
  EXPECT_EQ(InkCount(0xDF, 4, 8, 0, 8), 0);
  EXPECT_EQ(InkCount(0xDC, 0, 4, 0, 8), 0);  // lower half block
  EXPECT_EQ(InkCount(0xDC, 4, 8, 0, 8), 32);
  EXPECT_EQ(InkCount(0xDD, 0, 8, 0, 4), 32);  // left half block
  EXPECT_EQ(InkCount(0xDD, 0, 8, 4, 8), 0);
  EXPECT_EQ(InkCount(0x00, 0, 8, 0, 8), 0);
  EXPECT_EQ(InkCount(' ', 0, 8, 0, 8), 0);
  EXPECT_EQ(InkCount(0xC4, 0, 8, 0, 8), 8);  // a single horizontal line
  // Shades darken from light to dark; distinct letters have distinct shapes.
  EXPECT_LT(InkCount(0xB0, 0, 8, 0, 8), InkCount(0xB1, 0, 8, 0, 8));
  EXPECT_LT(InkCount(0xB1, 0, 8, 0, 8), InkCount(0xB2, 0, 8, 0, 8));
  EXPECT_NE(Font->GlyphOfCp437('A'), Font->GlyphOfCp437('B'));
  EXPECT_GT(InkCount('A', 0, 8, 0, 8), 0);
}

TEST_F(VgaFontTest, DrawsInkInForegroundAndTheRestInBackground) {
  // Upper half block, foreground 14 on background 1; full block; blank on 12; code 0 on 2.
  std::vector<TCharInfo> Cells = {{0xDF, 0, 0x1E}, {0xDB, 0, 0x4A}, {' ', 0, 0xC7}, {0, 0, 0x2F}};
  TIndexedPicture Picture;
  DrawCells(Cells, 2, 2, *Font, Picture);
  ASSERT_EQ(Picture.Width, 16);
  ASSERT_EQ(Picture.Height, 16);
  auto At = [&](int X, int Y) { return Picture.Pixels[size_t(Y * 16 + X)]; };
  for (int Y = 0; Y < 8; ++Y)
    for (int X = 0; X < 8; ++X) {
      EXPECT_EQ(At(X, Y), Y < 4 ? 14 : 1) << X << "," << Y;
      EXPECT_EQ(At(8 + X, Y), 10);
      EXPECT_EQ(At(X, 8 + Y), 12);
      EXPECT_EQ(At(8 + X, 8 + Y), 2);
    }
}

TEST_F(VgaFontTest, WritesPngInConsoleColours) {
  std::vector<TCharInfo> Cells;
  for (int I = 0; I < 16; ++I) Cells.push_back({0xDC, 0, uint16_t((15 - I) << 4 | I)});
  TIndexedPicture Picture;
  DrawCells(Cells, 16, 1, *Font, Picture);
  std::string Path = ::testing::TempDir() + "capture_colours.png";
  std::string Error;
  ASSERT_TRUE(WritePalettePng(Path, Picture, Error)) << Error;

  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&Image, Path.c_str()));
  ASSERT_EQ(Image.width, 128u);
  ASSERT_EQ(Image.height, 8u);
  Image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> Rgb(PNG_IMAGE_SIZE(Image));
  ASSERT_TRUE(png_image_finish_read(&Image, nullptr, Rgb.data(), 0, nullptr));
  for (int I = 0; I < 16; ++I) {
    const uint8_t* Top = &Rgb[size_t(I * 8 + 3) * 3];                 // row 0: background
    const uint8_t* Bottom = &Rgb[size_t((7 * 128) + I * 8 + 3) * 3];  // row 7: foreground
    const TPaletteColor& Back = ConsolePalette[15 - I];
    const TPaletteColor& Fore = ConsolePalette[I];
    EXPECT_EQ((std::array<int, 3>{Top[0], Top[1], Top[2]}),
              (std::array<int, 3>{Back.R, Back.G, Back.B}))
        << I;
    EXPECT_EQ((std::array<int, 3>{Bottom[0], Bottom[1], Bottom[2]}),
              (std::array<int, 3>{Fore.R, Fore.G, Fore.B}))
        << I;
  }
  EXPECT_FALSE(WritePalettePng("/nonexistent-dir/x.png", Picture, Error));
}

TEST(AsciicastTest, EscapesForJsonAndKeepsUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("\x1b[0m\r\n\t\x7f"), "\"\\u001b[0m\\r\\n\\t\\u007f\"");
  EXPECT_EQ(JsonString(std::string("\0", 1)), "\"\\u0000\"");
  EXPECT_EQ(JsonString("\xe2\x96\x88\xc3\xa9"), "\"\xe2\x96\x88\xc3\xa9\"");
  EXPECT_EQ(AsciicastHeader(80, 50, "vorlek"),
            "{\"version\": 2, \"width\": 80, \"height\": 50, \"title\": \"vorlek\"}\n");
  EXPECT_EQ(AsciicastOutput("1.016", "x\x1b"), "[1.016, \"o\", \"x\\u001b\"]\n");
}

TEST(AsciicastTest, ReplacesBytesThatAreNoUtf8) {
  // JSON text is UTF-8: a stray byte, a cut sequence, an overlong form or a surrogate each becomes
  // U+FFFD, byte by byte, and the valid text around them is kept.
  EXPECT_EQ(JsonString("a\xffz"), "\"a\\ufffdz\"");
  EXPECT_EQ(JsonString("\xe2\x96"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\x96\xe2\x96\x88"), "\"\\ufffd\xe2\x96\x88\"");
  EXPECT_EQ(JsonString("\xf0\x9f\x8e\xb5"), "\"\xf0\x9f\x8e\xb5\"");
}

TEST(CaptureTextTest, PrintsGlyphRowsThenAttributeRows) {
  std::vector<TCharInfo> Cells(4000);
  Cells[0] = {0xDB, 0, 0x1E};
  Cells[79] = {'A', 0, 0xF0};
  Cells[80] = {0x20, 0, 0x07};
  Cells[3999] = {0xB0, 0, 0x0C};
  std::string Text = FormatCells(5500, Cells);
  std::vector<std::string> Lines;
  for (size_t Begin = 0, End; (End = Text.find('\n', Begin)) != std::string::npos; Begin = End + 1)
    Lines.push_back(Text.substr(Begin, End - Begin));
  ASSERT_EQ(Lines.size(), 102u);
  EXPECT_EQ(Lines[0], "@ 5500");
  EXPECT_EQ(Lines[1], "\xe2\x96\x88" + std::string(78, ' ') + "A");
  EXPECT_EQ(Lines[2], std::string(80, ' '));
  EXPECT_EQ(Lines[50], std::string(79, ' ') + "\xe2\x96\x91");
  EXPECT_EQ(Lines[51], "--");
  EXPECT_EQ(Lines[52], "1e" + std::string(156, '0') + "f0");
  EXPECT_EQ(Lines[53], "07" + std::string(158, '0'));
  EXPECT_EQ(Lines[101], std::string(158, '0') + "0c");
}

TEST(CaptureTextTest, BenchmarkFiguresAsTableAndJson) {
  TFrameStats A;
  for (int I = 1; I <= 100; ++I) {  // 1..100 ms of wall time, half as much CPU, out of order
    A.WallMs.push_back(double(I));
    A.CpuMs.push_back(double(I) / 2);
  }
  std::swap(A.WallMs[0], A.WallMs[99]);
  std::swap(A.CpuMs[3], A.CpuMs[98]);
  A.Bytes = 100 * 250;
  TFrameStats B;
  B.WallMs = {2, 4};
  B.CpuMs = {3, 1};
  B.Bytes = 10;
  const std::vector<TFrameStats> Parts = {A, B, TFrameStats{}};  // the third part never played

  std::string Table = FormatBenchmarkTable(Parts, 123.45);
  std::vector<std::string> Lines;
  for (size_t Begin = 0, End; (End = Table.find('\n', Begin)) != std::string::npos; Begin = End + 1)
    Lines.push_back(Table.substr(Begin, End - Begin));
  ASSERT_EQ(Lines.size(), 6u) << Table;
  auto Fields = [](const std::string& Line) {
    std::istringstream In(Line);
    std::vector<std::string> Out;
    for (std::string F; In >> F;) Out.push_back(F);
    return Out;
  };
  using TRow = std::vector<std::string>;
  // part, frames, wall median / p99 / max, CPU median / p99 / max, bytes per frame
  EXPECT_EQ(Fields(Lines[1]), (TRow{"1", "100", "50.500", "99.000", "100.000", "25.250", "49.500",
                                    "50.000", "250"}));
  EXPECT_EQ(Fields(Lines[2]),
            (TRow{"2", "2", "3.000", "4.000", "4.000", "2.000", "3.000", "3.000", "5"}));
  EXPECT_EQ(Fields(Lines[3]), (TRow{"3", "0", "-", "-", "-", "-", "-", "-", "-"}));
  // 1..100 with 2 and 4 added: 49 and 50 in the middle.
  EXPECT_EQ(Fields(Lines[4]), (TRow{"show", "102", "49.500", "99.000", "100.000", "24.750",
                                    "49.500", "50.000", "245"}));
  EXPECT_EQ(Lines[5], "start-up 123.5 ms");

  auto Json = nlohmann::json::parse(FormatBenchmarkJson(Parts, 123.45));
  EXPECT_DOUBLE_EQ(Json["startup_ms"].get<double>(), 123.45);
  ASSERT_EQ(Json["parts"].size(), 3u);
  const auto& First = Json["parts"][0];
  EXPECT_EQ(First["part"], 1);
  EXPECT_EQ(First["frames"], 100);
  EXPECT_DOUBLE_EQ(First["wall_ms"]["median"].get<double>(), 50.5);
  EXPECT_DOUBLE_EQ(First["wall_ms"]["p99"].get<double>(), 99);
  EXPECT_DOUBLE_EQ(First["cpu_ms"]["max"].get<double>(), 50);
  EXPECT_DOUBLE_EQ(First["bytes_per_frame"].get<double>(), 250);
  EXPECT_EQ(Json["parts"][1]["part"], 2);
  EXPECT_DOUBLE_EQ(Json["parts"][1]["cpu_ms"]["median"].get<double>(), 2);
  EXPECT_EQ(Json["parts"][2]["frames"], 0);
  EXPECT_TRUE(Json["parts"][2]["wall_ms"].is_null());
  EXPECT_TRUE(Json["parts"][2]["bytes_per_frame"].is_null());
  EXPECT_EQ(Json["show"]["frames"], 102);
  EXPECT_DOUBLE_EQ(Json["show"]["cpu_ms"]["median"].get<double>(), 24.75);
}

TEST(KeyScriptTest, PressesCountOnceFromTheirTime) {
  int64_t Now = 0;
  TKeyScript Keys(
      {{3000, TKey::Right}, {3000, TKey::Right}, {1000, TKey::Escape}, {2000, TKey::Left}},
      [&] { return Now; });
  Now = 999;
  EXPECT_FALSE(Keys.KeyState(TKey::Escape));
  Now = 1000;
  EXPECT_FALSE(Keys.KeyState(TKey::Right));
  EXPECT_TRUE(Keys.KeyState(TKey::Escape));
  EXPECT_FALSE(Keys.KeyState(TKey::Escape));
  Now = 3500;  // both presses of Right are due: one poll sees them as one
  EXPECT_TRUE(Keys.KeyState(TKey::Right));
  EXPECT_FALSE(Keys.KeyState(TKey::Right));
  EXPECT_TRUE(Keys.KeyState(TKey::Left));
}

}  // namespace
