#include "termio/windows/Console.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "terminal/Cp437.h"
#include "terminal/TerminalTraits.h"

// --- What the show holds of the console, and how it is given back

namespace {

// Process-wide by nature: the control handler runs on a thread of the system's and reaches
// nothing else.
struct TGiveBack {
  std::mutex Lock;
  HANDLE Original = nullptr;  // the screen buffer that was active, while ours is
  CONSOLE_CURSOR_INFO Cursor{};
  std::wstring Title;
  bool FullScreen = false;  // ours asked for full screen and got it
  HANDLE Input = INVALID_HANDLE_VALUE;  // the input whose mode is InputMode, while ours is set
  DWORD InputMode = 0;
};
TGiveBack State;
std::atomic<bool> StopAsked{false};

void GiveBackScreen() {
  std::lock_guard Guard(State.Lock);
  if (!State.Original) return;
  if (State.FullScreen) {
    COORD Size{};
    SetConsoleDisplayMode(State.Original, CONSOLE_WINDOWED_MODE, &Size);
  }
  SetConsoleActiveScreenBuffer(State.Original);
  SetConsoleCursorInfo(State.Original, &State.Cursor);
  SetConsoleTitleW(State.Title.c_str());
  CloseHandle(State.Original);
  State.Original = nullptr;
  State.FullScreen = false;
}

void GiveBackInput() {
  std::lock_guard Guard(State.Lock);
  if (State.Input == INVALID_HANDLE_VALUE) return;
  SetConsoleMode(State.Input, State.InputMode);
  State.Input = INVALID_HANDLE_VALUE;
}

BOOL WINAPI OnControl(DWORD Event) {
  switch (Event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      StopAsked = true;  // the frame loop ends the show and gives the console back
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process when this returns: give back here, not in the frame loop.
      StopAsked = true;
      GiveBackScreen();
      GiveBackInput();
      return TRUE;
    default:
      return FALSE;
  }
}

// The console's screen or input even when the standard handles are redirected.
HANDLE OpenConsole(const wchar_t* Name) {
  return CreateFileW(Name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

std::wstring ConsoleTitle() {
  std::wstring Title(1024, L'\0');
  DWORD Length = GetConsoleTitleW(Title.data(), DWORD(Title.size()));
  Title.resize(std::min<size_t>(Length, Title.size() - 1));
  return Title;
}

int WindowColumns(const CONSOLE_SCREEN_BUFFER_INFO& Info) { return Info.srWindow.Right - Info.srWindow.Left + 1; }
int WindowRows(const CONSOLE_SCREEN_BUFFER_INFO& Info) { return Info.srWindow.Bottom - Info.srWindow.Top + 1; }

// Makes Buffer Columns x Rows with a window of the same size. The window may never be larger than
// the buffer, so it shrinks first; Wine's console draws right only when the terminal, the window
// and the buffer are one size.
void SizeBuffer(HANDLE Buffer, int Columns, int Rows) {
  SMALL_RECT Tiny{0, 0, 0, 0};
  SetConsoleWindowInfo(Buffer, TRUE, &Tiny);
  SetConsoleScreenBufferSize(Buffer, COORD{SHORT(Columns), SHORT(Rows)});
  SMALL_RECT Whole{0, 0, SHORT(Columns - 1), SHORT(Rows - 1)};
  SetConsoleWindowInfo(Buffer, TRUE, &Whole);
}

}  // namespace

void InstallConsoleHandler() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool StopRequested() { return StopAsked; }

std::wstring WideText(const std::string& Text) {
  if (Text.empty()) return {};
  int Length = MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0);
  std::wstring Wide(size_t(std::max(Length, 0)), L'\0');
  if (Length > 0) MultiByteToWideChar(CP_UTF8, 0, Text.data(), int(Text.size()), Wide.data(), Length);
  return Wide;
}

// --- Screen

TConsoleScreen::TConsoleScreen(std::optional<TCellShape> UserCell_) : UserCell(UserCell_) {}

TConsoleScreen::~TConsoleScreen() { Close(); }

void TConsoleScreen::Open(const std::string& Title, bool FullScreen) {
  Close();
  HANDLE Original = OpenConsole(L"CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO Info{};
  if (Original == INVALID_HANDLE_VALUE) return;  // no console: the show runs unseen
  if (!GetConsoleScreenBufferInfo(Original, &Info)) {
    CloseHandle(Original);
    return;
  }
  Buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (Buffer == INVALID_HANDLE_VALUE) {
    Buffer = nullptr;
    CloseHandle(Original);
    return;
  }
  {
    std::lock_guard Guard(State.Lock);
    State.Original = Original;
    GetConsoleCursorInfo(Original, &State.Cursor);
    State.Title = ConsoleTitle();
  }
  // A window that shows 80 x 50 already keeps its size (under Wine it is the terminal's); a
  // smaller one is asked for 80 x 50, and whatever it then shows is the buffer's size.
  int Columns = WindowColumns(Info), Rows = WindowRows(Info);
  if (Columns < ShowColumns || Rows < ShowRows) {
    Columns = ShowColumns;
    Rows = ShowRows;
  }
  SizeBuffer(Buffer, Columns, Rows);
  SetConsoleActiveScreenBuffer(Buffer);
  SetTitle(Title);
  // A console that reports no font draws in no window of its own (a terminal, under Wine, where
  // asking for the window costs seconds): nothing to maximize.
  CONSOLE_FONT_INFOEX Font{};
  Font.cbSize = sizeof Font;
  const bool HasFont =
      GetCurrentConsoleFontEx(Buffer, FALSE, &Font) && Font.dwFontSize.X > 0 && Font.dwFontSize.Y > 0;
  if (HWND Window = HasFont ? GetConsoleWindow() : nullptr) ShowWindow(Window, SW_SHOWMAXIMIZED);
  if (FullScreen) {
    COORD Size{};
    // Refused on most systems since Vista and under Wine: the maximized window stays.
    if (SetConsoleDisplayMode(Buffer, CONSOLE_FULLSCREEN_MODE, &Size)) {
      std::lock_guard Guard(State.Lock);
      State.FullScreen = true;
    }
  }
  CONSOLE_CURSOR_INFO Hidden{100, FALSE};
  SetConsoleCursorInfo(Buffer, &Hidden);
  if (GetConsoleScreenBufferInfo(Buffer, &Info) &&
      (WindowColumns(Info) != Columns || WindowRows(Info) != Rows)) {
    Columns = WindowColumns(Info);
    Rows = WindowRows(Info);
    SizeBuffer(Buffer, Columns, Rows);
  }
  TCellSources Sources;
  Sources.User = UserCell;
  if (HasFont) Sources.ConsoleFont = TCellShape{Font.dwFontSize.X, Font.dwFontSize.Y};
  Placement = TTerminalLayout(Columns, Rows, ChooseCellShape(Sources));
  CHAR_INFO Blank{};
  Blank.Char.UnicodeChar = L' ';
  Out.assign(size_t(Columns) * size_t(Rows), Blank);
}

void TConsoleScreen::Present(std::span<const TCharInfo> Cells, const TFrameRecord&) {
  if (!Buffer) return;
  Placement.Apply(Cells, Picture);
  const int Columns = Placement.TerminalColumns();
  for (int Y = 0; Y < Placement.Height(); ++Y) {
    const TCharInfo* From = &Picture[size_t(Y) * size_t(Placement.Width())];
    CHAR_INFO* To = &Out[size_t(Placement.Top() + Y) * size_t(Columns) + size_t(Placement.Left())];
    for (int X = 0; X < Placement.Width(); ++X) {
      To[X].Char.UnicodeChar = wchar_t(Cp437ToUnicode(From[X].AsciiChar));
      To[X].Attributes = From[X].Attributes;
    }
  }
  const COORD Size{SHORT(Columns), SHORT(Placement.TerminalRows())};
  SMALL_RECT Region{0, 0, SHORT(Size.X - 1), SHORT(Size.Y - 1)};
  WriteConsoleOutputW(Buffer, Out.data(), Size, COORD{0, 0}, &Region);
}

void TConsoleScreen::SetTitle(const std::string& Title) { SetConsoleTitleW(WideText(Title).c_str()); }

void TConsoleScreen::Close() {
  if (!Buffer) return;
  // Blank, with the cursor shown at the top: Wine's console on a terminal draws the buffer that
  // becomes active again only where it changes, so this is what its terminal is left with. On
  // Windows the original buffer replaces it at once.
  CHAR_INFO Blank{};
  Blank.Char.UnicodeChar = L' ';
  Blank.Attributes = 0x07;
  std::fill(Out.begin(), Out.end(), Blank);
  const COORD Size{SHORT(Placement.TerminalColumns()), SHORT(Placement.TerminalRows())};
  SMALL_RECT Region{0, 0, SHORT(Size.X - 1), SHORT(Size.Y - 1)};
  WriteConsoleOutputW(Buffer, Out.data(), Size, COORD{0, 0}, &Region);
  SetConsoleCursorPosition(Buffer, COORD{0, 0});
  CONSOLE_CURSOR_INFO Shown{25, TRUE};
  SetConsoleCursorInfo(Buffer, &Shown);
  GiveBackScreen();
  CloseHandle(Buffer);
  Buffer = nullptr;
}

// --- Keys

TConsoleKeyboard::TConsoleKeyboard() {
  Input = OpenConsole(L"CONIN$");
  DWORD Mode = 0;
  if (Input == INVALID_HANDLE_VALUE || !GetConsoleMode(Input, &Mode)) return;
  {
    std::lock_guard Guard(State.Lock);
    State.Input = Input;
    State.InputMode = Mode;
  }
  // Ctrl-C stays a control event; no echo, no lines, and no quick edit, whose mouse selection
  // would hold every write to the screen.
  SetConsoleMode(Input, ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS);
}

TConsoleKeyboard::~TConsoleKeyboard() {
  GiveBackInput();
  if (Input != INVALID_HANDLE_VALUE) CloseHandle(Input);
}

void TConsoleKeyboard::ReadPending() {
  if (Input == INVALID_HANDLE_VALUE) return;
  DWORD Count = 0;
  INPUT_RECORD Records[32];
  // The wait, not GetNumberOfConsoleInputEvents, is what makes Wine's console read its terminal.
  while (WaitForSingleObject(Input, 0) == WAIT_OBJECT_0 &&
         ReadConsoleInputW(Input, Records, DWORD(std::size(Records)), &Count) && Count > 0) {
    for (DWORD I = 0; I < Count; ++I) {
      if (Records[I].EventType != KEY_EVENT || !Records[I].Event.KeyEvent.bKeyDown) continue;
      switch (Records[I].Event.KeyEvent.wVirtualKeyCode) {
        case VK_RIGHT: Pressed[size_t(TKey::Right)] = true; break;
        case VK_LEFT: Pressed[size_t(TKey::Left)] = true; break;
        case VK_ESCAPE: Pressed[size_t(TKey::Escape)] = true; break;
        default: break;
      }
    }
  }
}

bool TConsoleKeyboard::KeyState(TKey Key) {
  ReadPending();
  const bool Down = Pressed[size_t(Key)];
  Pressed[size_t(Key)] = false;
  return Down || (Key == TKey::Escape && StopRequested());
}
