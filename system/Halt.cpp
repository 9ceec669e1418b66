#include "system/Halt.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
std::vector<THaltHook>& Hooks() {
  static std::vector<THaltHook> List;
  return List;
}
}  // namespace

void AddHaltHook(THaltHook Hook) { Hooks().push_back(Hook); }

void RemoveHaltHook(THaltHook Hook) {
  auto& List = Hooks();
  List.erase(std::remove(List.begin(), List.end(), Hook), List.end());
}

void Halt(int ExitCode) {
  auto List = Hooks();
  for (auto It = List.rbegin(); It != List.rend(); ++It) (*It)();
  std::exit(ExitCode);
}
