// Runs the real vorlek inside tmux, or on a pseudo-terminal of the test's own, and checks that it
// takes the terminal and gives it back whatever ends it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "terminal/Cp437.h"
#include "terminal/RowPlanner.h"
#include "terminal/TerminalEncoder.h"
#include "terminal/TerminalLayout.h"
#include "harness/PtyShow.h"

namespace {

std::string Capture(const std::string& Command) {
  std::string Out;
  FILE* Pipe = popen(Command.c_str(), "r");
  if (!Pipe) return Out;
  char Buffer[512];
  size_t Count;
  while ((Count = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Out.append(Buffer, Count);
  pclose(Pipe);
  while (!Out.empty() && (Out.back() == '\n' || Out.back() == '\r')) Out.pop_back();
  return Out;
}

// Asks Done every 50 ms until it holds, up to Seconds; whether it held.
template <typename TDone>
bool WaitUntil(TDone Done, double Seconds) {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
  while (!Done()) {
    if (std::chrono::steady_clock::now() >= Until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Rows;
  for (size_t Begin = 0, End = 0; End != std::string::npos; Begin = End + 1)
    Rows.push_back(Text.substr(Begin, (End = Text.find('\n', Begin)) - Begin));
  return Rows;
}

// What a pane shows, from its capture with escapes: tmux keeps a glyph drawn from the line-drawing
// set as the letter that chose it, between shift-out and shift-in; colours go.
std::string Shown(const std::string& Escaped) {
  std::string Text;
  bool Lines = false;
  for (size_t At = 0; At < Escaped.size(); ++At) {
    const char C = Escaped[At];
    if (C == '\x1b') {  // a control sequence, up to its final byte
      for (At += 2; At < Escaped.size() && (Escaped[At] < 0x40 || Escaped[At] > 0x7e);) ++At;
    } else if (C == '\x0e' || C == '\x0f') {
      Lines = C == '\x0e';
    } else {
      int Code = 0;
      while (Lines && Code < 256 && LineDrawingOf(uint8_t(Code)) != C) ++Code;
      Text += Lines && Code < 256 ? std::string(Cp437ToUtf8(uint8_t(Code))) : std::string(1, C);
    }
  }
  return Text;
}

class TerminalSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* BuildDir = std::getenv("VORLEK_BUILD_DIR");
    ASSERT_NE(BuildDir, nullptr);
    Build = BuildDir;
    ASSERT_EQ(std::system("command -v tmux >/dev/null"), 0) << "tmux is needed for this test";
    Tmux = "tmux -L vorlek-test-" + std::to_string(getpid()) + " -f /dev/null ";
    ASSERT_EQ(std::system((Tmux + "new-session -d -s s -x 80 -y 50 'sleep 600'").c_str()), 0);
    std::system((Tmux + "set-option -g remain-on-exit on").c_str());
    Dir = testing::TempDir() + "vorlek-session-" + std::to_string(getpid());
    std::system(("rm -rf " + Dir + " && mkdir -p " + Dir).c_str());
  }
  void TearDown() override {
    std::system((Tmux + "kill-server 2>/dev/null").c_str());
    std::system(("rm -rf " + Dir).c_str());
  }

  // Runs the show in a new window from Folder (the build folder, where the track is, by default)
  // with Redirects (by default standard error into Dir/stderr); a shell stays in the pane after
  // it, so the terminal it gets back can be inspected.
  // Environment ("NAME=value ...") is added to the show's.
  void StartShow(std::string Redirects = "", std::string Folder = "", std::string Environment = "") {
    if (Redirects.empty()) Redirects = "2>" + Dir + "/stderr";
    if (Folder.empty()) Folder = Build;
    if (!Environment.empty()) Environment = "env " + Environment + " ";
    std::string Show = "cd " + Folder + " && sh -c 'echo \\$\\$ >" + Dir + "/pid; exec " + Environment + Build +
                       "/vorlek " + Redirects + "'; echo \\$? >" + Dir + "/status.tmp; mv " + Dir +
                       "/status.tmp " + Dir + "/status; sleep 600";
    std::system((Tmux + "new-window -t s: -n show \"" + Show + "\"").c_str());
  }
  void SendKeys(const std::string& Keys) { std::system((Tmux + "send-keys -t s:show " + Keys).c_str()); }

  std::string Pane(const std::string& Format) {
    return Capture(Tmux + "display-message -p -t s:show '" + Format + "'");
  }
  // Waits until the format gives Want, up to Seconds.
  bool WaitFor(const std::string& Format, const std::string& Want, double Seconds) {
    return WaitUntil([&] { return Pane(Format) == Want; }, Seconds);
  }
  void ExpectShowRunning() {
    ASSERT_TRUE(WaitFor("#{alternate_on}", "1", 20));
    ASSERT_TRUE(WaitFor("#{pane_title}", "vorlek", 20)) << Pane("#{pane_title}");
    // A pane that still shows the show from before a stop may show the cursor the shell showed
    // meanwhile, until the show takes the terminal again.
    EXPECT_TRUE(WaitFor("#{cursor_flag}", "0", 20)) << "the cursor stays shown";
    EXPECT_EQ(Pane("#{pane_dead}"), "0");
  }
  bool Ended() { return access((Dir + "/status").c_str(), F_OK) == 0; }
  // The show's notes on standard error, but the one on frames left out: tmux draws slower on a
  // busy machine, and the show then rightly leaves out a frame or two.
  std::string Notes() {
    std::string Kept;
    for (const std::string& Line : Lines(Capture("cat " + Dir + "/stderr")))
      if (Line.rfind("vorlek: the terminal showed frames slower than the show made them: ", 0) != 0)
        Kept += (Kept.empty() ? "" : "\n") + Line;
    return Kept;
  }
  void ExpectRestoredWithStatus(const std::string& Status, double Seconds = 20) {
    WaitUntil([&] { return Ended(); }, Seconds);
    EXPECT_EQ(Capture("cat " + Dir + "/status"), Status);
    EXPECT_EQ(Pane("#{alternate_on}"), "0");
    EXPECT_EQ(Pane("#{cursor_flag}"), "1");
  }

  // The pane's rows as text, when they never fit Fits, after waiting up to Seconds.
  std::string WaitForRows(bool (*Fits)(const std::vector<std::string>&), double Seconds) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    std::string Text;
    do {
      Text = Shown(Capture(Tmux + "capture-pane -p -e -N -t s:show"));
      if (Fits(Lines(Text))) return "";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < Until);
    return Text;
  }

  std::string Build;
  std::string Tmux;
  std::string Dir;
};

TEST_F(TerminalSessionTest, EscapeEndsTheShowAndGivesTheTerminalBack) {
  StartShow();
  ExpectShowRunning();
  SendKeys("Escape");
  ExpectRestoredWithStatus("0");
}

TEST_F(TerminalSessionTest, TerminationSignalEndsTheShowLikeEscape) {
  StartShow();
  ExpectShowRunning();
  std::string Pid = Capture("cat " + Dir + "/pid");
  ASSERT_FALSE(Pid.empty());
  std::system(("kill -TERM " + Pid).c_str());
  ExpectRestoredWithStatus("143");
}

TEST_F(TerminalSessionTest, ClosedInputAndErrorReadAsEmpty) {
  // Closed, they must not become the music file or anything else the show opens.
  StartShow("<&- 2>&-");
  ExpectShowRunning();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(Ended()) << "the show ended by itself";
  std::system(("kill -TERM " + Capture("cat " + Dir + "/pid")).c_str());
  ExpectRestoredWithStatus("143");
}

TEST_F(TerminalSessionTest, CtrlZGivesTheTerminalBackAndFgTakesItAgain) {
  ASSERT_EQ(std::system("command -v bash >/dev/null"), 0) << "bash is needed for this test";
  // An interactive shell, for job control.
  std::system((Tmux + "new-window -t s: -n show \"env PS1=: bash --norc --noprofile -i\"").c_str());
  SendKeys("-l 'cd " + Build + " && ./vorlek'");
  SendKeys("Enter");
  ExpectShowRunning();
  SendKeys("C-z");
  EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 10));
  EXPECT_EQ(Pane("#{cursor_flag}"), "1");
  EXPECT_TRUE(WaitFor("#{pane_current_command}", "bash", 10));
  SendKeys("fg Enter");
  ExpectShowRunning();
  // The shell put the terminal back into line mode; the show's raw mode must be back as well.
  SendKeys("Escape");
  EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 20));
  // The screen goes back before the show has ended (it still awaits the terminal's last answers
  // and restores the keyboard's mode, discarding what was typed meanwhile): type for the shell.
  EXPECT_TRUE(WaitFor("#{pane_current_command}", "bash", 20));
  SendKeys("-l 'echo $? >" + Dir + "/status'");
  SendKeys("Enter");
  ExpectRestoredWithStatus("0");
}

