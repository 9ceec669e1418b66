// The built vorlek against a terminal that the test plays itself on a pseudo-terminal: one that
// answers the cell-size query late, one that draws slowly and answers status requests late, one
// that never answers, and the Linux console's palette on every way out.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/FlowControl.h"
#include "tests/driver/PtyShow.h"
#include "tests/terminal/VTermScreen.h"

namespace {

const std::string StatusRequest = "\x1b[5n", StatusAnswer = "\x1b[0n", CellQuery = "\x1b[16t",
                  FrameStart = "\x1b[?2026h", CloseMark = "\x1b[?1049l";

// The terminal at the far end of a link that reads all the show writes at once (as ssh with its
// large windows does) and draws it at Rate bytes a second, so that what the show sends too fast
// queues here and not in the show. A status request is answered StatusDelay seconds after it is
// drawn (never, with AnswerStatus false).
struct TFarEndOptions {
  double Rate = 0;  // 0: drawn as it comes
  double StatusDelay = 0;
  bool AnswerStatus = true;
  std::vector<std::pair<double, std::string>> Keys;  // typed at seconds from the first frame
};

class TFarEnd {
 public:
  TFarEnd(TPtyOptions Pty, TFarEndOptions Options_, TVTermScreen* Screen_ = nullptr)
      : Show(std::move(Pty)), Options(std::move(Options_)), Screen(Screen_),
        Start(std::chrono::steady_clock::now()) {}

  double Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  }
  // Plays the terminal for up to Seconds more, until Done holds.
  template <typename TDone>
  bool RunUntil(double Seconds, TDone Done) {
    const double Until = Now() + Seconds;
    while (Now() < Until) {
      Step();
      if (Done()) return true;
    }
    return false;
  }
  void RunFor(double Seconds) {
    RunUntil(Seconds, [] { return false; });
  }
  // Plays on until the show has ended and all it wrote is drawn, up to Seconds; the wait status
  // then, -1 when the show still runs.
  int Finish(double Seconds) {
    int Status = -1;
    RunUntil(Seconds, [&] { return Show.Ended(Status) && Drawn == Show.Output.size(); });
    return Drawn == Show.Output.size() ? Status : -1;
  }
  // How many of Times fall in [From, To).
  static int Count(const std::vector<double>& Times, double From, double To) {
    return int(std::count_if(Times.begin(), Times.end(), [&](double T) { return T >= From && T < To; }));
  }

  TPtyShow Show;
  // When each was drawn, in seconds from the start.
  std::vector<double> Requests, Queries, Frames, Closes;
  int Answered = 0;
  std::vector<double> Sent;      // when each status request before the give-back was read
  std::vector<double> Written;   // when each frame was read, drawn or not
  std::vector<double> KeyTimes;  // when each key was typed
  int MaxOutstanding = 0;        // status requests written and not answered yet, at most
  double EndedAt = -1;           // when the show's end was seen
  size_t Drawn = 0;              // of Show.Output

 private:
  void Step() {
    if (!Show.ReadSome(2)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (Show.ReadSome(0)) {
    }
    const double At = Now();
    int Status = 0;
    if (EndedAt < 0 && Show.Ended(Status)) EndedAt = At;
    // Before the give-back: the request behind the closing bytes goes out whatever is outstanding.
    Scan(CloseMark, SentCloses, At, Show.Output.size());
    Scan(StatusRequest, Sent, At, SentCloses.empty() ? Show.Output.size() : FirstClose);
    Scan(FrameStart, Written, At, Show.Output.size());
    // A burst is never more than 20 ms of the rate: a quiet moment lends no speed.
    Credit = Options.Rate > 0 ? std::min(Credit + Options.Rate * (At - Last), Options.Rate * 0.02) : 0;
    Last = At;
    size_t To = Show.Output.size();
    if (Options.Rate > 0) To = std::min(To, Drawn + size_t(std::max(0.0, Credit)));
    if (To > Drawn) {
      if (Screen) Screen->Feed(Show.Output.substr(Drawn, To - Drawn));
      Credit -= double(To - Drawn);
      Drawn = To;
      Scan(StatusRequest, Requests, At, Drawn);
      Scan(CellQuery, Queries, At, Drawn);
      Scan(FrameStart, Frames, At, Drawn);
      Scan(CloseMark, Closes, At, Drawn);
    }
    while (!Answers.empty() && Answers.front() <= At) {
      Answers.pop_front();
      Show.Type(StatusAnswer);
      ++Answered;
    }
    // Keys are timed from the first frame: the show's clock starts about then.
    while (!Frames.empty() && NextKey < Options.Keys.size() && Frames[0] + Options.Keys[NextKey].first <= At) {
      Show.Type(Options.Keys[NextKey].second);
      KeyTimes.push_back(At);
      ++NextKey;
    }
    // The show's own count: what it wrote, not only what was drawn, waits for an answer.
    MaxOutstanding = std::max(MaxOutstanding, int(Sent.size()) - Answered);
  }
  // Notes each whole Text among the bytes before Limit since the last scan for it.
  void Scan(const std::string& Text, std::vector<double>& Times, double At, size_t Limit) {
    size_t& From = ScanFrom[&Times];
    if (Limit < From + Text.size()) return;
    const std::string_view Bytes = std::string_view(Show.Output).substr(0, Limit);
    for (size_t Found; (Found = Bytes.find(Text, From)) != std::string::npos;) {
      Times.push_back(At);
      From = Found + Text.size();
      if (&Times == &SentCloses && Times.size() == 1) FirstClose = Found;
      if (&Times == &Requests && Options.AnswerStatus) Answers.push_back(At + Options.StatusDelay);
    }
    // A part of Text at the end may be completed by the next bytes.
    From = std::max(From, Limit - Text.size() + 1);
  }

  TFarEndOptions Options;
  TVTermScreen* Screen;
  std::chrono::steady_clock::time_point Start;
  double Last = 0, Credit = 0;
  std::deque<double> Answers;  // when each answer is due, in order
  size_t NextKey = 0;
  std::map<const std::vector<double>*, size_t> ScanFrom;
  std::vector<double> SentCloses;
  size_t FirstClose = 0;
};

}  // namespace

