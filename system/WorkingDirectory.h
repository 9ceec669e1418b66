// The process's working directory as text.
#pragma once

#include <string>

std::string GetWorkingDirectory();  // UTF-8 as the system gives it; empty when it cannot be read
