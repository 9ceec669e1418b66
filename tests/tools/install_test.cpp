// The programs as a user meets them: their help, and a fresh install played from elsewhere.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Buffer;
  Buffer << In.rdbuf();
  return Buffer.str();
}

class InstallTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* BuildDir = std::getenv("VORLEK_BUILD_DIR");
    ASSERT_NE(BuildDir, nullptr);
    Build = BuildDir;
    Dir = fs::path(testing::TempDir()) / ("install-" + std::to_string(getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "elsewhere");
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs Command (already quoted) in Dir/elsewhere, with no input.
  TRun Run(const std::string& Command) {
    const fs::path Here = Dir / "elsewhere";
    int Status = std::system(
        ("cd '" + Here.string() + "' && " + Command + " </dev/null >'../out.txt' 2>'../err.txt'")
            .c_str());
    return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, ReadFile(Dir / "out.txt"),
            ReadFile(Dir / "err.txt")};
  }

  fs::path Build;
  fs::path Dir;
};

TEST_F(InstallTest, HelpAndVersionPrintOnlyThemselves) {
  for (const std::string Program : {"vorlek", "vorlek-capture"}) {
    for (const std::string Argument : {"--help", "-h", "--version"}) {
      SCOPED_TRACE(Program + " " + Argument);
      TRun Result = Run("'" + (Build / Program).string() + "' " + Argument);
      EXPECT_EQ(Result.Code, 0);
      EXPECT_EQ(Result.Err, "");
      // Nothing was sent to a terminal: no escape sequence at all.
      EXPECT_EQ(Result.Out.find('\x1b'), std::string::npos);
      const std::string Start = Argument == "--version" ? Program + " " : "usage: " + Program + " ";
      EXPECT_EQ(Result.Out.rfind(Start, 0), 0u) << Result.Out;
    }
  }
  // What a newcomer needs: the keys, the argument, the music and what is read from outside.
  TRun Help = Run("'" + (Build / "vorlek").string() + "' --help");
  for (const char* Word : {"Right", "Left", "Escape", "  1 ", "vorlek.ogg", "COLORTERM"})
    EXPECT_NE(Help.Out.find(Word), std::string::npos) << Word;
  Help = Run("'" + (Build / "vorlek-capture").string() + "' --help");
  for (const char* Word : {"--video", "--scale", "vorlek.ogg", "PATH"})
    EXPECT_NE(Help.Out.find(Word), std::string::npos) << Word;
}

TEST_F(InstallTest, InstalledProgramsFindTheirMusicFromAnyFolder) {
  const fs::path Prefix = Dir / "prefix";
  TRun Install = Run("'" VORLEK_CMAKE_COMMAND "' --install '" + Build.string() + "' --prefix '" +
                     Prefix.string() + "'");
  ASSERT_EQ(Install.Code, 0) << Install.Out << Install.Err;
  for (const char* File : {"bin/vorlek", "bin/vorlek-capture", "share/vorlek/vorlek.ogg",
                           "share/man/man1/vorlek.1", "share/man/man1/vorlek-capture.1"})
    EXPECT_TRUE(fs::is_regular_file(Prefix / File)) << File;

  // A few seconds offline from a folder without music: the installed track is found (a missing
  // one would be reported), and the prompt shows where the show runs.
  const std::string Capture = "'" + (Prefix / "bin/vorlek-capture").string() + "'";
  TRun Played = Run(Capture + " --cells-at 100 --until 3000");
  EXPECT_EQ(Played.Code, 0);
  EXPECT_EQ(Played.Err, "");
  EXPECT_EQ(Played.Out.rfind("@ 100\n" + (Dir / "elsewhere").string() + ">", 0), 0u)
      << Played.Out.substr(0, 200);
  TRun Missing = Run(Capture + " --music absent.ogg --until 100");
  EXPECT_EQ(Missing.Code, 0);
  EXPECT_NE(Missing.Err.find("no music: absent.ogg"), std::string::npos) << Missing.Err;

  TRun Version = Run("'" + (Prefix / "bin/vorlek").string() + "' --version");
  EXPECT_EQ(Version.Code, 0);
  EXPECT_EQ(Version.Out.rfind("vorlek ", 0), 0u);
}

}  // namespace
