// The Windows console screen, keys and control handler against the process's real console (one
// of its own when it was started without).
#include <gtest/gtest.h>

#include <random>

#include "terminal/Cp437.h"
#include "termio/windows/Console.h"

namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HANDLE Out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    HaveConsole = Out != INVALID_HANDLE_VALUE || AllocConsole();
    if (Out != INVALID_HANDLE_VALUE) CloseHandle(Out);
    InstallConsoleHandler();
  }
  // A skip would hide a console-less run (Wine makes none without a terminal): it fails instead.
  void SetUp() override { ASSERT_TRUE(HaveConsole) << "no console, and none could be made"; }
  static inline bool HaveConsole = false;
  // The active screen buffer as the process sees it now.
  static HANDLE Active() {
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  }
  static std::wstring Title() {
    wchar_t Text[256] = {};
    GetConsoleTitleW(Text, 256);
    return Text;
  }
};

// Seeded frames land cell for cell where the layout puts them, in the buffer made active; closing
// gives back the buffer, its cursor and the title.
TEST_F(ConsoleTest, ScreenShowsFramesAndGivesTheConsoleBack) {
  SetConsoleTitleW(L"before");
  HANDLE Before = Active();
  CONSOLE_SCREEN_BUFFER_INFO BeforeInfo{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(Before, &BeforeInfo));
  CONSOLE_CURSOR_INFO BeforeCursor{};
  GetConsoleCursorInfo(Before, &BeforeCursor);
  CloseHandle(Before);

  TConsoleScreen Screen;
  Screen.Open("vorlek – test", false);
  ASSERT_TRUE(Screen.IsOpen());
  EXPECT_EQ(Title(), L"vorlek – test");
  const TTerminalLayout& Layout = Screen.Layout();
  EXPECT_GE(Layout.TerminalColumns(), ShowColumns);
  EXPECT_GE(Layout.TerminalRows(), ShowRows);
  HANDLE Shown = Active();
  CONSOLE_SCREEN_BUFFER_INFO Info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(Shown, &Info));
  EXPECT_EQ(Info.dwSize.X, Layout.TerminalColumns());
  EXPECT_EQ(Info.dwSize.Y, Layout.TerminalRows());
  CONSOLE_CURSOR_INFO Cursor{};
  GetConsoleCursorInfo(Shown, &Cursor);
  EXPECT_FALSE(Cursor.bVisible);

  std::mt19937 Random(31);
  std::vector<TCharInfo> Cells(size_t(ShowColumns) * ShowRows), Picture;
  std::vector<CHAR_INFO> Read(size_t(Info.dwSize.X) * size_t(Info.dwSize.Y));
  for (int Frame = 0; Frame < 3; ++Frame) {
    for (TCharInfo& Cell : Cells) Cell = TCharInfo{uint8_t(Random()), 0, uint16_t(Random() & 0xFF)};
    Screen.Present(Cells, TFrameRecord{});
    SMALL_RECT Region{0, 0, SHORT(Info.dwSize.X - 1), SHORT(Info.dwSize.Y - 1)};
    ASSERT_TRUE(ReadConsoleOutputW(Shown, Read.data(), Info.dwSize, COORD{0, 0}, &Region));
    Layout.Apply(Cells, Picture);
    int Wrong = 0;
    for (int Y = 0; Y < Layout.Height(); ++Y)
      for (int X = 0; X < Layout.Width(); ++X) {
        const TCharInfo& Want = Picture[size_t(Y * Layout.Width() + X)];
        const CHAR_INFO& Got = Read[size_t((Layout.Top() + Y) * Info.dwSize.X + Layout.Left() + X)];
        Wrong += Got.Char.UnicodeChar != wchar_t(Cp437ToUnicode(Want.AsciiChar)) ||
                 Got.Attributes != Want.Attributes;
      }
    EXPECT_EQ(Wrong, 0) << "frame " << Frame;
  }
  CloseHandle(Shown);

  Screen.Close();
  EXPECT_FALSE(Screen.IsOpen());
  EXPECT_EQ(Title(), L"before");
  HANDLE After = Active();
  CONSOLE_SCREEN_BUFFER_INFO AfterInfo{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(After, &AfterInfo));
  EXPECT_EQ(AfterInfo.dwSize.X, BeforeInfo.dwSize.X);
  EXPECT_EQ(AfterInfo.dwSize.Y, BeforeInfo.dwSize.Y);
  GetConsoleCursorInfo(After, &Cursor);
  EXPECT_EQ(Cursor.bVisible, BeforeCursor.bVisible);
  CloseHandle(After);
}

// Key presses come once each whatever else is in the input; Ctrl-C then reads as Escape for good.
TEST_F(ConsoleTest, KeysComeOnceAndCtrlCStops) {
  TConsoleKeyboard Keyboard;
  HANDLE In = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(In, INVALID_HANDLE_VALUE);
  auto Key = [](WORD Code, bool Down) {
    INPUT_RECORD Record{};
    Record.EventType = KEY_EVENT;
    Record.Event.KeyEvent.bKeyDown = Down;
    Record.Event.KeyEvent.wRepeatCount = 1;
    Record.Event.KeyEvent.wVirtualKeyCode = Code;
    return Record;
  };
  INPUT_RECORD Focus{};
  Focus.EventType = FOCUS_EVENT;
  const INPUT_RECORD Records[] = {Key(VK_RIGHT, true), Key(VK_RIGHT, false), Focus, Key('A', true),
                                  Key(VK_LEFT, false), Key(VK_ESCAPE, true)};
  DWORD Written = 0;
  ASSERT_TRUE(WriteConsoleInputW(In, Records, DWORD(std::size(Records)), &Written));
  EXPECT_TRUE(Keyboard.KeyState(TKey::Right));
  EXPECT_FALSE(Keyboard.KeyState(TKey::Right));
  EXPECT_FALSE(Keyboard.KeyState(TKey::Left));  // released only
  EXPECT_TRUE(Keyboard.KeyState(TKey::Escape));
  EXPECT_FALSE(Keyboard.KeyState(TKey::Escape));

  // Ctrl-C typed: the console turns it into the control event, as with the real key.
  EXPECT_FALSE(StopRequested());
  INPUT_RECORD CtrlC = Key('C', true);
  CtrlC.Event.KeyEvent.uChar.UnicodeChar = 3;
  CtrlC.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
  ASSERT_TRUE(WriteConsoleInputW(In, &CtrlC, 1, &Written));
  Keyboard.KeyState(TKey::Right);  // reads the input
  CloseHandle(In);
  for (int Wait = 0; Wait < 200 && !StopRequested(); ++Wait) Sleep(10);  // the handler's thread
  EXPECT_TRUE(StopRequested());
  EXPECT_TRUE(Keyboard.KeyState(TKey::Escape));
  EXPECT_TRUE(Keyboard.KeyState(TKey::Escape));
}

}  // namespace
