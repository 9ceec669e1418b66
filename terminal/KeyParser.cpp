#include "terminal/KeyParser.h"

#include <utility>

namespace {
constexpr uint8_t Esc = 0x1b;
constexpr int LargestParameter = 65535;  // beyond this a number is junk, never an overflow
}  // namespace

void TKeyParser::StartSequence(TState Next) {
  State = Next;
  Parameters.fill(0);
  ParameterCount = 0;
  HasParameters = Unusual = false;
}

void TKeyParser::Add(uint8_t Byte, int64_t NowMs) {
  Timeout(NowMs);
  switch (State) {
    case TState::Ground:
      if (Byte == Esc) {
        State = TState::Escape;
        EscapeAt = NowMs;
      }
      return;  // any other byte is not one of our keys
    case TState::Escape:
      if (Byte == '[') {
        StartSequence(TState::Csi);
      } else if (Byte == 'O') {
        StartSequence(TState::Ss3);
      } else if (Byte == Esc) {
        Press(TKey::Escape);  // two presses of Escape in a row
        EscapeAt = NowMs;
      } else {
        State = TState::Ground;  // Alt with a key: not ours
      }
      return;
    case TState::Csi:
      CsiByte(Byte, NowMs);
      return;
    case TState::Ss3:
      if (Byte < 0x20) {
        State = TState::Ground;  // not part of a sequence: read afresh
        Add(Byte, NowMs);
      } else if (Byte >= 0x40 && Byte <= 0x7e) {
        if (!HasParameters && Byte == 'C') Press(TKey::Right);
        if (!HasParameters && Byte == 'D') Press(TKey::Left);
        State = TState::Ground;
      } else {
        HasParameters = true;
      }
      return;
  }
}

void TKeyParser::CsiByte(uint8_t Byte, int64_t NowMs) {
  if (Byte >= 0x40 && Byte <= 0x7e) {
    FinishCsi(Byte);
    return;
  }
  if (Byte < 0x20 || Byte > 0x7e) {
    // Not part of a sequence: drop what came so far and read the byte afresh.
    State = TState::Ground;
    Add(Byte, NowMs);
    return;
  }
  HasParameters = true;
  if (Byte >= '0' && Byte <= '9') {
    if (ParameterCount == 0) ParameterCount = 1;
    int& Value = Parameters[size_t(ParameterCount - 1)];
    Value = Value * 10 + (Byte - '0');
    if (Value > LargestParameter) {
      Unusual = true;
      Value = 0;
    }
  } else if (Byte == ';') {
    if (ParameterCount == 0) ParameterCount = 1;  // an empty first parameter
    if (ParameterCount == MaxParameters)
      Unusual = true;
    else
      ++ParameterCount;
  } else {
    Unusual = true;  // a private marker, a sub-parameter or an intermediate byte
  }
}

void TKeyParser::FinishCsi(uint8_t Final) {
  State = TState::Ground;
  // Arrows with modifiers or counts carry parameters; only the plain ones are ours.
  if (!HasParameters && Final == 'C') Press(TKey::Right);
  if (!HasParameters && Final == 'D') Press(TKey::Left);
  if (Unusual) return;
  if (Final == 'n' && ParameterCount == 1 && Parameters[0] == 0) ++StatusReports;
  if (Final == 't' && ParameterCount == 3 && Parameters[0] == 6) {
    const int Height = Parameters[1], Width = Parameters[2];
    if (Width >= 1 && Height >= 1 && Width <= MaxCellPixels && Height <= MaxCellPixels)
      CellPixels = TCellPixels{Width, Height};
  }
  // Also F3 with modifiers, which is no key of ours: "CSI 1 ; 2 R" for Shift-F3.
  if (Final == 'R' && ParameterCount == 2) Cursor = TCursorReport{Parameters[0], Parameters[1]};
}

int64_t TKeyParser::EscapeDue() const {
  return EscapeAt + (AnswersExpected ? AnswerTimeoutMs : EscapeTimeoutMs);
}

int64_t TKeyParser::SequenceDue() const {
  static_assert(AnswerTimeoutMs >= SequenceTimeoutMs);
  return EscapeAt + (AnswersExpected ? AnswerTimeoutMs : SequenceTimeoutMs);
}

void TKeyParser::Timeout(int64_t NowMs) {
  if (State == TState::Escape && NowMs >= EscapeDue()) {
    Press(TKey::Escape);
    State = TState::Ground;
  } else if ((State == TState::Csi || State == TState::Ss3) && NowMs >= SequenceDue()) {
    State = TState::Ground;
  }
}

std::optional<int64_t> TKeyParser::Deadline() const {
  switch (State) {
    case TState::Ground: return std::nullopt;
    case TState::Escape: return EscapeDue();
    default: return SequenceDue();
  }
}

bool TKeyParser::Take(TKey Key) {
  bool Was = Pressed[int(Key)];
  Pressed[int(Key)] = false;
  return Was;
}

int TKeyParser::TakeStatusReports() {
  const int Count = StatusReports;
  StatusReports = 0;
  return Count;
}

std::optional<TCellPixels> TKeyParser::TakeCellPixels() {
  return std::exchange(CellPixels, std::nullopt);
}

std::optional<TCursorReport> TKeyParser::TakeCursor() {
  return std::exchange(Cursor, std::nullopt);
}
