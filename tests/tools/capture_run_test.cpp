// The built programs run as a user runs them: options in, files and text out; help; an install.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "console/ColorMappers.h"
#include "harness/VTermScreen.h"
#include "terminal/Cp437.h"
#include "terminal/TerminalLayout.h"
#include "tests/terminal/LinuxConsoleScreen.h"
#include "tools/capture/CellPicture.h"
#include "tools/capture/PsfFont.h"

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

std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> Lines;
  for (size_t Begin = 0, End; (End = Text.find('\n', Begin)) != std::string::npos; Begin = End + 1)
    Lines.push_back(Text.substr(Begin, End - Begin));
  return Lines;
}

class CaptureRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* BuildDir = std::getenv("VORLEK_BUILD_DIR");
    ASSERT_NE(BuildDir, nullptr) << "VORLEK_BUILD_DIR is not set";
    Program = fs::path(BuildDir) / "vorlek-capture";
    ASSERT_TRUE(fs::exists(Program)) << Program;
    const auto* Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Dir = fs::path(::testing::TempDir()) / ("capture-" + std::string(Info->name()));
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }

  // Runs Command (quoted as needed) in Dir, with no input and standard output going to Output.
  TRun Run(const std::string& Command, const std::string& Output = "stdout.txt") {
    int Status = std::system(
        ("cd '" + Dir.string() + "' && " + Command + " </dev/null >'" + Output + "' 2>stderr.txt")
            .c_str());
    TRun Result;
    Result.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Result.Out = ReadFile(Dir / "stdout.txt");
    Result.Err = ReadFile(Dir / "stderr.txt");
    return Result;
  }
  // Runs the program in Dir (no music file there) with Args, which must need no quoting;
  // Environment, when given, is set for it ("NAME=VALUE").
  TRun Capture(const std::string& Args, const std::string& Output = "stdout.txt",
               const std::string& Environment = "") {
    return Run(Environment + " '" + Program.string() + "' " + Args, Output);
  }

  // Starts the program like Capture without waiting for it; its process id.
  pid_t StartCapture(const std::string& Args, const std::string& Environment = "") {
    const std::string Command = "cd '" + Dir.string() + "' && " + Environment + " exec '" +
                                Program.string() + "' " + Args +
                                " </dev/null >stdout.txt 2>stderr.txt";
    const pid_t Pid = fork();
    if (Pid == 0) {
      execl("/bin/sh", "sh", "-c", Command.c_str(), nullptr);
      _exit(127);
    }
    return Pid;
  }
  // Waits up to Seconds for Pid: its exit code, or 128 + the signal that ended it. One that
  // does not end in time is killed, and -1 returned.
  static int WaitFor(pid_t Pid, double Seconds) {
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    int Status = 0;
    while (waitpid(Pid, &Status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > Deadline) {
        kill(Pid, SIGKILL);
        waitpid(Pid, &Status, 0);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  }

  // A stand-in for ffmpeg, Dir/bin/ffmpeg, running Body; the environment that puts it first on
  // PATH. The capture's side of a video (names, signals, its child) is checked with it where no
  // ffmpeg is installed.
  std::string FakeFfmpeg(const std::string& Body) {
    fs::create_directories(Dir / "bin");
    std::ofstream(Dir / "bin/ffmpeg") << "#!/bin/sh\n" << Body << "\n";
    fs::permissions(Dir / "bin/ffmpeg", fs::perms::owner_all);
    return "PATH='" + (Dir / "bin").string() + ":" + std::getenv("PATH") + "'";
  }
  // One that notes its arguments in bin/args.txt and copies the frames to its output file.
  std::string CopyingFfmpeg() {
    return FakeFfmpeg(
        "printf '%s\\n' \"$@\" > bin/args.txt\n"
        "for Last; do :; done\n"
        "exec cat > \"${Last#file:}\"");
  }

  fs::path Program;
  fs::path Dir;
};

// --- Frames printed by --cells-at

struct TCellsFrame {
  std::vector<std::u32string> Glyphs;  // 50 rows of 80
  std::vector<std::vector<int>> Attributes;
};

std::u32string DecodeUtf8(const std::string& Text) {
  std::u32string Out;
  for (size_t I = 0; I < Text.size();) {
    auto Lead = static_cast<unsigned char>(Text[I++]);
    int More = Lead < 0x80 ? 0 : Lead < 0xE0 ? 1 : Lead < 0xF0 ? 2 : 3;
    char32_t C = More ? Lead & (0x3F >> More) : Lead;
    for (int K = 0; K < More && I < Text.size(); ++K) C = C << 6 | (Text[I++] & 0x3F);
    Out += C;
  }
  return Out;
}

// Every "@ MS" block of the output, by MS.
std::map<int64_t, TCellsFrame> ParseCellsOutput(const std::string& Out) {
  std::map<int64_t, TCellsFrame> Frames;
  std::vector<std::string> Lines = SplitLines(Out);
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (Lines[I].rfind("@ ", 0) != 0) continue;
    EXPECT_LE(I + 102, Lines.size());
    if (I + 102 > Lines.size()) break;
    TCellsFrame& Frame = Frames[std::stoll(Lines[I].substr(2))];
    for (int Row = 0; Row < 50; ++Row) {
      Frame.Glyphs.push_back(DecodeUtf8(Lines[I + 1 + size_t(Row)]));
      EXPECT_EQ(Frame.Glyphs.back().size(), 80u) << "row " << Row;
    }
    EXPECT_EQ(Lines[I + 51], "--");
    for (int Row = 0; Row < 50; ++Row) {
      const std::string& Hex = Lines[I + 52 + size_t(Row)];
      EXPECT_EQ(Hex.size(), 160u);
      std::vector<int> Values;
      for (size_t C = 0; C + 1 < Hex.size(); C += 2)
        Values.push_back(std::stoi(Hex.substr(C, 2), nullptr, 16));
      Frame.Attributes.push_back(Values);
    }
    I += 101;
  }
  return Frames;
}

