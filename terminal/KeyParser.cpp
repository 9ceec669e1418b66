#include "terminal/KeyParser.h"

namespace {
constexpr uint8_t Esc = 0x1b;
}

void TKeyParser::Add(uint8_t Byte, int64_t NowMs) {
  switch (State) {
    case TState::Ground:
      if (Byte == Esc) {
        State = TState::Escape;
        EscapeAt = NowMs;
      }
      return;  // any other byte is not one of our keys
    case TState::Escape:
      if (Byte == '[') {
        State = TState::Csi;
        CsiHasParameters = false;
      } else if (Byte == 'O') {
        State = TState::Ss3;
      } else if (Byte == Esc) {
        Press(TKey::Escape);  // two presses of Escape in a row
        EscapeAt = NowMs;
      } else {
        State = TState::Ground;  // Alt with a key: not ours
      }
      return;
    case TState::Csi:
      if (Byte >= 0x40 && Byte <= 0x7e) {
        FinishCsi(Byte);
      } else if (Byte >= 0x20 && Byte <= 0x3f) {
        CsiHasParameters = true;
      } else {
        // Not part of a sequence: drop what came so far and read the byte afresh.
        State = TState::Ground;
        Add(Byte, NowMs);
      }
      return;
    case TState::Ss3:
      if (Byte == 'C') Press(TKey::Right);
      if (Byte == 'D') Press(TKey::Left);
      State = TState::Ground;
      return;
  }
}

void TKeyParser::FinishCsi(uint8_t Final) {
  // Arrows with modifiers or counts carry parameters; only the plain ones are ours.
  if (!CsiHasParameters && Final == 'C') Press(TKey::Right);
  if (!CsiHasParameters && Final == 'D') Press(TKey::Left);
  State = TState::Ground;
}

void TKeyParser::Timeout(int64_t NowMs) {
  if (State == TState::Escape && NowMs - EscapeAt >= EscapeTimeoutMs) {
    Press(TKey::Escape);
    State = TState::Ground;
  }
}

std::optional<int64_t> TKeyParser::EscapeDeadline() const {
  if (State != TState::Escape) return std::nullopt;
  return EscapeAt + EscapeTimeoutMs;
}

bool TKeyParser::Take(TKey Key) {
  bool Was = Pressed[int(Key)];
  Pressed[int(Key)] = false;
  return Was;
}
