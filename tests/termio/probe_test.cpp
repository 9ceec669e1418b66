// The console probe on what this machine has: pseudo-terminals and pipes (no virtual console).
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include "termio/ConsoleProbe.h"

namespace {

TEST(ConsoleProbeTest, PseudoTerminalsAndPipes) {
  int Master[2], Slave[2];
  ASSERT_EQ(openpty(&Master[0], &Slave[0], nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(openpty(&Master[1], &Slave[1], nullptr, nullptr, nullptr), 0);
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  const int Again = dup(Slave[0]);
  EXPECT_TRUE(SameTerminal(Slave[0], Again));
  EXPECT_FALSE(SameTerminal(Slave[0], Slave[1]));
  EXPECT_FALSE(SameTerminal(Slave[0], Pipe[0]));
  EXPECT_FALSE(SameTerminal(Pipe[0], Pipe[1]));
  // A pseudo-terminal is no virtual console, and has no console font to ask for.
  EXPECT_FALSE(IsVirtualConsole(Slave[0]));
  EXPECT_EQ(ConsoleFont(Slave[0]).has_value(), false);
  EXPECT_FALSE(IsVirtualConsole(Pipe[0]));
  for (int Fd : {Master[0], Master[1], Slave[0], Slave[1], Pipe[0], Pipe[1], Again}) close(Fd);
}

}  // namespace
