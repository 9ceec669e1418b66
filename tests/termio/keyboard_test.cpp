// The real keyboard reader on a pipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "termio/Terminal.h"

namespace {

// Whether the keyboard reports Escape within two seconds.
bool EscapeWithinTwoSeconds(TTerminalKeyboard& Keyboard) {
  for (int Try = 0; Try < 100; ++Try) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (Keyboard.KeyState(TKey::Escape)) return true;
  }
  return false;
}

// The real keyboard on a pipe: bytes are timed when they arrive, not when the keys are asked for.
TEST(TerminalKeyboardTest, LoneEscapeCountsFromWhenItArrived) {
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  auto Send = [&](const std::string& Bytes) {
    ASSERT_EQ(write(Pipe[1], Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  };
  auto Pause = [](int Ms) { std::this_thread::sleep_for(std::chrono::milliseconds(Ms)); };
  {
    TTerminalKeyboard Keyboard(Pipe[0]);
    // Another key long after a lone Escape, both unread until now: the Escape still counts.
    Send("\x1b");
    Pause(300);
    Send("x");
    Pause(50);
    EXPECT_TRUE(Keyboard.KeyState(TKey::Escape));
    // A sequence arriving whole is its key and no Escape.
    Send("\x1b[C");
    Pause(100);
    EXPECT_TRUE(Keyboard.KeyState(TKey::Right));
    EXPECT_FALSE(Keyboard.KeyState(TKey::Escape));
    // An Escape as the last byte of the input counts too.
    Send("\x1b");
    close(Pipe[1]);
    Pause(100);
    EXPECT_TRUE(Keyboard.KeyState(TKey::Escape));
  }
  close(Pipe[0]);
}

// Endless input (a file of zeros, `yes` on a pipe) is read at a bounded rate, not as fast as it
// comes, which would take a whole core; keys after the flood still count.
TEST(TerminalKeyboardTest, EndlessInputIsReadAtABoundedRate) {
  int Pipe[2];
  ASSERT_EQ(pipe2(Pipe, O_NONBLOCK), 0);
  size_t Written = 0;
  {
    TTerminalKeyboard Keyboard(Pipe[0]);
    char Zeros[4096];
    std::memset(Zeros, 0, sizeof Zeros);
    // A second of a source that never ends: whatever the reader takes is written again at once.
    auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < Until) {
      ssize_t Count = write(Pipe[1], Zeros, sizeof Zeros);
      if (Count > 0) Written += size_t(Count);
      pollfd Out{Pipe[1], POLLOUT, 0};
      poll(&Out, 1, 5);
    }
    // Read unbounded, a pipe passes gigabytes a second; the bound is 400 KB/s, beyond the pipe's
    // 64 KiB.
    EXPECT_LT(Written, size_t(2) << 20);
    EXPECT_GT(Written, size_t(64) << 10);  // it was read at all
    // Once the flood ends, an Escape behind it is seen.
    int Blocking = fcntl(Pipe[1], F_GETFL) & ~O_NONBLOCK;
    fcntl(Pipe[1], F_SETFL, Blocking);
    ASSERT_EQ(write(Pipe[1], "\x1b", 1), 1);
    close(Pipe[1]);
    EXPECT_TRUE(EscapeWithinTwoSeconds(Keyboard));
  }
  close(Pipe[0]);
}

// On a terminal, whose reads return at most 4095 bytes, a flood of reports is read at the same
// bounded rate, and its reports are still taken.
TEST(TerminalKeyboardTest, AFloodOfReportsOnATerminalIsReadAtABoundedRate) {
  int Master, Slave;
  ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(fcntl(Master, F_SETFL, O_NONBLOCK), 0);
  size_t Written = 0;
  {
    TTerminalKeyboard Keyboard(Slave);
    ASSERT_TRUE(Keyboard.IsTerminal());
    std::string Reports;
    for (int I = 0; I < 1024; ++I) Reports += "\x1b[0n";
    auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < Until) {
      ssize_t Count = write(Master, Reports.data(), Reports.size());
      if (Count > 0) Written += size_t(Count);
      pollfd Out{Master, POLLOUT, 0};
      poll(&Out, 1, 5);
    }
    // Read unbounded, a terminal passes some 16 MB/s; the bound is 400 KB/s, beyond what the
    // terminal holds unread (some 64 KiB).
    EXPECT_LT(Written, size_t(2) << 20);
    EXPECT_GT(Keyboard.TakeReports().Status, 0);
  }
  close(Master);
  close(Slave);
}

// An empty read from a terminal that has not hung up (here an end-of-file key in line mode; in the
// show, a flush of the input between the poll and the read) does not end the keys.
TEST(TerminalKeyboardTest, AnEmptyReadFromATerminalIsNotItsEnd) {
  int Master, Slave;
  ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
  auto Mode = [&](bool Line) {
    termios Settings{};
    ASSERT_EQ(tcgetattr(Slave, &Settings), 0);
    Settings.c_lflag = Line ? Settings.c_lflag | ICANON : Settings.c_lflag & ~tcflag_t(ICANON);
    Settings.c_cc[VMIN] = Settings.c_cc[VTIME] = 0;
    ASSERT_EQ(tcsetattr(Slave, TCSANOW, &Settings), 0);
  };
  {
    TTerminalKeyboard Keyboard(Slave);
    Mode(true);
    ASSERT_EQ(write(Master, "\x04", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Mode(false);
    ASSERT_EQ(write(Master, "\x1b", 1), 1);
    EXPECT_TRUE(EscapeWithinTwoSeconds(Keyboard));
  }
  close(Master);
  close(Slave);
}

}  // namespace