// The state letter of a process in /proc (R, S, T when stopped, Z), empty once it is gone.
std::string ProcessState(const std::string& Pid) {
  std::string Stat = Capture("cat /proc/" + Pid + "/stat 2>/dev/null");
  size_t Name = Stat.rfind(')');
  return Name == std::string::npos || Name + 2 >= Stat.size() ? "" : Stat.substr(Name + 2, 1);
}

bool WaitForState(const std::string& Pid, const std::string& Want, double Seconds) {
  return WaitUntil([&] { return ProcessState(Pid) == Want; }, Seconds);
}

// Job control in an interactive shell, with what the terminal got recorded: the show takes the
// terminal only in the foreground, under a wrapper too (the wrapper stops first and the shell takes
// the terminal before the show gives it back), ends on a termination request while stopped without
// being brought back, and every title push it sends has its pop.
TEST_F(TerminalSessionTest, JobControlTakesTheTerminalOnlyInFrontAndPairsEveryTake) {
  ASSERT_EQ(std::system("command -v bash >/dev/null && test -x /usr/bin/time"), 0)
      << "bash and /usr/bin/time are needed for this test";
  std::system((Tmux + "new-window -t s: -n show \"env PS1=: bash --norc --noprofile -i\"").c_str());
  std::system((Tmux + "pipe-pane -t s:show -o 'cat >>" + Dir + "/record'").c_str());
  auto Shell = [&](const std::string& Line) {
    SendKeys("-l '" + Line + "'");
    SendKeys("Enter");
  };
  // A stop the show could not wait for (SIGSTOP; a wrapper's, after which the shell takes the
  // terminal before the show gives it back) may leave the terminal's answer to one of the show's
  // requests to the shell's line editor, which takes its last letter for one typed. Once the
  // pane shows what came after the show's last bytes (the shell's word of the stop, or the
  // screen given back), tmux has answered them all: the line is cleared before a command.
  auto ShellAgain = [&] {
    EXPECT_TRUE(WaitFor("#{pane_current_command}", "bash", 10));
    WaitUntil([&] {
      return Pane("#{alternate_on}") == "0" ||
             Capture(Tmux + "capture-pane -p -t s:show").find("Stopped") != std::string::npos;
    }, 10);
    SendKeys("C-u");
  };
  auto ShowPid = [&] {
    std::string Pid;
    for (int Try = 0; Try < 100 && (Pid = Capture("cat " + Dir + "/pid 2>/dev/null")).empty(); ++Try)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::remove((Dir + "/pid").c_str());
    return Pid;
  };
  const std::string Show = "sh -c \"echo \\$\\$ >" + Dir + "/pid; exec ./vorlek\"";
  const std::string Push = "\x1b[22;0t", Pop = "\x1b[23;0t";
  // Where the pane still shows the show from before a stop, it is not yet its own again until it
  // takes the terminal once more, which sets the keyboard's mode and drops keys typed meanwhile:
  // the Nth take is the Nth title push the terminal got.
  auto WaitForTake = [&](int Take) {
    for (int Try = 0; Try < 400; ++Try) {
      const std::string Record = Capture("cat " + Dir + "/record");
      int Pushes = 0;
      for (size_t At = 0; (At = Record.find(Push, At)) != std::string::npos; ++At) ++Pushes;
      if (Pushes >= Take) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  };
  Shell("cd " + Build);

  // Started in the background, it stops before it touches the terminal; fg brings it.
  Shell(Show + " &");
  std::string Pid = ShowPid();
  ASSERT_TRUE(WaitForState(Pid, "T", 10));
  EXPECT_EQ(Pane("#{alternate_on}"), "0");
  Shell("fg");
  ExpectShowRunning();
  // A continue it did not stop for: the show goes on.
  std::system(("kill -CONT " + Pid).c_str());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ExpectShowRunning();
  // Stopped where it cannot give the terminal back first, the shell takes it meanwhile; the
  // show gives it back and takes it again.
  std::system(("kill -STOP " + Pid).c_str());
  EXPECT_TRUE(WaitForState(Pid, "T", 10));
  ShellAgain();
  Shell("fg");
  ExpectShowRunning();
  ASSERT_TRUE(WaitForTake(2));
  SendKeys("Escape");
  EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 20));
  EXPECT_TRUE(WaitForState(Pid, "", 10));

  // Under a wrapper: Ctrl-Z and fg, twice; a termination request while stopped ends it.
  Shell("/usr/bin/time -o /dev/null " + Show);
  Pid = ShowPid();
  ExpectShowRunning();
  for (int Round = 0; Round < 2; ++Round) {
    SendKeys("C-z");
    EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 10));
    EXPECT_TRUE(WaitForState(Pid, "T", 10));
    EXPECT_EQ(Pane("#{cursor_flag}"), "1");
    ShellAgain();
    if (Round == 0) {
      Shell("fg");
      ExpectShowRunning();
    }
  }
  Shell("kill %1");
  EXPECT_TRUE(WaitForState(Pid, "", 10)) << "still " << ProcessState(Pid);
  EXPECT_EQ(Pane("#{alternate_on}"), "0");

  // In a pipeline: its end, stopped at once, passes the closing bytes on only once continued.
  Shell(Show + " | cat");
  Pid = ShowPid();
  ExpectShowRunning();
  SendKeys("C-z");
  EXPECT_TRUE(WaitForState(Pid, "T", 10));
  ShellAgain();
  Shell("fg");
  ExpectShowRunning();
  ASSERT_TRUE(WaitForTake(6));  // the pane shows the show until cat passes its closing bytes on
  SendKeys("Escape");
  EXPECT_TRUE(WaitForState(Pid, "", 20));
  EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 10));
  EXPECT_EQ(Pane("#{cursor_flag}"), "1");

  std::system((Tmux + "pipe-pane -t s:show").c_str());
  std::string Record = Capture("cat " + Dir + "/record");
  std::string Order;
  for (size_t At = 0; (At = Record.find("\x1b[2", At)) != std::string::npos; ++At) {
    if (Record.compare(At, Push.size(), Push) == 0) Order += '(';
    if (Record.compare(At, Pop.size(), Pop) == 0) Order += ')';
  }
  // Shown six times: after fg, after the SIGSTOP, at the start and after fg under the wrapper,
  // at the start and after fg in the pipeline.
  EXPECT_EQ(Order, "()()()()()()") << Capture("cat -v " + Dir + "/record | grep -o '\\^\\[\\[2[23];0t\\|\\^\\[\\[?1049[hl]\\|Stopped\\|Terminated\\|Done' | tr '\\n' ' '");
}

