#pragma once
// Text for an administrator who started the program from a console. The
// program has no console of its own; it writes to its parent's when there is
// one, and nowhere otherwise (a scheduled task, a double click).

#include <string>

// Writes `text` (with its own line breaks) to the console of the process that
// started this one, or to the standard output that process redirected. False,
// and nothing written, when that process has no console.
bool WriteToParentConsole(const std::wstring& text);
