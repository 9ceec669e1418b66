// UTF-8 text read one character at a time, and a user's text made safe to print in a message.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The character that starts at Text[At], with At moved past it; none for a byte that starts no
// valid character (overlong forms and surrogates included), with At moved past that one byte.
std::optional<char32_t> NextUtf8(std::string_view Text, size_t& At);

// Text as a message may show it: control characters (C0, DEL, C1) and bytes that are no valid
// UTF-8 are written as \xNN, so that a value the user gave can neither move the cursor nor send
// the terminal a command (a title, a colour) when an error message quotes it.
std::string EscapeControls(std::string_view Text);
