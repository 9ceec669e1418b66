// Asciicast: lines of an asciicast version 2 recording (a JSON header, then one array per event).
#pragma once

#include <string>
#include <string_view>

// {"version": 2, "width": W, "height": H, "title": "..."} and a newline.
std::string AsciicastHeader(int Width, int Height, std::string_view Title);

// [Seconds, "o", "Data"] and a newline. Seconds is written as given (already formatted).
std::string AsciicastOutput(std::string_view Seconds, std::string_view Data);

// Data as a JSON string literal, quotes included. UTF-8 passes through and each byte that is no
// part of a UTF-8 character becomes U+FFFD; control characters, quote and backslash are escaped.
std::string JsonString(std::string_view Data);
