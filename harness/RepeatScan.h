// Where a program's output repeats a glyph (REP, CSI n b), for tests that check when and how the
// encoder uses it.
#pragma once

#include <string_view>
#include <vector>

// The offsets of the REPs in Bytes from From on.
inline std::vector<size_t> RepeatOffsets(std::string_view Bytes, size_t From = 0) {
  std::vector<size_t> Offsets;
  for (size_t At = Bytes.find("\x1b[", From); At != std::string_view::npos;
       At = Bytes.find("\x1b[", At + 1)) {
    const size_t End = Bytes.find_first_not_of("0123456789", At + 2);
    if (End != std::string_view::npos && Bytes[End] == 'b') Offsets.push_back(At);
  }
  return Offsets;
}
