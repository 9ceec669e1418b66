// Runs the real vorlek inside tmux and checks that it takes the terminal and gives it back.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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
  void StartShow(std::string Redirects = "", std::string Folder = "") {
    if (Redirects.empty()) Redirects = "2>" + Dir + "/stderr";
    if (Folder.empty()) Folder = Build;
    std::string Show = "cd " + Folder + " && sh -c 'echo \\$\\$ >" + Dir + "/pid; exec " + Build +
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
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (std::chrono::steady_clock::now() < Until) {
      if (Pane(Format) == Want) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void ExpectShowRunning() {
    ASSERT_TRUE(WaitFor("#{alternate_on}", "1", 20));
    ASSERT_TRUE(WaitFor("#{pane_title}", "vorlek", 20)) << Pane("#{pane_title}");
    EXPECT_EQ(Pane("#{cursor_flag}"), "0");
    EXPECT_EQ(Pane("#{pane_dead}"), "0");
  }
  bool Ended() { return access((Dir + "/status").c_str(), F_OK) == 0; }
  void ExpectRestoredWithStatus(const std::string& Status, double Seconds = 20) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (!Ended() && std::chrono::steady_clock::now() < Until)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Capture("cat " + Dir + "/status"), Status);
    EXPECT_EQ(Pane("#{alternate_on}"), "0");
    EXPECT_EQ(Pane("#{cursor_flag}"), "1");
  }

  // The pane's rows as text, when they never fit Fits, after waiting up to Seconds.
  std::string WaitForRows(bool (*Fits)(const std::vector<std::string>&), double Seconds) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    std::string Text;
    do {
      Text = Capture(Tmux + "capture-pane -p -N -t s:show");
      std::vector<std::string> Rows;
      for (size_t Begin = 0, End = 0; End != std::string::npos; Begin = End + 1)
        Rows.push_back(Text.substr(Begin, (End = Text.find('\n', Begin)) - Begin));
      if (Fits(Rows)) return "";
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
  SendKeys("fg Enter");
  ExpectShowRunning();
  // The shell put the terminal back into line mode; the show's raw mode must be back as well.
  SendKeys("Escape");
  EXPECT_TRUE(WaitFor("#{alternate_on}", "0", 20));
  SendKeys("-l 'echo $? >" + Dir + "/status'");
  SendKeys("Enter");
  ExpectRestoredWithStatus("0");
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
  EXPECT_EQ(Capture("cat " + Dir + "/stderr"),
            "vorlek: the 80 x 24 terminal showed a reduced view of the picture; 80 x 50 or larger "
            "shows every cell");
}