TEST_F(TerminalSessionTest, MusicWithAHugeTailDelaysNeitherTheFirstFrameNorTheEnd) {
  // A valid track followed by 64 MB of zeros (a sparse file): the decoder's open scans all of it.
  std::string Folder = Dir + "/music";
  ASSERT_EQ(std::system(("mkdir -p " + Folder + " && cp " + Build + "/vorlek.ogg " + Folder +
                         " && truncate -s +64M " + Folder + "/vorlek.ogg")
                            .c_str()),
            0);
  auto Start = std::chrono::steady_clock::now();
  StartShow("", Folder);
  // The intro's first frame shows the prompt of the folder the show runs in.
  auto FirstLine = [&] { return Capture(Tmux + "capture-pane -p -t s:show -S 0 -E 0"); };
  auto Until = Start + std::chrono::seconds(15);
  while (FirstLine().rfind(Folder + ">", 0) != 0 && std::chrono::steady_clock::now() < Until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  double FirstFrame = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  EXPECT_EQ(FirstLine().rfind(Folder + ">", 0), 0u) << FirstLine();
  SendKeys("Escape");
  auto Escaped = std::chrono::steady_clock::now();
  ExpectRestoredWithStatus("0", 15);
  double Ending = std::chrono::duration<double>(std::chrono::steady_clock::now() - Escaped).count();
  // Bounds far above any real start-up, far below the minute the open takes.
  EXPECT_LT(FirstFrame, 15.0);
  EXPECT_LT(Ending, 15.0);
  std::printf("first frame after %.2f s, ended %.2f s after Escape\n", FirstFrame, Ending);
}

TEST(ScreenOutputTest, AFailedWriteEndsTheShowWithOneLine) {
  const char* Build = std::getenv("VORLEK_BUILD_DIR");
  ASSERT_NE(Build, nullptr);
  std::string Err = testing::TempDir() + "vorlek-full-" + std::to_string(getpid());
  int Status = std::system(
      ("timeout 60 " + std::string(Build) + "/vorlek </dev/null >/dev/full 2>" + Err).c_str());
  std::string Message = Capture("cat " + Err);
  std::remove(Err.c_str());
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 1);
  EXPECT_EQ(Message, "vorlek: cannot write the screen: No space left on device");
}

}  // namespace

