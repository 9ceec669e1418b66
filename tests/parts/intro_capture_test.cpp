// The intro's first seconds as vorlek-capture plays them, in a directory of known name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "CaptureFrames.h"

namespace {

std::string Repeat(const std::string& Text, size_t Times) {
  std::string Out;
  for (size_t I = 0; I < Times; ++I) Out += Text;
  return Out;
}

TEST(IntroCaptureTest, PromptThenCaption) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  // Run from a folder of the build's: its path, as the system reports it, is the prompt. The test
  // moves there itself, so that no shell's "cd" (which differs between systems) is needed.
  const std::filesystem::path Dir =
      std::filesystem::path(Build) / ("intro-prompt-" + std::to_string(getpid()));
  std::filesystem::create_directories(Dir);
  const std::filesystem::path Before = std::filesystem::current_path();
  std::filesystem::current_path(Dir);
  const std::string Where = std::filesystem::current_path().string();
  const std::string Command = std::string(Build) +
                              "/vorlek-capture --silent --step 4 --cells-at 0 --cells-at 5500 "
                              "--until 5600";
  int Status = 0;
  const std::string Out = RunCommand(Command, Status);
  EXPECT_EQ(Status, 0);
  std::filesystem::current_path(Before);
  std::filesystem::remove_all(Dir);

  auto Frames = ReadFrames(Out);
  ASSERT_EQ(Frames.size(), 2u);
  const std::string Prompt = Where + "> ";
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