struct TCastEvent {
  double Seconds;
  std::string Data;
};

// Reads an asciicast v2 file, checking the header and that every event is [time, "o", text].
// The JSON reader rejects raw control characters and malformed UTF-8 in strings.
std::vector<TCastEvent> ReadCast(const fs::path& Path, int Width = 80, int Height = 50) {
  std::vector<std::string> Lines = SplitLines(ReadFile(Path));
  std::vector<TCastEvent> Events;
  EXPECT_FALSE(Lines.empty());
  if (Lines.empty()) return Events;
  try {
    auto Header = nlohmann::json::parse(Lines[0]);
    EXPECT_EQ(Header.at("version"), 2);
    EXPECT_EQ(Header.at("width"), Width);
    EXPECT_EQ(Header.at("height"), Height);
    EXPECT_EQ(Header.at("title"), "vorlek");
    double Last = 0;
    for (size_t I = 1; I < Lines.size(); ++I) {
      auto Event = nlohmann::json::parse(Lines[I]);
      EXPECT_TRUE(Event.is_array() && Event.size() == 3 && Event[0].is_number() &&
                  Event[1] == "o" && Event[2].is_string())
          << "line " << I + 1;
      double Seconds = Event.at(0).get<double>();
      EXPECT_GE(Seconds, Last) << "line " << I + 1;
      Last = Seconds;
      Events.push_back({Seconds, Event.at(2).get<std::string>()});
    }
  } catch (const nlohmann::json::exception& Error) {
    ADD_FAILURE() << Path << ": " << Error.what();
  }
  return Events;
}

// --- Replaying a cast through a terminal emulator

// The console colour a terminal colour shows, or -1.
int ConsoleColor(const TVTermScreen& Screen, VTermColor Color, bool Background) {
  if (VTERM_COLOR_IS_DEFAULT_BG(&Color) && Background) return 0;
  if (VTERM_COLOR_IS_DEFAULT_FG(&Color) && !Background) return 7;
  if (VTERM_COLOR_IS_INDEXED(&Color) && Color.indexed.idx < 16) {
    int Ansi = Color.indexed.idx;  // red is bit 0 here, bit 2 on the console
    return (Ansi & 1) << 2 | (Ansi & 2) | (Ansi & 4) >> 2 | (Ansi & 8);
  }
  Color = Screen.Rgb(Color);
  for (int I = 0; I < 16; ++I)
    if (ConsolePalette[I].R == Color.rgb.red && ConsolePalette[I].G == Color.rgb.green &&
        ConsolePalette[I].B == Color.rgb.blue)
      return I;
  return -1;
}

// The cast's screen, read as it was drawn: the give-back at its end leaves the cells in place.
class TReplay {
 public:
  TReplay(int Rows = 50, int Columns = 80) : Screen(Rows, Columns, false) {}

  void Feed(const std::string& Bytes) { Screen.Feed(Bytes); }

  // Compares the emulated screen with a printed frame: every glyph, the background wherever it
  // shows and the foreground wherever there is ink.
  // Laid out by Layout, each terminal cell is compared with the copy of its show cell.
  void ExpectShows(const TCellsFrame& Frame, const std::string& What,
                   const TTerminalLayout& Layout = TTerminalLayout()) {
    int Mismatches = 0;
    for (int Y = 0; Y < Layout.Height() && Mismatches < 5; ++Y)
      for (int X = 0; X < Layout.Width() && Mismatches < 5; ++X) {
        const int Row = Y / Layout.RepeatY(), Column = X / Layout.RepeatX();
        const VTermScreenCell Cell = Screen.Cell(Layout.Top() + Y, Layout.Left() + X);
        char32_t Shown = Cell.chars[0] ? Cell.chars[0] : U' ';
        char32_t Want = Frame.Glyphs[size_t(Row)][size_t(Column)];
        if (Layout.RepeatX() > 1 || Layout.RepeatY() > 1) {
          const int Code = UnicodeToCp437(Want);
          EXPECT_GE(Code, 0);
          Want = Cp437ToUnicode(Layout.GlyphAt(uint8_t(Code), X, Y));
        }
        int Fore = ConsoleColor(Screen, Cell.fg, false);
        int Back = ConsoleColor(Screen, Cell.bg, true);
        if (Cell.attrs.reverse) std::swap(Fore, Back);
        int Attributes = Frame.Attributes[size_t(Row)][size_t(Column)];
        bool Blank = Want == U' ' || Want == 0x00A0;
        bool Solid = Want == 0x2588;
        bool Same = Shown == Want && (Solid || Back == Attributes >> 4) &&
                    (Blank || Fore == (Attributes & 15));
        // A glyph in its background colour shows only the background, and may be sent as a blank.
        if ((Attributes & 15) == Attributes >> 4 && Back == Attributes >> 4)
          Same = Same || Shown == U' ' || (Shown == Want && Fore == Back);
        if (!Same) {
          ++Mismatches;
          ADD_FAILURE() << What << ": cell " << Column << "," << Row << " shows U+" << std::hex
                        << uint32_t(Shown) << " " << Fore << " on " << Back << ", printed U+"
                        << uint32_t(Want) << " attribute " << Attributes;
        }
      }
  }