// Resized while the show runs, the terminal gets the picture laid out anew: centred between blank
// margins when larger, sampled when smaller, and a note after the show says so.
TEST_F(TerminalSessionTest, ResizeLaysThePictureOutAgain) {
  StartShow();
  ExpectShowRunning();
  std::system((Tmux + "resize-window -t s:show -x 120 -y 60").c_str());
  // 120 x 60: something of the picture shows, nothing outside rows 5..54 and columns 20..99.
  std::string Wrong = WaitForRows(
      [](const std::vector<std::string>& Rows) {
        bool Inside = false;
        for (size_t Row = 0; Row < Rows.size(); ++Row)
          for (size_t Column = 0; Column < Rows[Row].size(); ++Column) {
            if (Rows[Row][Column] == ' ') continue;
            if (Row < 5 || Row >= 55 || Column < 20 || Column >= 100) return false;
            Inside = true;
          }
        return Rows.size() >= 55 && Inside;
      },
      20);
  EXPECT_EQ(Wrong, "");
  std::system((Tmux + "resize-window -t s:show -x 80 -y 24").c_str());
  Wrong = WaitForRows(
      [](const std::vector<std::string>& Rows) {
        if (Rows.size() != 24) return false;
        for (const std::string& Row : Rows)
          if (Row.find_first_not_of(' ') != std::string::npos) return true;
        return false;
      },
      20);
  EXPECT_EQ(Wrong, "");
  EXPECT_EQ(Pane("#{pane_dead}"), "0");
  std::system((Tmux + "send-keys -t s:show Escape").c_str());
  ExpectRestoredWithStatus("0");
  EXPECT_EQ(Notes(),
            "vorlek: the 80 x 24 terminal showed a reduced view of the picture; 80 x 50 or larger "
            "shows every cell");
}

