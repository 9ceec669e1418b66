#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "system/Clock.h"
#include "system/DataFile.h"
#include "system/RegularFile.h"
#include "system/WorkingDirectory.h"

namespace fs = std::filesystem;

namespace {
// A folder of its own: suites of several checkouts may run at once on one machine.
fs::path FreshDir(const std::string& Name) {
  const fs::path Dir =
      fs::path(::testing::TempDir()) / (Name + "-" + std::to_string(std::random_device{}()));
  fs::create_directories(Dir);
  return Dir;
}
}  // namespace

TEST(SystemTest, ClockRunsForwardAndSleepsAtLeastTheTimeAsked) {
  TMonotonicClock Clock;
  ASSERT_GE(Clock.Frequency(), 1000000);
  const int64_t Before = Clock.Counter();
  Clock.Sleep(20);
  const int64_t Slept = Clock.Counter() - Before;
  // The lower bound only: a loaded machine may sleep longer, never shorter (1 ms of rounding).
  EXPECT_GE(ScaleTicks(Slept, 1000, Clock.Frequency()), 19);
}

TEST(SystemTest, WorkingDirectoryAndDataFilesFollowTheCurrentFolder) {
  const fs::path Dir = FreshDir("vorlek-system-test");
  const fs::path Was = fs::current_path();
  fs::current_path(Dir);
  EXPECT_EQ(fs::path(GetWorkingDirectory()), fs::current_path());
  std::ofstream("here.dat") << "x";
  EXPECT_EQ(FindDataFile("here.dat"), "here.dat");
  EXPECT_EQ(FindDataFile("nowhere.dat"), "nowhere.dat");  // left to fail when opened, with its name
  fs::current_path(Was);
  fs::remove_all(Dir);
}

TEST(SystemTest, RegularFilesReadInSequenceAndAtAnyOffset) {
  const fs::path Dir = FreshDir("vorlek-regular-file-test");
  // CR LF and a byte 26 (end of file in a text mode) must come back as they are.
  const std::string Bytes = "ab\r\ncd\x1a" "ef";
  std::ofstream(Dir / "data", std::ios::binary) << Bytes;
  int64_t Size = -1;
  std::string Why;
  std::FILE* File = OpenRegularFile((Dir / "data").string(), &Size, &Why);
  ASSERT_NE(File, nullptr) << Why;
  EXPECT_EQ(Size, int64_t(Bytes.size()));
  char Out[8] = {};
  ASSERT_EQ(ReadFileAt(File, Out, 4, 3), 4u);
  EXPECT_EQ(std::string(Out, 4), Bytes.substr(3, 4));
  EXPECT_EQ(ReadFileAt(File, Out, 8, int64_t(Bytes.size()) - 2), 2u);
  // The stream still starts at the beginning and reads the whole file.
  std::string Read(Bytes.size() + 1, '\0');
  EXPECT_EQ(std::fread(Read.data(), 1, Read.size(), File), Bytes.size());
  EXPECT_EQ(Read.substr(0, Bytes.size()), Bytes);
  std::fclose(File);

  EXPECT_EQ(OpenRegularFile(Dir.string(), &Size, &Why), nullptr);
  EXPECT_FALSE(Why.empty());
  EXPECT_EQ(OpenRegularFile((Dir / "missing").string(), &Size, &Why), nullptr);
  fs::remove_all(Dir);
}