 private:
  TVTermScreen Screen;
};

// --- PNG pictures

struct TRgbPicture {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Rgb;
};

TRgbPicture ReadPng(const fs::path& Path) {
  TRgbPicture Picture;
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Path.c_str())) {
    ADD_FAILURE() << "cannot read " << Path;
    return Picture;
  }
  Image.format = PNG_FORMAT_RGB;
  Picture.Width = int(Image.width);
  Picture.Height = int(Image.height);
  Picture.Rgb.resize(PNG_IMAGE_SIZE(Image));
  EXPECT_TRUE(png_image_finish_read(&Image, nullptr, Picture.Rgb.data(), 0, nullptr));
  return Picture;
}

// --- The tests

TEST_F(CaptureRunTest, SameOptionsGiveTheSameBytes) {
  // With the music, so that the spectrum the parts see is part of what must repeat.
  fs::path Music = Program.parent_path() / "vorlek.ogg";
  ASSERT_TRUE(fs::exists(Music)) << Music;
  const std::string Args = "--music '" + Music.string() +
                           "' --step 8 --cells-at 200 --cells-at 1000 "
                           "--png-at 600 --out pics --frames frames --cast show.cast --until 1200";
  TRun First = Capture(Args);
  ASSERT_EQ(First.Code, 0) << First.Err;
  fs::rename(Dir / "pics", Dir / "pics1");
  fs::rename(Dir / "frames", Dir / "frames1");
  fs::rename(Dir / "show.cast", Dir / "show1.cast");
  TRun Second = Capture(Args);
  ASSERT_EQ(Second.Code, 0) << Second.Err;

  EXPECT_EQ(ParseCellsOutput(First.Out).size(), 2u);
  EXPECT_EQ(First.Out, Second.Out);
  EXPECT_EQ(ReadFile(Dir / "show1.cast"), ReadFile(Dir / "show.cast"));
  EXPECT_EQ(ReadFile(Dir / "pics1/frame-00600.png"), ReadFile(Dir / "pics/frame-00600.png"));
  // Frames at 0, 8, ... 1192 ms.
  int Count = 0;
  for (const auto& Entry : fs::directory_iterator(Dir / "frames")) {
    ++Count;
    EXPECT_EQ(ReadFile(Entry.path()), ReadFile(Dir / "frames1" / Entry.path().filename()))
        << Entry.path();
  }
  EXPECT_EQ(Count, 150);
  EXPECT_TRUE(fs::exists(Dir / "frames/00000.png"));
  EXPECT_TRUE(fs::exists(Dir / "frames/00149.png"));
}

TEST_F(CaptureRunTest, PictureShowsThePrintedCells) {
  TRun Run = Capture("--silent --step 4 --cells-at 5500 --png-at 5500 --out pics --until 5600");
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  auto Frames = ParseCellsOutput(Run.Out);
  ASSERT_EQ(Frames.count(5500), 1u);
  const TCellsFrame& Frame = Frames[5500];
  TRgbPicture Picture = ReadPng(Dir / "pics/frame-05500.png");
  ASSERT_EQ(Picture.Width, 640);
  ASSERT_EQ(Picture.Height, 400);

  std::string Error;
  auto Font = TPsfFont::Load(DefaultCaptureFont, Error);
  ASSERT_TRUE(Font) << Error;
  int Mismatches = 0;
  for (int Row = 0; Row < 50 && Mismatches < 5; ++Row)
    for (int Column = 0; Column < 80 && Mismatches < 5; ++Column) {
      int Code = UnicodeToCp437(Frame.Glyphs[size_t(Row)][size_t(Column)]);
      ASSERT_GE(Code, 0);
      int Glyph = Font->GlyphOfCp437(uint8_t(Code));
      int Attributes = Frame.Attributes[size_t(Row)][size_t(Column)];
      for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 8; ++X) {
          const TPaletteColor& Want =
              ConsolePalette[Font->Ink(Glyph, X, Y) ? Attributes & 15 : Attributes >> 4];
          const uint8_t* Got =
              &Picture.Rgb[(size_t(Row * 8 + Y) * 640 + size_t(Column * 8 + X)) * 3];
          if (Got[0] != Want.R || Got[1] != Want.G || Got[2] != Want.B) {
            ++Mismatches;
            ADD_FAILURE() << "cell " << Column << "," << Row << " pixel " << X << "," << Y;
            X = Y = 8;
          }
        }
    }
}