namespace {

// UTF-8 text as characters.
std::u32string Decode(const std::string& Text) {
  std::u32string Out;
  for (size_t I = 0; I < Text.size();) {
    const uint8_t Lead = uint8_t(Text[I]);
    const int Extra = Lead >= 0xf0 ? 3 : Lead >= 0xe0 ? 2 : Lead >= 0xc0 ? 1 : 0;
    char32_t C = Extra ? Lead & (0x3f >> Extra) : Lead;
    for (int K = 1; K <= Extra && I + size_t(K) < Text.size(); ++K) C = C << 6 | (uint8_t(Text[I + size_t(K)]) & 0x3f);
    Out += C;
    I += size_t(Extra) + 1;
  }
  return Out;
}

// Every (first, second) pair of characters that a show cell doubled across becomes.
std::set<std::pair<char32_t, char32_t>> DoubledPairs() {
  std::set<std::pair<char32_t, char32_t>> Pairs;
  for (int Glyph = 0; Glyph < 256; ++Glyph)
    Pairs.insert({Cp437ToUnicode(RepeatedGlyph(uint8_t(Glyph), 0, 2, false)),
                  Cp437ToUnicode(RepeatedGlyph(uint8_t(Glyph), 1, 2, false))});
  return Pairs;
}

}  // namespace

