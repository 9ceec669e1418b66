// The built vorlek against a terminal that the test plays itself on a pseudo-terminal: one that
// answers the cell-size query late, one that draws slowly and answers status requests late, one
// whose answers come split, one that never answers, and the Linux console's palette on every way
// out.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "harness/FarEnd.h"
#include "harness/RepeatScan.h"

namespace {

const std::string StatusRequest = "\x1b[5n", FrameStart = "\x1b[?2026h", CloseMark = "\x1b[?1049l";

// A terminal of the xterm kind that says nothing of its cell (no pixel size), and no cell shape
// from the user.
TPtyOptions Xterm(int Columns = 80, int Rows = 50) {
  TPtyOptions Options;
  Options.Environment = {"TERM=xterm-256color", "VORLEK_CELL=", "COLORTERM="};
  Options.Columns = Columns;
  Options.Rows = Rows;
  return Options;
}

int Occurrences(const std::string& Text, const std::string& Part, size_t From = 0) {
  int Count = 0;
  for (size_t At = From; (At = Text.find(Part, At)) != std::string::npos; At += Part.size()) ++Count;
  return Count;
}

// The intro's first line: the prompt of the folder the show runs in.
std::u32string Prompt() {
  char* Folder = realpath(std::getenv("VORLEK_BUILD_DIR"), nullptr);
  std::u32string Text;
  for (const char* C = Folder; C && *C; ++C) Text += char32_t(uint8_t(*C));
  free(Folder);
  Text += U'>';
  return Text.substr(0, 30);
}

// Whether the screen shows Prompt at Row from Left, each character Repeat times, and nothing
// outside the Width x 50 picture there.
bool ShowsPicture(const TVTermScreen& Screen, int Left, int Top, int Width, int Repeat) {
  const std::u32string Text = Prompt();
  for (size_t I = 0; I < Text.size() * size_t(Repeat); ++I)
    if (Screen.Glyph(Top, Left + int(I)) != Text[I / size_t(Repeat)]) return false;
  for (int Row = 0; Row < Screen.Rows; ++Row)
    for (int Column = 0; Column < Screen.Columns; ++Column) {
      const bool Inside = Row >= Top && Row < Top + 50 && Column >= Left && Column < Left + Width;
      if (!Inside && Screen.Glyph(Row, Column) != U' ') return false;
    }
  return true;
}

// A terminal that reports no pixel size gets the picture for tall cells at once, and a cell-size
// answer that comes a second later (square cells) lays it out again, one cell per cell, centred,
// with the old picture's columns wiped.
TEST(FarEndTest, ALateCellSizeAnswerLaysThePictureOutAgain) {
  TVTermScreen Screen(60, 200);
  TFarEnd Far(Xterm(200, 60), {}, &Screen);
  ASSERT_TRUE(Far.Show.Started());
  // 160 x 50 from column 20: every show column twice.
  EXPECT_TRUE(Far.RunUntil(20, [&] { return ShowsPicture(Screen, 20, 5, 160, 2); }));
  ASSERT_EQ(Far.Drawn.CellSizeRequests.size(), 1u);
  Far.RunFor(1);
  EXPECT_TRUE(ShowsPicture(Screen, 20, 5, 160, 2)) << "the picture changed with no answer";
  EXPECT_TRUE(Far.Show.Type("\x1b[6;8;8t"));
  EXPECT_TRUE(Far.RunUntil(10, [&] { return ShowsPicture(Screen, 60, 5, 80, 1); }));
  // The answer is no key: the show goes on.
  Far.RunFor(0.5);
  int Status = 0;
  EXPECT_FALSE(Far.Show.Ended(Status));
  EXPECT_TRUE(ShowsPicture(Screen, 60, 5, 80, 1));
  EXPECT_TRUE(Far.Show.Type("\x1b"));
  Status = Far.Finish(20);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
}

// A terminal that reports where its cursor stands after the show's test (libvterm repeats every
// glyph) gets runs of one glyph as REPs and shows the picture; one that does not report gets none.
TEST(FarEndTest, ATerminalThatRepeatsGetsRunsAsRepeats) {
  for (const bool Reports : {true, false}) {
    SCOPED_TRACE(Reports ? "reports" : "silent");
    TVTermScreen Screen(50, 80);
    TFarEndOptions Options;
    Options.AnswerCursor = Reports;
    TFarEnd Far(Xterm(), Options, &Screen);
    ASSERT_TRUE(Far.Show.Started());
    EXPECT_TRUE(Far.RunUntil(20, [&] { return ShowsPicture(Screen, 0, 0, 80, 1); }));
    Far.RunFor(3);
    EXPECT_EQ(RepeatOffsets(Far.Show.Output, Far.Show.Output.find(FrameStart)).empty(), !Reports);
    EXPECT_TRUE(Far.Show.Type("\x1b"));
    const int Status = Far.Finish(20);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  }
}

// A terminal that draws 64 KB a second (a slow link) and answers each status request 50 ms after
// drawing it: the show never writes more ahead than the link carries in a round trip and a tenth
// of a second, so it sends far fewer frames
// than a terminal that keeps up gets, Escape gives the terminal back at once instead of after a
// backlog, and the last request is the one behind the closing bytes. A terminal that never
// answers is asked only in the first second and then gets every frame.
TEST(FarEndTest, FlowControlFollowsTheTerminalsAnswers) {
  // Into the busy part of the show at once: the intro's first seconds write little.
  const std::vector<std::pair<double, std::string>> Keys = {
      {0.1, "\x1b[C"}, {0.2, "\x1b[C"}, {0.3, "\x1b[C"}, {3.0, "\x1b"}};
  TFarEndOptions Silent;
  Silent.AnswerStatus = false;
  Silent.Keys = Keys;
  TFarEnd Local(Xterm(), Silent);
  ASSERT_TRUE(Local.Show.Started());
  int Status = Local.Finish(20);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  ASSERT_EQ(Local.KeyTimes.size(), Keys.size());
  ASSERT_FALSE(Local.Drawn.StatusRequests.empty());
  const double LastAsked = Local.Drawn.StatusRequests.back() - Local.Drawn.StatusRequests.front();
  EXPECT_LT(LastAsked, 1.5) << "asked on after the first second";
  const double Shown = Local.Drawn.FrameOpens.front();
  const int LocalFrames = TFarEnd::Count(Local.Written.FrameOpens, Shown + 1.5, Shown + 3);
  EXPECT_GE(LocalFrames, 10) << "frames held back for a terminal that never answers";
  EXPECT_EQ(Occurrences(Local.Show.Output, StatusRequest, Local.Show.Output.rfind(CloseMark)), 0);

  TFarEndOptions Slow;
  Slow.Rate = 65536;
  Slow.AnswerDelay = 0.05;
  Slow.Keys = Keys;
  TFarEnd Far(Xterm(), Slow);
  ASSERT_TRUE(Far.Show.Started());
  // Long enough for the show's end and its drawing, not for a backlog of many seconds.
  Status = Far.Finish(15);
  ASSERT_EQ(Far.KeyTimes.size(), Keys.size());
  // Never more in flight than the link carries in a round trip and a tenth of a second, and a
  // frame: the lag of every frame after the first answers.
  const std::vector<double> Lag(Far.FrameLag.begin() + std::ptrdiff_t(Far.FrameLag.size() / 4), Far.FrameLag.end());
  ASSERT_FALSE(Lag.empty());
  EXPECT_LT(*std::max_element(Lag.begin(), Lag.end()), 0.45);
  const double SlowShown = Far.Drawn.FrameOpens.front();
  const int SlowFrames = TFarEnd::Count(Far.Written.FrameOpens, SlowShown + 1.5, SlowShown + 3);
  EXPECT_LT(SlowFrames * 2, LocalFrames) << "frames were not skipped";
  const double Escape = Far.KeyTimes.back();
  ASSERT_GE(Far.EndedAt, 0) << "the show did not end";
  EXPECT_LT(Far.EndedAt - Escape, 2.5);
  ASSERT_EQ(Far.Drawn.GiveBacks.size(), 1u) << "the terminal was not given back: a backlog";
  EXPECT_LT(Far.Drawn.GiveBacks.back() - Escape, 2.0) << "the terminal was given back after a backlog";
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  // One request follows the closing bytes, and nothing is asked after it; then only the note on
  // the frames that were left out, on standard error.
  const std::string AfterClose = Far.Show.Output.substr(Far.Show.Output.rfind(CloseMark));
  EXPECT_EQ(Occurrences(AfterClose, StatusRequest), 1);
  const std::string Rest = AfterClose.substr(AfterClose.rfind(StatusRequest) + StatusRequest.size());
  EXPECT_EQ(Rest.rfind("vorlek: the terminal showed frames slower than the show made them: ", 0), 0u) << Rest;
  EXPECT_NE(Rest.find(" frames were left out to stay in time\r\n"), std::string::npos) << Rest;
  EXPECT_EQ(Local.Show.Output.find("were left out"), std::string::npos);  // the one that kept up
  EXPECT_TRUE(Far.Show.ModeGivenBack());
  EXPECT_EQ(Far.LostWrites + Local.LostWrites, 0);
  std::printf("frames from 1.5 s to 3 s: %d with a terminal that keeps up, %d at 64 KB/s; given back "
              "%.2f s after Escape\n", LocalFrames, SlowFrames, Far.Drawn.GiveBacks.back() - Escape);
}

// The show run by a shell, which says when it is back and then waits a while, echoing what it is
// typed meanwhile as the terminal's line editing does (an answer shows as "^[[0n"): no answer to
// the show's requests may reach it, however slow the link or late the answers. A slow link with
// Escape in the busy part; Ctrl-C 0.25 s after the start with answers 300 ms late; Escape before
// the first answer of a terminal that answers 1.5 s late, after the first second of asking.
TEST(FarEndTest, NoAnswerReachesTheShellAfterTheShow) {
  struct TCase {
    const char* Name;
    double Rate, AnswerDelay;
    std::vector<std::pair<double, std::string>> Keys;
  };
  const std::vector<TCase> Cases = {
      {"256 kbit/s", 32768, 0.1, {{0.1, "\x1b[C"}, {0.2, "\x1b[C"}, {0.3, "\x1b[C"}, {3.0, "\x1b"}}},
      {"Ctrl-C", 0, 0.3, {{0.25, "\x03"}}},
      {"after the first second", 0, 1.5, {{1.2, "\x1b"}}}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TPtyOptions Shell = Xterm();
    Shell.Program = "/bin/sh";
    // The shell outlives an interrupt of the show.
    Shell.Args = {"-c", "trap : INT; ./vorlek; echo back-in-the-shell; sleep 1.5"};
    TFarEndOptions Options;
    Options.Rate = Case.Rate;
    Options.AnswerDelay = Case.AnswerDelay;
    Options.CellSizeAnswer = "\x1b[6;16;8t";
    Options.AnswerCursor = true;  // the test of REP
    Options.Keys = Case.Keys;
    TVTermScreen Screen(50, 80);
    TFarEnd Far(Shell, Options, &Screen);
    ASSERT_TRUE(Far.Show.Started());
    const int Status = Far.Finish(30);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
    const size_t Back = Far.Show.Output.find("back-in-the-shell");
    ASSERT_NE(Back, std::string::npos);
    ASSERT_FALSE(Far.KeyTimes.empty());
    // Some answers came, and none after the show: the shell echoes nothing.
    EXPECT_GT(Far.Answered, 0);
    EXPECT_EQ(Far.Show.Output.substr(Back), "back-in-the-shell\r\n") << Far.Answered << " answers";
    ASSERT_EQ(Far.Drawn.GiveBacks.size(), 1u);
    EXPECT_LT(Far.Drawn.GiveBacks.back() - Far.KeyTimes.back(), 3.0) << "a long wait at the end";
  }
}

// A terminal that answers for three seconds and then never again: after a second more, every
// frame is written, as to a terminal that never answered.
TEST(FarEndTest, ATerminalThatStopsAnsweringGetsEveryFrame) {
  TFarEndOptions Options;
  Options.AnswerUntil = 3;
  Options.Keys = {{0.1, "\x1b[C"}, {0.2, "\x1b[C"}, {0.3, "\x1b[C"}, {6.0, "\x1b"}};
  TFarEnd Far(Xterm(), Options);
  ASSERT_TRUE(Far.Show.Started());
  const int Status = Far.Finish(20);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  const double Start = Far.FirstFrameAt;
  const int Before = TFarEnd::Count(Far.Written.FrameOpens, Start + 1.5, Start + 3);
  const int After = TFarEnd::Count(Far.Written.FrameOpens, Start + 4.5, Start + 6);
  EXPECT_GE(After * 10, Before * 8) << Before << " frames while it answered, " << After << " after";
}

// A link that splits every answer, its ESC ahead of the rest (35 ms: just beyond a lone Escape's
// wait; 300 ms, the cell-size answer's too): no report acts as Escape, and the show plays on,
// taking the answers, until the Escape typed ends it.
TEST(FarEndTest, AReportSplitInTimeIsNoEscape) {
  for (double Split : {0.035, 0.3}) {
    TFarEndOptions Options;
    Options.AnswerSplit = Split;
    Options.CellSizeAnswer = "\x1b[6;16;8t";
    Options.Keys = {{2.0, "\x1b"}};
    TFarEnd Far(Xterm(), Options);
    ASSERT_TRUE(Far.Show.Started());
    const int Status = Far.Finish(20);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Split << ": wait status " << Status;
    ASSERT_TRUE(Far.EscapeAt) << Split << ": the show ended before Escape was typed";
    EXPECT_GT(Far.EndedAt, *Far.EscapeAt) << Split;
    EXPECT_GT(Far.StatusAnswered, 3) << Split;
  }
}

// The state letter of a process in /proc (T when stopped), empty once it is gone.
std::string ProcessState(pid_t Pid) {
  FILE* File = std::fopen(("/proc/" + std::to_string(Pid) + "/stat").c_str(), "r");
  if (!File) return "";
  char Line[1024] = {};
  size_t Count = std::fread(Line, 1, sizeof Line - 1, File);
  std::fclose(File);
  std::string Stat(Line, Count);
  size_t Name = Stat.rfind(')');
  return Name == std::string::npos || Name + 2 >= Stat.size() ? "" : Stat.substr(Name + 2, 1);
}

// What the Linux console got, in order: P for a palette of 16 entries (each index once, as
// "ESC ] P" index and six hex digits), F for frames (one letter for a run of them), R for the
// palette's reset followed by the screen cleared. Anything else gives '?'.
std::string ConsoleOrder(const std::string& Output) {
  const std::string Palette = "\x1b]P", Reset = "\x1b]R", Clear = "\x1b[H\x1b[2J";
  std::string Order;
  for (size_t At = 0; At < Output.size(); ++At) {
    if (Output.compare(At, FrameStart.size(), FrameStart) == 0) {
      if (Order.empty() || Order.back() != 'F') Order += 'F';
    } else if (Output.compare(At, Reset.size(), Reset) == 0) {
      Order += Output.compare(At + Reset.size(), Clear.size(), Clear) == 0 ? "R" : "?";
    } else if (Output.compare(At, Palette.size(), Palette) == 0) {
      std::string Indices;
      for (; Output.compare(At, Palette.size(), Palette) == 0; At += Palette.size() + 7) {
        const std::string Entry = Output.substr(At + Palette.size(), 7);
        if (Entry.size() != 7 || Entry.find_first_not_of("0123456789abcdef") != std::string::npos)
          return Order + "?";
        Indices += Entry[0];
      }
      Order += Indices == "0123456789abcdef" ? "P" : "?";
      --At;
    }
  }
  return Order;
}

// On the Linux console the show's palette comes before its first frame and is reset after its
// last, with the screen cleared, whatever ends it; after Ctrl-Z and a continue it is set again.
TEST(LinuxConsoleTest, ThePaletteIsSetFirstAndResetLastOnEveryWayOut) {
  struct TCase {
    const char* Name;
    int Signal;        // sent to end the show, or 0 for Escape
    bool Suspend;      // Ctrl-Z and a continue first
    std::string Order;
  };
  for (const TCase& Case : {TCase{"Escape", 0, false, "PFR"}, TCase{"SIGTERM", SIGTERM, false, "PFR"},
                            TCase{"SIGUSR1", SIGUSR1, false, "PFR"}, TCase{"Ctrl-Z", 0, true, "PFRPFR"}}) {
    SCOPED_TRACE(Case.Name);
    TPtyOptions Options;
    Options.Environment = {"TERM=linux", "VORLEK_CELL=", "COLORTERM=truecolor"};
    Options.JobControl = true;
    TPtyShow Show(Options);
    ASSERT_TRUE(Show.Started());
    ASSERT_TRUE(Show.ReadUntil(FrameStart, 20));
    Show.ReadUntil("never", 0.3);
    if (Case.Suspend) {
      EXPECT_TRUE(Show.Type("\x1a"));
      ASSERT_TRUE(Show.ReadUntil("\x1b]R", 10));
      for (int Try = 0; Try < 200 && ProcessState(Show.Pid()) != "T"; ++Try) Show.ReadUntil("never", 0.05);
      ASSERT_EQ(ProcessState(Show.Pid()), "T") << "not stopped";
      Show.Signal(SIGCONT);
      const size_t Back = Show.Output.size();
      ASSERT_TRUE(Show.ReadUntil(FrameStart, 20, Back));
      Show.ReadUntil("never", 0.3);
    }
    if (Case.Signal)
      Show.Signal(Case.Signal);
    else
      EXPECT_TRUE(Show.Type("\x1b"));
    int Status = Show.Finish(20);
    ASSERT_NE(Status, -1) << "the show did not end";
    if (Case.Signal == SIGUSR1)
      EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGUSR1) << "wait status " << Status;
    else
      EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == (Case.Signal ? 128 + Case.Signal : 0))
          << "wait status " << Status;
    EXPECT_EQ(ConsoleOrder(Show.Output), Case.Order);
    // The console's colour rules: no 24-bit colour, whatever COLORTERM says.
    EXPECT_EQ(Show.Output.find("38;2;"), std::string::npos);
    EXPECT_EQ(Show.Output.find("48;2;"), std::string::npos);
    EXPECT_TRUE(Show.ModeGivenBack());
  }
}

}  // namespace
