// The intro's first seconds as vorlek-capture plays them, in a directory of known name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TFrame {
  std::vector<std::string> Glyphs;      // 50 rows, UTF-8
  std::vector<std::string> Attributes;  // 50 rows of 160 hex digits
};

std::string Repeat(const std::string& Text, size_t Times) {
  std::string Out;
  for (size_t I = 0; I < Times; ++I) Out += Text;
  return Out;
}

// One code point per screen column.
std::u32string Columns(const std::string& Utf8) {
  std::u32string Out;
  for (size_t I = 0; I < Utf8.size();) {
    const auto Lead = uint8_t(Utf8[I]);
    const size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
    char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (size_t K = 1; K < Length && I + K < Utf8.size(); ++K) C = (C << 6) | (Utf8[I + K] & 0x3F);
    Out += C;
    I += Length;
  }
  return Out;
}

std::vector<TFrame> ReadFrames(const std::string& Text) {
  std::vector<TFrame> Frames;
  std::istringstream In(Text);
  std::string Line;
  while (std::getline(In, Line)) {
    if (Line.rfind("@ ", 0) != 0) continue;
    TFrame Frame;
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Glyphs.push_back(Line);
    std::getline(In, Line);
    for (int I = 0; I < 50 && std::getline(In, Line); ++I) Frame.Attributes.push_back(Line);
    Frames.push_back(Frame);
  }
  return Frames;
}

TEST(IntroCaptureTest, PromptThenCaption) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  const std::string Dir = testing::TempDir() + "intro-prompt-" + std::to_string(getpid());
  ASSERT_EQ(std::system(("mkdir -p " + Dir).c_str()), 0);
  const std::string Command = "cd " + Dir + " && " + Build +
                              "/vorlek-capture --silent --step 4 --cells-at 0 --cells-at 5500 "
                              "--until 5600";
  std::string Out;
  FILE* Pipe = popen(Command.c_str(), "r");
  ASSERT_NE(Pipe, nullptr);
  char Buffer[4096];
  size_t Count;
  while ((Count = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Out.append(Buffer, Count);
  EXPECT_EQ(pclose(Pipe), 0);
  std::system(("rm -rf " + Dir).c_str());

  auto Frames = ReadFrames(Out);
  ASSERT_EQ(Frames.size(), 2u);
  const std::string Prompt = Dir + "> ";
  ASSERT_LE(Prompt.size(), 80u);
  EXPECT_EQ(Frames[0].Glyphs[0].substr(0, Prompt.size()), Prompt);
  EXPECT_EQ(Frames[0].Attributes[0].substr(0, 2 * Prompt.size()), Repeat("07", Prompt.size()));
  for (size_t Row = 1; Row < 50; ++Row) EXPECT_EQ(Frames[0].Attributes[Row], Repeat("01", 80)) << Row;

  // At 5.5 s the caption reads plainly in white, the prompt is gone.
  const std::u32string Caption = Columns(Frames[1].Glyphs[15]);
  ASSERT_EQ(Caption.size(), 80u);
  const std::u32string Letters = U"quentar presents";
  for (size_t I = 0; I < Letters.size(); ++I) {
    if (Letters[I] == U' ') continue;  // the gap between the words shows the background
    const size_t Column = 5 + 2 * I;
    EXPECT_EQ(Caption[Column], Letters[I]) << Column;
    EXPECT_EQ(Frames[1].Attributes[15].substr(2 * Column, 2), "0f") << Column;
  }
  EXPECT_EQ(Frames[1].Glyphs[0].find(Prompt), std::string::npos);
}

}  // namespace