// tmux reports no pixel size and does not answer the cell-size query, so the show assumes tall
// cells: in a 200 x 60 pane the picture at about 30 s (a starry part that reaches every edge)
// fills columns 20-179 and rows 5-54, every show cell as a valid doubled pair. Square cells from
// VORLEK_CELL give one cell per cell, centred; an 80 x 50 pane shows the picture as it is; 80 x 24
// the reduced view and its note after the show.
TEST_F(TerminalSessionTest, ThePictureKeepsItsProportionsInAPane) {
  struct TCase {
    int Columns, Rows;
    const char* Environment;
    int Left, Top, Width, Height;
    bool Doubled;
  };
  const TCase Cases[] = {{200, 60, "", 20, 5, 160, 50, true},
                         {200, 60, "VORLEK_CELL=8x8", 60, 5, 80, 50, false},
                         {80, 50, "", 0, 0, 80, 50, false},
                         {80, 24, "", 0, 0, 80, 24, false}};
  static const std::set<std::pair<char32_t, char32_t>> Pairs = DoubledPairs();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::to_string(Case.Columns) + " x " + std::to_string(Case.Rows) + " " + Case.Environment);
    std::system((Tmux + "kill-window -t s:show 2>/dev/null").c_str());
    std::remove((Dir + "/status").c_str());
    StartShow("", "", Case.Environment);
    std::system((Tmux + "resize-window -t s:show -x " + std::to_string(Case.Columns) + " -y " +
                 std::to_string(Case.Rows)).c_str());
    ExpectShowRunning();
    const bool Reduced = Case.Height < 50;
    // At about 14 s line art fills the picture; at about 30 s a starry part reaches every edge.
    int Second = 0;
    for (int Stop : {14, 30}) {
      if (Stop == 14 && !Case.Doubled) continue;
      for (; Second < Stop; ++Second) {
        SendKeys("Right");
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
      }
      static const TCase* Current;
      static bool LineArt;
      Current = &Case;
      LineArt = Stop == 14;
      // Retried: a capture may catch a frame half drawn, or one whose edges happen to be dark.
      std::string Wrong = WaitForRows(
          [](const std::vector<std::string>& Text) {
            const TCase& C = *Current;
            // tmux leaves out the blanks that end a row and the rows that end the pane.
            std::vector<std::u32string> Rows(size_t(C.Rows));
            for (size_t Y = 0; Y < Text.size() && Y < Rows.size(); ++Y) Rows[Y] = Decode(Text[Y]);
            for (std::u32string& Row : Rows) Row.resize(std::max(Row.size(), size_t(C.Columns)), U' ');
            if (Text.size() > Rows.size()) return false;
            bool Top = false, Bottom = false, Left = false, Right = false, Single = false, Lines = false;
            for (int Y = 0; Y < C.Rows; ++Y) {
              if (int(Rows[size_t(Y)].size()) != C.Columns) return false;
              for (int X = 0; X < C.Columns; ++X) {
                const char32_t Glyph = Rows[size_t(Y)][size_t(X)];
                if (Glyph == U' ') continue;
                if (Y < C.Top || Y >= C.Top + C.Height || X < C.Left || X >= C.Left + C.Width) return false;
                Top = Top || Y == C.Top;
                Bottom = Bottom || Y == C.Top + C.Height - 1;
                Left = Left || X <= C.Left + (C.Doubled ? 1 : 0);
                Right = Right || X >= C.Left + C.Width - (C.Doubled ? 2 : 1);
                Lines = Lines || (Glyph >= U'\u2502' && Glyph <= U'\u257f');  // not the plain ─
              }
              for (int X = C.Left; X + 1 < C.Left + C.Width; X += 2) {
                const bool Pair = Pairs.count({Rows[size_t(Y)][size_t(X)], Rows[size_t(Y)][size_t(X) + 1]}) > 0;
                if (C.Doubled && !Pair) return false;
                Single = Single || !Pair;
              }
            }
            if (LineArt) return Lines;
            // One per cell: somewhere two neighbours are no doubled pair.
            return Top && Bottom && Left && Right && (C.Doubled || Single);
          },
          15);
      EXPECT_EQ(Wrong, "") << "at about " << Stop << " s";
    }
    SendKeys("Escape");
    ExpectRestoredWithStatus("0");
    const std::string Note = Reduced ? "vorlek: " + ReducedViewMessage(Case.Columns, Case.Rows) : "";
    EXPECT_EQ(Notes(), Note);
  }
}

