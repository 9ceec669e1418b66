// The three standard descriptors, made safe to rely on before anything else opens a file.
#pragma once

// Opens whichever of descriptors 0, 1 and 2 is closed on /dev/null, so that no file opened later
// takes its place (the music read as keys, frames written into a device). Call first. On Windows,
// standard output also becomes binary, so that it carries the same bytes as on Linux.
void OpenStandardDescriptors();
