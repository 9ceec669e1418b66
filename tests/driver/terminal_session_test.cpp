// Runs the real vorlek inside tmux and checks that it takes the terminal and gives it back.
#include <gtest/gtest.h>

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
    const char* Build = std::getenv("VORLEK_BUILD_DIR");
    ASSERT_NE(Build, nullptr);
    ASSERT_EQ(std::system("command -v tmux >/dev/null"), 0) << "tmux is needed for this test";
    Tmux = "tmux -L vorlek-test-" + std::to_string(getpid()) + " -f /dev/null ";
    ASSERT_EQ(std::system((Tmux + "new-session -d -s s -x 80 -y 50 'sleep 600'").c_str()), 0);
    std::system((Tmux + "set-option -g remain-on-exit on").c_str());
    Dir = testing::TempDir() + "vorlek-session-" + std::to_string(getpid());
    std::system(("rm -rf " + Dir + " && mkdir -p " + Dir).c_str());
    // A shell stays in the pane after the show, so the terminal it gets back can be inspected.
    std::string Show = "cd " + std::string(Build) + " && sh -c 'echo \\$\\$ >" + Dir +
                       "/pid; exec ./vorlek 2>" + Dir + "/stderr'; echo \\$? >" + Dir +
                       "/status.tmp; mv " + Dir + "/status.tmp " + Dir + "/status; sleep 600";
    std::system((Tmux + "new-window -t s: -n show \"" + Show + "\"").c_str());
  }
  void TearDown() override {
    std::system((Tmux + "kill-server 2>/dev/null").c_str());
    std::system(("rm -rf " + Dir).c_str());
  }

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
    ASSERT_TRUE(WaitFor("#{pane_title}", "vorlek", 20)) << Pane("#{pane_title}");
    EXPECT_EQ(Pane("#{alternate_on}"), "1");
    EXPECT_EQ(Pane("#{cursor_flag}"), "0");
    EXPECT_EQ(Pane("#{pane_dead}"), "0");
  }
  void ExpectRestoredWithStatus(const std::string& Status) {
    auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (access((Dir + "/status").c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < Until)
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

  std::string Tmux;
  std::string Dir;
};

TEST_F(TerminalSessionTest, EscapeEndsTheShowAndGivesTheTerminalBack) {
  ExpectShowRunning();
  std::system((Tmux + "send-keys -t s:show Escape").c_str());
  ExpectRestoredWithStatus("0");
}

TEST_F(TerminalSessionTest, TerminationSignalEndsTheShowLikeEscape) {
  ExpectShowRunning();
  std::string Pid = Capture("cat " + Dir + "/pid");
  ASSERT_FALSE(Pid.empty());
  std::system(("kill -TERM " + Pid).c_str());
  ExpectRestoredWithStatus("143");
}

}  // namespace

// Resized while the show runs, the terminal gets the picture laid out anew: centred between blank
// margins when larger, sampled when smaller, and a note after the show says so.
TEST_F(TerminalSessionTest, ResizeLaysThePictureOutAgain) {
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