// Every frame of two stretches lands exactly: the noisiest of the intro, and the change into
// the knot tunnel with its first frames.
TEST_F(CaptureRunTest, CastReplaysToThePrintedCells) {
  std::string CellsAt;
  std::vector<int64_t> Times;
  for (int64_t Begin : {2400, 9600})
    for (int64_t Ms = Begin; Ms < Begin + 800; Ms += 16) {
      CellsAt += " --cells-at " + std::to_string(Ms);
      Times.push_back(Ms);
    }
  for (const std::string Color : {"", " --truecolor"}) {
    SCOPED_TRACE(Color.empty() ? "16 colours" : "24-bit colour");
    TRun Run = Capture("--silent --cast show.cast --until 10416" + CellsAt + Color);
    ASSERT_EQ(Run.Code, 0) << Run.Err;
    auto Frames = ParseCellsOutput(Run.Out);
    ASSERT_EQ(Frames.size(), Times.size());
    std::vector<TCastEvent> Events = ReadCast(Dir / "show.cast");
    ASSERT_EQ(Events.size(), 651u);  // one a frame, at 0, 16, ... 10400 ms
    for (size_t I = 0; I < Events.size(); ++I) EXPECT_DOUBLE_EQ(Events[I].Seconds, double(I) * 0.016);

    // A frame shows the clock of the frame before it, so show time T is drawn at clock T + 16.
    TReplay Replay;
    size_t Next = 0;
    for (size_t I = 0; I < Events.size(); ++I) {
      Replay.Feed(Events[I].Data);
      if (Next < Times.size() && size_t(Times[Next] / 16 + 1) == I) {
        Replay.ExpectShows(Frames[Times[Next]], "frame " + std::to_string(Times[Next]));
        ++Next;
      }
    }
    EXPECT_EQ(Next, Times.size());
  }
}

// A terminal of another size and cell shape: the laid-out picture, columns doubled for tall
// cells, replays exactly where it lands, line art joined (the knot tunnel's first frames).
TEST_F(CaptureRunTest, CastForAWideTerminalLaysThePictureOut) {
  std::string CellsAt;
  std::vector<int64_t> Times;
  for (int64_t Ms = 9600; Ms < 10400; Ms += 48) {
    CellsAt += " --cells-at " + std::to_string(Ms);
    Times.push_back(Ms);
  }
  TRun Run = Capture("--silent --size 200x60 --cell 9x18 --cast wide.cast --until 10416 --png-at 9600 "
                     "--out pics" + CellsAt);
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  // Its picture is the terminal's whole screen, in the 8 x 16 font of tall cells.
  const TRgbPicture Picture = ReadPng(Dir / "pics" / "frame-09600.png");
  EXPECT_EQ(Picture.Width, 200 * 8);
  EXPECT_EQ(Picture.Height, 60 * 16);
  auto Frames = ParseCellsOutput(Run.Out);
  std::vector<TCastEvent> Events = ReadCast(Dir / "wide.cast", 200, 60);
  ASSERT_EQ(Events.size(), 651u);
  const TTerminalLayout Layout(200, 60, TCellShape{9, 18});
  ASSERT_EQ(Layout.Left(), 20);
  ASSERT_EQ(Layout.Width(), 160);
  TReplay Replay(60, 200);
  size_t Next = 0;
  for (size_t I = 0; I < Events.size(); ++I) {
    Replay.Feed(Events[I].Data);
    if (Next < Times.size() && size_t(Times[Next] / 16 + 1) == I) {
      Replay.ExpectShows(Frames[Times[Next]], "frame " + std::to_string(Times[Next]), Layout);
      ++Next;
    }
  }
  EXPECT_EQ(Next, Times.size());
}

// The whole show recorded for the Linux console, replayed through a model of that console's
// colour rules: every cell shows the printed colour index, intensity included, each second; the
// show's palette comes before the first frame, and nothing the console cannot show is sent.
TEST_F(CaptureRunTest, LinuxConsoleCastShowsEveryColour) {
  std::string CellsAt;
  for (int64_t Ms = 1008; Ms < 92000; Ms += 1008) CellsAt += " --cells-at " + std::to_string(Ms);
  TRun Run = Capture("--linux-console --cast linux.cast" + CellsAt);
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  auto Frames = ParseCellsOutput(Run.Out);
  ASSERT_EQ(Frames.size(), 91u);
  std::vector<TCastEvent> Events = ReadCast(Dir / "linux.cast");
  ASSERT_GT(Events.size(), 5700u);
  TLinuxConsoleScreen Term(50, 80);
  size_t Checked = 0;
  for (size_t I = 0; I < Events.size(); ++I) {
    Term.Feed(Events[I].Data);
    if (I == 0) {
      ASSERT_EQ(Term.Palette.size(), 16u);
      for (int Entry = 0; Entry < 16; ++Entry) {
        const TPaletteColor& Want = ConsolePalette[((Entry & 1) << 2) | (Entry & 2) | ((Entry & 4) >> 2) | (Entry & 8)];
        EXPECT_EQ(Term.Palette[size_t(Entry)].Rgb, uint32_t(Want.R << 16 | Want.G << 8 | Want.B)) << Entry;
      }
    }
    auto Frame = Frames.find(int64_t(I - 1) * 16);
    if (I == 0 || Frame == Frames.end()) continue;
    ++Checked;
    int Mismatches = 0;
    for (int Row = 0; Row < 50; ++Row)
      for (int Column = 0; Column < 80; ++Column) {
        const auto& Got = Term.Cell(Row, Column);
        const int Attributes = Frame->second.Attributes[size_t(Row)][size_t(Column)];
        const char32_t Want = Frame->second.Glyphs[size_t(Row)][size_t(Column)];
        // The console's palette index of a console colour: red and blue bits swap places.
        auto Index = [](int C) { return ((C & 1) << 2) | (C & 2) | ((C & 4) >> 2) | (C & 8); };
        const int Fg = Index(Attributes & 15), Bg = Index(Attributes >> 4);
        const bool Blank = Want == U' ' || Want == 0x00A0 || Fg == Bg;
        const bool Right = Got.Bg == Bg && (Blank ? Got.Glyph == U' ' || (Got.Glyph == Want && Got.Fg == Bg)
                                                  : Got.Glyph == Want && Got.Fg == Fg);
        if (!Right && ++Mismatches <= 3)
          ADD_FAILURE() << "frame " << Frame->first << " cell " << Column << "," << Row << ": "
                        << Got.Fg << " on " << Got.Bg << ", printed " << Fg << " on " << Bg;
      }
  }
  EXPECT_EQ(Checked, 91u);
  EXPECT_EQ(Term.Palette.size(), 16u);  // the capture ends without giving a terminal back
  EXPECT_EQ(Term.Unsupported, 0);
}

