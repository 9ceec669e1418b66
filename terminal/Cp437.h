// Code page 437, the glyph set of the console cells, and its Unicode equivalents.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

char32_t Cp437ToUnicode(uint8_t Code);      // 0 gives a blank
std::string_view Cp437ToUtf8(uint8_t Code);  // the glyph as UTF-8 bytes
int UnicodeToCp437(char32_t C);              // the code showing C, or -1 when there is none

// UTF-8 text as code page 437 bytes: characters the code page lacks, and bytes that are no valid
// UTF-8, become "?"; control characters too, so text never moves the cursor or hides.
std::string Utf8ToCp437(std::string_view Text);
