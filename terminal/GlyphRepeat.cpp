#include "terminal/GlyphRepeat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "terminal/RowPlanner.h"

namespace {

// The bytes of the control that starts at Text[At], or 0 where a glyph starts there.
size_t ControlLength(std::string_view Text, size_t At) {
  const auto Byte = uint8_t(Text[At]);
  if (Byte >= 0x20 && Byte != 0x7f) return 0;
  if (Byte != 0x1b || At + 1 == Text.size()) return 1;
  const char Kind = Text[At + 1];
  size_t End = At + 2;
  if (Kind == '[') {  // parameters and intermediates, then the final byte
    while (End < Text.size() && (Text[End] < 0x40 || Text[End] > 0x7e)) ++End;
    ++End;
  } else if (Kind == ']') {  // to BEL or ST
    while (End < Text.size() && Text[End] != '\a' && !(Text[End] == '\\' && Text[End - 1] == 0x1b))
      ++End;
    ++End;
  } else if (Kind >= 0x20 && Kind <= 0x2f) {  // a choice of character set, and kin
    ++End;
  }
  return std::min(End, Text.size()) - At;
}

size_t GlyphLength(uint8_t Lead) { return Lead < 0xc0 ? 1 : Lead < 0xe0 ? 2 : Lead < 0xf0 ? 3 : 4; }

}  // namespace

void RepeatGlyphs(std::string& Out, size_t From, bool LineDrawing, bool AsciiOnly) {
  // A REP takes the place of longer repeats, so the text only shrinks: it is rewritten in place,
  // each token read before anything is written over it.
  char* const Bytes = Out.data();
  const std::string_view Text(Out);
  size_t Write = From;
  auto Put = [&](const char* Source, size_t Count) {
    std::memmove(Bytes + Write, Source, Count);
    Write += Count;
  };
  for (size_t At = From; At < Text.size();) {
    if (const size_t Length = ControlLength(Text, At)) {
      const std::string_view Control = Text.substr(At, Length);
      // Shift-out shows another set, which may draw lines too.
      if (Control == "\x1b(0" || Control == "\x0e") LineDrawing = true;
      if (Control == "\x1b(B") LineDrawing = false;
      Put(Control.data(), Length);
      At += Length;
      continue;
    }
    const size_t Length = std::min(GlyphLength(uint8_t(Text[At])), Text.size() - At);
    const std::string_view Glyph = Text.substr(At, Length);
    size_t Repeats = 0;
    while (Text.substr(At + (Repeats + 1) * Length, Length) == Glyph) ++Repeats;
    const bool Redrawn = LineDrawing && Length == 1 && Glyph[0] >= 0x5f && Glyph[0] <= 0x7e;
    const bool Repeatable = !Redrawn && (Length == 1 || !AsciiOnly);
    Put(Glyph.data(), Length);
    if (Repeats > 0 && Repeatable && Repeats * Length > size_t(CsiLength(int(Repeats)))) {
      // CSI n b; "CSI b" repeats once.
      char Rep[16] = "\x1b[";
      char* RepEnd = Rep + 2;
      if (Repeats > 1) RepEnd = std::to_chars(RepEnd, Rep + sizeof Rep, Repeats).ptr;
      *RepEnd++ = 'b';
      Put(Rep, size_t(RepEnd - Rep));
    } else {
      Put(Text.data() + At + Length, Repeats * Length);
    }
    At += (Repeats + 1) * Length;
  }
  Out.resize(Write);
}
