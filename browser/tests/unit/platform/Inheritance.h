#pragma once

// What a child process would get: whether the descriptor's handle is inherited by child
// processes (on POSIX: kept across exec), and a way to make it so.
bool IsInheritedByChildProcesses(int descriptor);
void MakeInheritedByChildProcesses(int descriptor);
