#pragma once
// Data resources (RCDATA) that the build puts into an executable.

#include <windows.h>

#include <optional>
#include <string>

// The bytes of RCDATA resource `id` of `module` (this program when null);
// nothing when the module has no such resource.
std::optional<std::string> LoadRawResource(HMODULE module, int id);
