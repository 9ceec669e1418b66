// Leaving the program early: whatever holds the terminal registers how to give it back first.
#pragma once

using THaltHook = void (*)();

void AddHaltHook(THaltHook Hook);     // runs before an early exit, last added first
void RemoveHaltHook(THaltHook Hook);
[[noreturn]] void Halt(int ExitCode);  // runs the hooks, then exits with ExitCode