TEST_F(CaptureRunTest, KeysActAtTheirTimes) {
  // Right at 1000 ms: the frame at 1000 is drawn, then the clock jumps a second, so show time
  // 2010 is drawn at 1020 ms. One frame later, the jump comes too late for that; a press between
  // frames counts at the next one.
  auto Shows2010 = [&](const std::string& Keys) {
    TRun Run = Capture("--silent --step 10 --cells-at 2010 --until 1030 --keys " + Keys);
    EXPECT_EQ(Run.Code, 0) << Run.Err;
    return ParseCellsOutput(Run.Out).count(2010) == 1;
  };
  EXPECT_TRUE(Shows2010("1000:right"));
  EXPECT_FALSE(Shows2010("1010:right"));
  EXPECT_FALSE(Shows2010("1001:right"));
  EXPECT_FALSE(Shows2010("999999:right"));

  // Left at 2000 ms takes the clock back before show time 2010 is drawn; at 2010 it is too late.
  auto LeftShows2010 = [&](const std::string& Keys) {
    TRun Run = Capture("--silent --step 10 --cells-at 2010 --until 2030 --keys " + Keys);
    EXPECT_EQ(Run.Code, 0) << Run.Err;
    return ParseCellsOutput(Run.Out).count(2010) == 1;
  };
  EXPECT_FALSE(LeftShows2010("2000:left"));
  EXPECT_TRUE(LeftShows2010("2010:left"));

  // Escape at 500 ms: the frame at 500 is the last one.
  TRun Run = Capture("--silent --step 10 --cast esc.cast --keys 500:esc");
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  std::vector<TCastEvent> Events = ReadCast(Dir / "esc.cast");
  ASSERT_EQ(Events.size(), 51u);
  EXPECT_DOUBLE_EQ(Events.back().Seconds, 0.5);
}

// The clock steps 16 ms per frame, so 300 ms are 19 frames of the first part, however long
// each takes; the table and the JSON tell the same.
TEST_F(CaptureRunTest, BenchmarkReportsEveryPartItPlayed) {
  TRun Run = Capture("--silent --benchmark-json bench.json --until 300");
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  std::vector<std::string> Lines = SplitLines(Run.Out);
  ASSERT_EQ(Lines.size(), 9u) << Run.Out;  // heading, six parts, the show, the start-up
  std::istringstream Part1(Lines[1]), Part2(Lines[2]), Show(Lines[7]);
  std::string Name, Wall;
  long Frames = 0;
  Part1 >> Name >> Frames;
  EXPECT_EQ(Name, "1");
  EXPECT_EQ(Frames, 19);
  Part2 >> Name >> Frames >> Wall;
  EXPECT_EQ(Frames, 0);
  EXPECT_EQ(Wall, "-");
  Show >> Name >> Frames;
  EXPECT_EQ(Name, "show");
  EXPECT_EQ(Frames, 19);
  EXPECT_EQ(Lines[8].rfind("start-up ", 0), 0u) << Lines[8];

  auto Json = nlohmann::json::parse(ReadFile(Dir / "bench.json"));
  EXPECT_GT(Json["startup_ms"].get<double>(), 0);
  ASSERT_EQ(Json["parts"].size(), 6u);
  const auto& First = Json["parts"][0];
  EXPECT_EQ(First["frames"], 19);
  for (const char* Times : {"wall_ms", "cpu_ms"}) {
    EXPECT_GE(First[Times]["median"].get<double>(), 0) << Times;
    EXPECT_LE(First[Times]["median"].get<double>(), First[Times]["p99"].get<double>()) << Times;
    EXPECT_LE(First[Times]["p99"].get<double>(), First[Times]["max"].get<double>()) << Times;
  }
  // The first frame clears the screen: more than the 16 bytes of brackets of an unchanged one.
  EXPECT_GT(First["bytes_per_frame"].get<double>(), 16);
  EXPECT_TRUE(Json["parts"][5]["cpu_ms"].is_null());
  EXPECT_EQ(Json["show"]["frames"], 19);
  EXPECT_EQ(Json["show"]["bytes_per_frame"], First["bytes_per_frame"]);
}

