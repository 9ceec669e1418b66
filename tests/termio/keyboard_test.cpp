// The real keyboard reader on a pipe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "termio/Terminal.h"

namespace {

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

}  // namespace