namespace {

const std::string OpenMark = "\x1b[?1049h";
// What the show writes last on the xterm the harness gives it.
const std::string CloseMark = TTerminalEncoder::CloseSequence(TTerminalKind{.LineDrawing = true});

// What the show wrote from its first open to its first close.
std::string OnScreen(const std::string& Output) {
  size_t Open = Output.find(OpenMark);
  size_t Close = Output.find(CloseMark, Open);
  if (Open == std::string::npos || Close == std::string::npos) return "";
  return Output.substr(Open, Close - Open);
}

// Every signal whose default action ends the process gives the terminal back first, and the show
// then dies of that signal, as without a handler.
TEST(PtyShowTest, EverySignalThatEndsTheProcessGivesTheTerminalBackFirst) {
  const int Signals[] = {SIGUSR1, SIGUSR2,   SIGALRM, SIGXCPU, SIGXFSZ,  SIGTRAP,    SIGSYS,
                         SIGVTALRM, SIGPROF, SIGPWR,  SIGSTKFLT, SIGQUIT, SIGABRT, SIGRTMIN + 2};
  for (int Number : Signals) {
    SCOPED_TRACE(strsignal(Number));
    TPtyShow Show;
    ASSERT_TRUE(Show.Started());
    ASSERT_TRUE(Show.ReadUntil(OpenMark, 20));
    Show.Signal(Number);
    int Status = Show.Finish(20);
    ASSERT_NE(Status, -1) << "the show did not end";
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Number) << "wait status " << Status;
    EXPECT_NE(Show.Output.find(CloseMark, Show.Output.find(OpenMark)), std::string::npos);
    EXPECT_TRUE(Show.ModeGivenBack());
  }
}

// A terminal that stops reading holds no stop up: the frame being written is cut short, the
// closing bytes wait a moment at most, and the mode is given back without waiting for the output.
TEST(PtyShowTest, AStopEndsTheShowWhileTheTerminalReadsNothing) {
  struct TCase {
    const char* Name;
    int Signal;
    const char* Keys;
    int ExitCode;
  };
  for (const TCase& Case : {TCase{"SIGTERM", SIGTERM, "", 143}, TCase{"Escape", 0, "\x1b", 0},
                            TCase{"Ctrl-C", 0, "\x03", 130}}) {
    SCOPED_TRACE(Case.Name);
    TPtyShow Show;
    ASSERT_TRUE(Show.Started());
    ASSERT_TRUE(Show.ReadUntil(OpenMark, 20));
    ASSERT_GT(Show.WaitUntilOutputIsStuck(20), 0);
    if (Case.Signal) Show.Signal(Case.Signal);
    EXPECT_TRUE(Show.Type(Case.Keys));
    int Status = Show.Finish(10, false);
    ASSERT_NE(Status, -1) << "the show waited for the terminal";
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == Case.ExitCode) << "wait status " << Status;
    EXPECT_TRUE(Show.ModeGivenBack());
  }
}

