// Leaving the program early: whatever holds the terminal says how to give it back first.
#pragma once

using THaltHook = void (*)();

void SetHaltHook(THaltHook Hook);      // runs before an early exit; one at a time, null for none
[[noreturn]] void Halt(int ExitCode);  // runs the hook, then exits with ExitCode
