// trackgen OUT.ogg: renders the show's music and writes it, replacing OUT.ogg only when done.
#include <cstdio>
#include <string>

#include "tools/trackgen/Track.h"

int main(int Argc, char** Argv) {
  if (Argc != 2) {
    std::fprintf(stderr, "usage: trackgen OUT.ogg\n");
    return 2;
  }
  std::vector<uint8_t> Bytes = BuildTrack();
  if (Bytes.empty()) {
    std::fprintf(stderr, "trackgen: the encoder refused the settings\n");
    return 1;
  }
  std::string Target = Argv[1], Temporary = Target + ".part";
  std::FILE* File = std::fopen(Temporary.c_str(), "wb");
  bool Ok = File && std::fwrite(Bytes.data(), 1, Bytes.size(), File) == Bytes.size();
  if (File) Ok = std::fclose(File) == 0 && Ok;
  // Windows' rename never replaces a file: there the old track goes first.
  const auto Replace = [&] {
    return std::rename(Temporary.c_str(), Target.c_str()) == 0 ||
           (std::remove(Target.c_str()) == 0 && std::rename(Temporary.c_str(), Target.c_str()) == 0);
  };
  if (!Ok || !Replace()) {
    std::remove(Temporary.c_str());
    std::fprintf(stderr, "trackgen: cannot write %s\n", Target.c_str());
    return 1;
  }
  return 0;
}