// A terminal whose mode expands tabs into spaces: the show turns that off while it runs, since it
// moves the cursor by tabs (which reach the terminal as tabs), and gives the mode back after.
TEST(PtyShowTest, TabsReachTheTerminalAndItsModeComesBack) {
  TPtyOptions Options;
  Options.ExpandTabs = true;
  TPtyShow Show(Options);
  ASSERT_TRUE(Show.Started());
  ASSERT_TRUE(Show.ReadUntil(OpenMark, 20));
  EXPECT_TRUE(Show.ReadUntil("\t", 20, Show.Output.find(OpenMark)));
  EXPECT_TRUE(Show.Type("\x1b"));
  const int Status = Show.Finish(20);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  EXPECT_TRUE(Show.ModeGivenBack());
}

// What libraries write on standard error while the show holds the terminal (Mesa's warnings when
// its driver cannot load) does not land on the picture; it is printed after the show, before the
// show's own notes. Mesa does not warn every time, so the test writes a warning of its own to the
// show's standard error as well, and then a flood: only the first 64 KiB, which are shown, are kept
// (no file of it all), and the rest is counted.
TEST(PtyShowTest, StandardErrorIsPrintedAfterTheShow) {
  // A driver that fails to load leaves Mesa's allocations behind, which a sanitizer build's leak
  // check would report at exit; this test is about standard error, not about Mesa's memory.
  TPtyShow Show({"GALLIUM_DRIVER=bogus", "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_TRUE(Show.Started());
  ASSERT_TRUE(Show.ReadUntil(OpenMark, 20));
  // The intro shows its prompt once the first frame is out; 3D starts up meanwhile.
  ASSERT_TRUE(Show.ReadUntil(">", 20, Show.Output.find(OpenMark)));
  // The sound device's probe points standard error at /dev/null a moment; what it hides is lost.
  const std::string Stderr = "/proc/" + std::to_string(Show.Pid()) + "/fd/2";
  for (int Try = 0; Try < 100 && Capture("readlink " + Stderr) == "/dev/null"; ++Try)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::string Warning = "libEGL warning: a warning written while the show runs\n";
  int Fd = open(Stderr.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(Fd, 0);
  EXPECT_EQ(write(Fd, Warning.data(), Warning.size()), ssize_t(Warning.size()));
  const std::string Flood(1 << 20, 'x');
  for (int I = 0; I < 128; ++I)
    ASSERT_EQ(write(Fd, Flood.data(), Flood.size()), ssize_t(Flood.size()));
  struct stat Held {};
  ASSERT_EQ(stat(Stderr.c_str(), &Held), 0);
  EXPECT_LT(Held.st_blocks * 512, 1 << 20);
  close(Fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(Show.Type("\x1b"));
  int Status = Show.Finish(20);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "wait status " << Status;
  std::string Screen = OnScreen(Show.Output);
  ASSERT_FALSE(Screen.empty());
  EXPECT_EQ(Screen.find("warning"), std::string::npos);
  std::string After = Show.Output.substr(Show.Output.find(Screen) + Screen.size());
  size_t Written = After.find("libEGL warning: a warning written while the show runs\r\n");
  size_t Note = After.find("vorlek: 3D rendering was unavailable");
  ASSERT_NE(Written, std::string::npos) << After;
  ASSERT_NE(Note, std::string::npos) << After;
  EXPECT_LT(Written, Note);  // in the order they were written
  const size_t LeftOut =
      After.find(" more bytes written to standard error during the show were left out\r\n");
  ASSERT_NE(LeftOut, std::string::npos);
  const size_t Count = After.rfind("vorlek: ", LeftOut) + 8;
  EXPECT_GE(std::stoull(After.substr(Count, LeftOut - Count)), (uint64_t(128) << 20) - (1 << 16));
  EXPECT_LT(LeftOut, Note);
  // Mesa's own warnings, when it gives them, come before the note too.
  size_t Mesa = After.find("libEGL warning: egl");
  if (Mesa != std::string::npos) {
    EXPECT_LT(Mesa, Note);
  }
}

}  // namespace