// Paced, the same frames come out one step of the wall clock apart.
TEST_F(CaptureRunTest, PacedBenchmarkPlaysTheSameFramesAtTheirPace) {
  const auto Start = std::chrono::steady_clock::now();
  TRun Paced = Capture("--silent --paced --benchmark-json paced.json --until 480");
  const std::chrono::duration<double> Took = std::chrono::steady_clock::now() - Start;
  ASSERT_EQ(Paced.Code, 0) << Paced.Err;
  EXPECT_GE(Took.count(), 29 * 0.016);  // 30 frames, the first at once
  TRun Unpaced = Capture("--silent --benchmark-json unpaced.json --until 480");
  ASSERT_EQ(Unpaced.Code, 0) << Unpaced.Err;
  auto A = nlohmann::json::parse(ReadFile(Dir / "paced.json"));
  auto B = nlohmann::json::parse(ReadFile(Dir / "unpaced.json"));
  EXPECT_EQ(A["show"]["frames"], 30);
  EXPECT_EQ(A["show"]["frames"], B["show"]["frames"]);
  EXPECT_EQ(A["show"]["bytes_per_frame"], B["show"]["bytes_per_frame"]);
}

TEST_F(CaptureRunTest, OutputThatCannotBeWrittenIsAFailure) {
  // The times never reached are not reported on top of the failure.
  for (const std::string Args :
       {"--silent --cells-at 0 --cells-at 5000 --until 20", "--silent --benchmark --until 20"}) {
    TRun Run = Capture(Args, "/dev/full");
    EXPECT_EQ(Run.Code, 1) << Args;
    EXPECT_EQ(Run.Err, "vorlek-capture: cannot write standard output\n") << Args;
  }
}

// Music that cannot be played is named once with the reason, and the capture goes on silent; a
// video of it has a sound track of silence. Music with junk after it plays, saying so.
TEST_F(CaptureRunTest, MusicIsPlayedOrNamedWithTheReason) {
  std::ofstream(Dir / "words.ogg") << "not music";
  fs::create_directory(Dir / "folder.ogg");
  fs::create_symlink("loop.ogg", Dir / "loop.ogg");
  ASSERT_EQ(mkfifo((Dir / "fifo.ogg").c_str(), 0600), 0);
  const std::string Long(300, 'a');
  std::vector<std::pair<std::string, std::string>> Cases = {
      {"missing.ogg", "no music: missing.ogg not found"},
      {"words.ogg", "words.ogg: not an OGG Vorbis file"},
      {"folder.ogg", "folder.ogg: not a regular file"},
      {"fifo.ogg", "fifo.ogg: not a regular file"},
      {"loop.ogg", "loop.ogg: " + std::string(std::strerror(ELOOP))},
      {Long, Long + ": " + std::strerror(ENAMETOOLONG)}};
  // Root reads every folder.
  if (geteuid() != 0) {
    fs::create_directory(Dir / "locked");
    std::ofstream(Dir / "locked/music.ogg") << "x";
    fs::permissions(Dir / "locked", fs::perms::none);
    Cases.push_back({"locked/music.ogg", "locked/music.ogg: " + std::string(std::strerror(EACCES))});
  }
  const std::string Path = CopyingFfmpeg();
  for (const auto& [File, Why] : Cases) {
    SCOPED_TRACE(File.substr(0, 20));
    TRun Run = Capture("--music " + File + " --cells-at 0 --until 20 --video v.mp4", "stdout.txt", Path);
    EXPECT_EQ(Run.Code, 0);
    EXPECT_EQ(Run.Err, "vorlek-capture: " + Why + "; the capture is silent\n");
    EXPECT_EQ(ParseCellsOutput(Run.Out).size(), 1u);
    // Two frames of 640 x 400, and silence for ffmpeg instead of the file.
    EXPECT_EQ(fs::file_size(Dir / "v.mp4"), 2u * 640 * 400 * 3);
    const std::string Args = ReadFile(Dir / "bin/args.txt");
    EXPECT_NE(Args.find("anullsrc"), std::string::npos) << Args;
    EXPECT_EQ(Args.find(File), std::string::npos) << Args;
  }
  std::error_code Unlocked;
  fs::permissions(Dir / "locked", fs::perms::owner_all, Unlocked);

  // Junk after the last page: not read, and said in one line.
  std::string Music = ReadFile(Program.parent_path() / "vorlek.ogg");
  ASSERT_FALSE(Music.empty());
  std::ofstream(Dir / "tail.ogg") << Music << std::string(3000000, 'x');
  TRun Run = Capture("--music tail.ogg --until 20 --video v.mp4", "stdout.txt", Path);
  EXPECT_EQ(Run.Code, 0);
  EXPECT_EQ(Run.Err, "vorlek-capture: tail.ogg: the 3000000 bytes after the music's last page "
                     "are left unread\n");
  EXPECT_NE(ReadFile(Dir / "bin/args.txt").find("\nfile:tail.ogg\n"), std::string::npos);
}

TEST_F(CaptureRunTest, BadOptionsGiveUsageAndExitCode2) {
  for (const std::string Args : {"--step 0", "--step", "--keys 100:space", "--png-at 100",
                                 "--until -5", "--cells-at soon", "--frobnicate", "extra",
                                 "--silent --music vorlek.ogg"}) {
    TRun Run = Capture(Args);
    EXPECT_EQ(Run.Code, 2) << Args;
    EXPECT_EQ(std::count(Run.Err.begin(), Run.Err.end(), '\n'), 1) << Args << ": " << Run.Err;
    EXPECT_NE(Run.Err.find("usage:"), std::string::npos) << Args;
    EXPECT_TRUE(Run.Out.empty()) << Args;
  }
}

// --- Videos through ffmpeg

