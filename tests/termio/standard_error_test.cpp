// Standard error taken off a terminal while the show holds it.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "termio/StandardError.h"

namespace {

// A library that floods standard error during the show costs no memory for it: only the first
// 64 KiB are kept, printed on the terminal afterwards, and how much more came is said.
TEST(StandardErrorTest, AFloodKeepsWhatIsShownAndCountsTheRest) {
  int Master, Slave;
  ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
  termios Raw{};
  cfmakeraw(&Raw);
  tcsetattr(Slave, TCSANOW, &Raw);
  const int Before = dup(STDERR_FILENO);
  dup2(Slave, STDERR_FILENO);
  Termio::CaptureStandardError();
  std::string Block(1 << 20, '-');
  for (size_t I = 0; I < Block.size(); I += 97) Block[I] = char('a' + I % 26);
  uint64_t Written = 0;
  while (Written < (uint64_t(128) << 20)) {
    const ssize_t Count = write(STDERR_FILENO, Block.data(), Block.size());
    ASSERT_GT(Count, 0);
    Written += uint64_t(Count);
  }
  // Held in a file, the flood would be all in its blocks until the end.
  struct stat Held {};
  fstat(STDERR_FILENO, &Held);
  EXPECT_LT(Held.st_blocks * 512, 1 << 20);
  std::string Shown;
  std::thread Terminal([&] {
    char Bytes[4096];
    pollfd In{Master, POLLIN, 0};
    for (ssize_t Count = 0; !Shown.ends_with("left out\n") && poll(&In, 1, 2000) > 0 &&
                            (Count = read(Master, Bytes, sizeof Bytes)) > 0;)
      Shown.append(Bytes, size_t(Count));
  });
  Termio::ReleaseStandardError();
  Terminal.join();
  dup2(Before, STDERR_FILENO);
  for (int Fd : {Before, Master, Slave}) close(Fd);
  ASSERT_GE(Shown.size(), size_t(1) << 16);
  EXPECT_EQ(Shown.substr(0, 1 << 16), Block.substr(0, 1 << 16));
  EXPECT_EQ(Shown.substr(1 << 16), "vorlek: " + std::to_string(Written - (1 << 16)) +
                                       " more bytes written to standard error during the show "
                                       "were left out\n");
}

}  // namespace
