// Shortens written text with REP (CSI n b), which repeats the glyph just written n more times, on
// terminals that have shown they repeat (the Linux console never does). Pure: bytes in, bytes out.
#pragma once

#include <cstddef>
#include <string>

// Rewrites Out from From on, bytes a VT terminal reads as they stand, so that each run of one glyph
// written several times over, where its repeats cost more than a REP, is the glyph and a REP. The
// terminal ends as it would have: the same cells, the cursor in the same place. ASCII that the
// VT100 line-drawing set redraws is left as it is where that set may be chosen (LineDrawing: from
// From on, until ESC ( B), as not every terminal repeats it in the set; with AsciiOnly, so is every
// glyph beyond ASCII.
void RepeatGlyphs(std::string& Out, size_t From, bool LineDrawing, bool AsciiOnly = false);