// The names in Dir apart from the captured outputs and a stand-in ffmpeg's folder.
std::vector<std::string> MadeFiles(const fs::path& Dir) {
  std::vector<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Dir)) {
    std::string Name = Entry.path().filename().string();
    if (Name != "stdout.txt" && Name != "stderr.txt" && Name != "bin") Names.push_back(Name);
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

TEST_F(CaptureRunTest, VideoWithoutFfmpegSaysSoAndLeavesNothing) {
  TRun Run = Capture("--silent --video v.mp4 --cast c.cast --until 100", "stdout.txt",
                     "PATH=/nonexistent");
  EXPECT_EQ(Run.Code, 1);
  EXPECT_NE(Run.Err.find("--video needs ffmpeg"), std::string::npos) << Run.Err;
  EXPECT_EQ(MadeFiles(Dir), std::vector<std::string>{});
}

// A recording takes its name only once complete, through a hidden file beside what the name
// leads to: a link stays a link, a file replaced keeps its permissions. What is no regular file
// is refused for a video and written directly for a cast (a stream); a failure says why.
TEST_F(CaptureRunTest, RecordingsReplaceOnlyRegularFilesAndOnlyWhole) {
  const std::string Path = CopyingFfmpeg();
  fs::create_directory(Dir / "out");
  fs::create_symlink("out/real.mp4", Dir / "link.mp4");  // to a file not made yet
  std::ofstream(Dir / "kept.cast") << "old\n";
  fs::permissions(Dir / "kept.cast", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TRun Run = Capture("--silent --until 100 --video link.mp4 --cast kept.cast", "stdout.txt", Path);
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  EXPECT_TRUE(fs::is_symlink(Dir / "link.mp4"));
  EXPECT_EQ(fs::file_size(Dir / "out/real.mp4"), 7u * 640 * 400 * 3);  // clock 0, 16, ... 96
  EXPECT_EQ(ReadCast(Dir / "kept.cast").size(), 7u);
  EXPECT_EQ(fs::status(Dir / "kept.cast").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(MadeFiles(Dir), (std::vector<std::string>{"kept.cast", "link.mp4", "out"}));
  EXPECT_EQ(MadeFiles(Dir / "out"), std::vector<std::string>{"real.mp4"});

  ASSERT_EQ(mkfifo((Dir / "fifo.mp4").c_str(), 0600), 0);
  const std::pair<std::string, std::string> Refused[] = {
      {"--video fifo.mp4", "cannot write fifo.mp4: it is a FIFO; name a regular file or a new one"},
      {"--video out", "cannot write out: it is a folder"},
      {"--video none/v.mp4", "cannot write none/v.mp4: " + std::string(std::strerror(ENOENT))},
      {"--cast /dev/full", "cannot write /dev/full: " + std::string(std::strerror(ENOSPC))}};
  for (const auto& [Args, Why] : Refused) {
    Run = Capture("--silent --until 100 " + Args, "stdout.txt", Path);
    EXPECT_EQ(Run.Code, 1) << Args;
    EXPECT_EQ(Run.Err, "vorlek-capture: " + Why + "\n") << Args;
  }
  EXPECT_EQ(fs::status(Dir / "fifo.mp4").type(), fs::file_type::fifo);
  EXPECT_EQ(MadeFiles(Dir), (std::vector<std::string>{"fifo.mp4", "kept.cast", "link.mp4", "out"}));
}

// ffmpeg stuck (here never reading, as on a FIFO given as its input): SIGTERM still ends the
// capture, removes the partial recordings and leaves the old ones; ffmpeg goes with it, and
// with a capture killed outright too.
TEST_F(CaptureRunTest, VideoEndsWithTheCaptureHoweverItEnds) {
  const std::string Path = FakeFfmpeg("echo $$ > bin/pid.txt\nexec sleep 300");
  ASSERT_EQ(mkfifo((Dir / "fifo.ogg").c_str(), 0600), 0);
  std::ofstream(Dir / "old.cast") << "old\n";
  auto EncoderStarted = [&] {
    for (int Wait = 0; Wait < 1000 && ReadFile(Dir / "bin/pid.txt").empty(); ++Wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return std::atoi(ReadFile(Dir / "bin/pid.txt").c_str());
  };
  auto Ended = [](pid_t Pid) {
    for (int Wait = 0; Wait < 250; ++Wait) {
      std::string Stat = ReadFile("/proc/" + std::to_string(Pid) + "/stat");
      if (Stat.empty() || Stat.find(") Z ") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  };
  for (int Signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(strsignal(Signal));
    fs::remove(Dir / "bin/pid.txt");
    const pid_t Capture = StartCapture("--music fifo.ogg --video v.mp4 --cast old.cast", Path);
    const pid_t Encoder = EncoderStarted();
    ASSERT_GT(Encoder, 0);
    // Well into the first frame, which ffmpeg never takes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(Capture, Signal);
    const int Code = WaitFor(Capture, 20);
    if (!Ended(Encoder)) {
      ADD_FAILURE() << "ffmpeg outlived the capture";
      kill(Encoder, SIGKILL);
    }
    if (Signal == SIGKILL) {
      EXPECT_EQ(Code, 128 + SIGKILL);
      continue;
    }
    EXPECT_EQ(Code, 1);
    EXPECT_EQ(ReadFile(Dir / "stderr.txt"),
              "vorlek-capture: fifo.ogg: not a regular file; the capture is silent\n"
              "vorlek-capture: interrupted\n");
    EXPECT_EQ(ReadFile(Dir / "old.cast"), "old\n");
    EXPECT_EQ(MadeFiles(Dir), (std::vector<std::string>{"fifo.ogg", "old.cast"}));
  }
}

TEST_F(CaptureRunTest, VideoHasTheFramesAndTheMusic) {
  if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0)
    GTEST_SKIP() << "ffmpeg and ffprobe are not installed (Debian: apt install ffmpeg)";
  auto Probe = [&](const std::string& Video) {
    const std::string Command = "ffprobe -v error -count_frames -show_entries "
                                "stream=codec_name,width,height,r_frame_rate,nb_read_frames "
                                "-of compact '" + (Dir / Video).string() + "' >'" +
                                (Dir / "probe.txt").string() + "'";
    EXPECT_EQ(std::system(Command.c_str()), 0) << Video;
    return ReadFile(Dir / "probe.txt");
  };
  const fs::path Music = Program.parent_path() / "vorlek.ogg";
  TRun Run = Capture("--video v.mp4 --scale 2 --until 500 --music '" + Music.string() + "'");
  ASSERT_EQ(Run.Code, 0) << Run.Err;
  EXPECT_EQ(MadeFiles(Dir), std::vector<std::string>{"v.mp4"});
  std::string Found = Probe("v.mp4");
  // Frames at clock 0, 16, ..., 496: 32 of them, 1280 x 800, 62.5 a second.
  EXPECT_NE(
      Found.find("codec_name=h264|width=1280|height=800|r_frame_rate=125/2|nb_read_frames=32"),
      std::string::npos)
      << Found;
  EXPECT_NE(Found.find("codec_name=aac"), std::string::npos) << Found;

  // Music that cannot be played: the video all the same, with a sound track of silence.
  std::ofstream(Dir / "words.ogg") << "not music";
  Run = Capture("--video w.mp4 --until 100 --music words.ogg");
  EXPECT_EQ(Run.Code, 0);
  EXPECT_EQ(Run.Err, "vorlek-capture: words.ogg: not an OGG Vorbis file; the capture is silent\n");
  Found = Probe("w.mp4");
  EXPECT_NE(Found.find("codec_name=h264|width=640|height=400|r_frame_rate=125/2|nb_read_frames=7"),
            std::string::npos)
      << Found;
  EXPECT_NE(Found.find("codec_name=aac"), std::string::npos) << Found;
}

// --- The programs as a user meets them: their help, and a fresh install

TEST_F(CaptureRunTest, HelpAndVersionPrintOnlyThemselves) {
  for (const std::string Name : {"vorlek", "vorlek-capture"}) {
    for (const std::string Argument : {"--help", "-h", "--version"}) {
      SCOPED_TRACE(Name + " " + Argument);
      TRun Result = Run("'" + (Program.parent_path() / Name).string() + "' " + Argument);
      EXPECT_EQ(Result.Code, 0);
      EXPECT_EQ(Result.Err, "");
      EXPECT_EQ(Result.Out.find('\x1b'), std::string::npos);  // nothing for a terminal
      const std::string Start = Argument == "--version" ? Name + " " : "usage: " + Name + " ";
      EXPECT_EQ(Result.Out.rfind(Start, 0), 0u) << Result.Out;
    }
  }
  // What a newcomer needs: keys, the argument, the music and what is read from outside.
  TRun Help = Run("'" + (Program.parent_path() / "vorlek").string() + "' --help");
  for (const char* Word : {"Right", "Left", "Escape", "  1 ", "vorlek.ogg", "COLORTERM"})
    EXPECT_NE(Help.Out.find(Word), std::string::npos) << Word;
  Help = Capture("--help");
  for (const char* Word : {"--video", "--scale", "vorlek.ogg", "PATH"})
    EXPECT_NE(Help.Out.find(Word), std::string::npos) << Word;
}

TEST_F(CaptureRunTest, InstalledProgramsFindTheirMusicFromAnyFolder) {
  const fs::path Prefix = Dir / "prefix";
  TRun Install = Run("'" VORLEK_CMAKE_COMMAND "' --install '" + Program.parent_path().string() +
                     "' --prefix '" + Prefix.string() + "'");
  ASSERT_EQ(Install.Code, 0) << Install.Out << Install.Err;
  for (const char* File : {"bin/vorlek", "bin/vorlek-capture", "share/vorlek/vorlek.ogg",
                           "share/man/man1/vorlek.1", "share/man/man1/vorlek-capture.1"})
    EXPECT_TRUE(fs::is_regular_file(Prefix / File)) << File;

  // A few seconds from a folder without music: the installed track is found (a missing one is
  // reported), and the prompt shows where the show runs.
  const std::string Installed = "'" + (Prefix / "bin/vorlek-capture").string() + "'";
  TRun Played = Run(Installed + " --cells-at 100 --until 3000");
  EXPECT_EQ(Played.Code, 0);
  EXPECT_EQ(Played.Err, "");
  EXPECT_EQ(Played.Out.rfind("@ 100\n" + Dir.string() + ">", 0), 0u) << Played.Out.substr(0, 200);
  TRun Missing = Run(Installed + " --music absent.ogg --until 100");
  EXPECT_EQ(Missing.Code, 0);
  EXPECT_NE(Missing.Err.find("no music: absent.ogg"), std::string::npos) << Missing.Err;
}

}  // namespace
