// Starting other programs and finding our own files.
#pragma once

#include <string>
#include <vector>

namespace update {

// The folder of the running executable (of /proc/self/exe).
std::string ExecutableFolder();
std::string ExecutablePath();

// Starts argv[0] (looked up in PATH unless it holds a slash) with the
// arguments, without waiting for it; false (with the reason) when it could
// not be started.
bool StartProgram(const std::vector<std::string>& argv, std::string* error = nullptr);

// The file version of the executable at path, times 100 (63000 for 630.0),
// from the version record our programs carry; -1 when the file has none or
// cannot be read.
long long ReadModuleVersion(const std::string& path);

}  // namespace update