namespace {

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
  ASSERT_EQ(Far.Queries.size(), 1u);
  Far.RunFor(1);
  EXPECT_TRUE(ShowsPicture(Screen, 20, 5, 160, 2)) << "the picture changed with no answer";
  Far.Show.Type("\x1b[6;8;8t");
  EXPECT_TRUE(Far.RunUntil(10, [&] { return ShowsPicture(Screen, 60, 5, 80, 1); }));
  // The answer is no key: the show goes on.
  Far.RunFor(0.5);
  int Status = 0;
  EXPECT_FALSE(Far.Show.Ended(Status));
  EXPECT_TRUE(ShowsPicture(Screen, 60, 5, 80, 1));
  Far.Show.Type("\x1b");
  Status = Far.Finish(20);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
}

// A terminal that draws 64 KB a second (a slow link) and answers each status request 50 ms after
// drawing it: the show never has more than six requests unanswered, so it sends far fewer frames
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
  ASSERT_FALSE(Local.Requests.empty());
  const double LastAsked = Local.Requests.back() - Local.Requests.front();
  EXPECT_LT(LastAsked, 1.5) << "asked on after the first second";
  const double Shown = Local.Frames.front();
  const int LocalFrames = TFarEnd::Count(Local.Written, Shown + 1.5, Shown + 3);
  EXPECT_GE(LocalFrames, 10) << "frames held back for a terminal that never answers";
  EXPECT_EQ(Occurrences(Local.Show.Output, StatusRequest, Local.Show.Output.rfind(CloseMark)), 0);

  TFarEndOptions Slow;
  Slow.Rate = 65536;
  Slow.StatusDelay = 0.05;
  Slow.Keys = Keys;
  TFarEnd Far(Xterm(), Slow);
  ASSERT_TRUE(Far.Show.Started());
  // Long enough for the show's end and its drawing, not for a backlog of many seconds.
  Status = Far.Finish(15);
  ASSERT_EQ(Far.KeyTimes.size(), Keys.size());
  EXPECT_EQ(Far.MaxOutstanding, TFlowControl::DefaultMaxOutstanding);
  const int SlowFrames = TFarEnd::Count(Far.Written, Far.Frames.front() + 1.5, Far.Frames.front() + 3);
  EXPECT_LT(SlowFrames * 2, LocalFrames) << "frames were not skipped";
  const double Escape = Far.KeyTimes.back();
  ASSERT_GE(Far.EndedAt, 0) << "the show did not end";
  EXPECT_LT(Far.EndedAt - Escape, 2.5);
  ASSERT_EQ(Far.Closes.size(), 1u) << "the terminal was not given back: a backlog";
  EXPECT_LT(Far.Closes.back() - Escape, 2.0) << "the terminal was given back after a backlog";
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
  std::printf("frames from 1.5 s to 3 s: %d with a terminal that keeps up, %d at 64 KB/s; given back "
              "%.2f s after Escape\n", LocalFrames, SlowFrames, Far.Closes.back() - Escape);
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
      Show.Type("\x1a");
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
      Show.Type("\x1b");
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
