// Files built into the executable, found by name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// The bytes of the built-in bitmap Name, or an empty span when there is none.
std::span<const uint8_t> FindBitmapResource(const std::string& Name);
