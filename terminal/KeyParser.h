// Turns the bytes a terminal sends into the show's keys. Pure: bytes and times in, keys out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "terminal/Keyboard.h"

class TKeyParser {
 public:
  static constexpr int64_t EscapeTimeoutMs = 30;  // a lone ESC: no further byte for this long

  void Add(uint8_t Byte, int64_t NowMs);  // one byte received at NowMs
  void Timeout(int64_t NowMs);            // completes a lone ESC once its time is up
  bool Take(TKey Key);                    // pressed since the last Take of that key
  // When a lone ESC received will count as Escape unless another byte comes first; none when no
  // ESC waits.
  std::optional<int64_t> EscapeDeadline() const;

 private:
  enum class TState { Ground, Escape, Csi, Ss3 };
  void Press(TKey Key) { Pressed[int(Key)] = true; }
  void FinishCsi(uint8_t Final);

  TState State = TState::Ground;
  int64_t EscapeAt = 0;
  bool CsiHasParameters = false;
  std::array<bool, 3> Pressed{};
};
