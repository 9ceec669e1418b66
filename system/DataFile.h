// Files the program reads at run time (the music): in the working directory, or where the
// program was installed.
#pragma once

#include <string>

// Name when a file of that name exists in the working directory; otherwise the installed copy
// (share/vorlek/Name, found from the executable's own folder) when that exists; otherwise Name.
std::string FindDataFile(const std::string& Name);
