// Where the running program's own file lies.
#pragma once

#include <string>

std::string ExecutablePath();  // absolute, links resolved; empty when the system does not say
