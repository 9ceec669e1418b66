// Turns the bytes a terminal sends into the show's keys, and takes out the terminal's own answers
// (status, cell-size and cursor reports) so that they never act as keys. Pure: bytes and times
// in, keys and reports out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "terminal/Keyboard.h"

// The size of one character cell in pixels, as a terminal reports it.
struct TCellPixels {
  int Width = 0;
  int Height = 0;
  friend bool operator==(const TCellPixels&, const TCellPixels&) = default;
};

// Where the cursor stands, as a terminal reports it: row and column from 1.
struct TCursorReport {
  int Row = 0;
  int Column = 0;
  friend bool operator==(const TCursorReport&, const TCursorReport&) = default;
};

class TKeyParser {
 public:
  static constexpr int64_t EscapeTimeoutMs = 30;  // a lone ESC: no further byte for this long
  // A sequence still unfinished this long after its ESC is given up, and the bytes after it are
  // read afresh: a key must not wait on a stray Alt+O or Alt+[.
  static constexpr int64_t SequenceTimeoutMs = 250;
  // While the terminal owes answers, a lone ESC or an unfinished sequence may be a report split in
  // transit (over ssh a report can cross two packets): it is given this long from its ESC.
  static constexpr int64_t AnswerTimeoutMs = 400;
  static constexpr int MaxCellPixels = 512;  // larger cell sizes in a report are not believed

  void ExpectAnswers(bool Expected) { AnswersExpected = Expected; }  // the terminal owes answers
  void Add(uint8_t Byte, int64_t NowMs);  // one byte received at NowMs
  void Timeout(int64_t NowMs);            // completes a lone ESC, gives up a stale sequence
  bool Take(TKey Key);                    // pressed since the last Take of that key
  // When Timeout will next have something to do unless another byte comes first; none when
  // nothing waits.
  std::optional<int64_t> Deadline() const;

  // --- The terminal's answers
  int TakeStatusReports();                      // "CSI 0 n" received since the last call
  std::optional<TCellPixels> TakeCellPixels();  // the latest "CSI 6 ; H ; W t" not yet taken
  std::optional<TCursorReport> TakeCursor();    // the latest "CSI ROW ; COLUMN R" not yet taken

 private:
  enum class TState { Ground, Escape, Csi, Ss3 };
  static constexpr int MaxParameters = 4;
  void Press(TKey Key) { Pressed[int(Key)] = true; }
  void StartSequence(TState Next);
  void CsiByte(uint8_t Byte, int64_t NowMs);
  void FinishCsi(uint8_t Final);
  int64_t EscapeDue() const;    // when a lone ESC is Escape
  int64_t SequenceDue() const;  // when an unfinished sequence is given up

  TState State = TState::Ground;
  bool AnswersExpected = false;
  int64_t EscapeAt = 0;
  // The sequence being read: its numeric parameters, and whether anything else came with them
  // (a private marker, an intermediate, a sub-parameter, too many or too large numbers).
  std::array<int, MaxParameters> Parameters{};
  int ParameterCount = 0;
  bool HasParameters = false;
  bool Unusual = false;
  std::array<bool, 3> Pressed{};
  int StatusReports = 0;
  std::optional<TCellPixels> CellPixels;
  std::optional<TCursorReport> Cursor;
};
