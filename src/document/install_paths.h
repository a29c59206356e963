// Where the program finds its read-only files (the default configuration
// files, icons, manuals), whether it runs installed or from its build folder.
//
// Installed:        <prefix>/bin/pimlora  ->  <prefix>/share/pimlora
// From the build:   <build>/pimlora       ->  <build>/resources (copied there
//                                             by the build)
// The source tree is never read at run time.
#pragma once

#include <string>

namespace paths {

// Folder of the running executable (from /proc/self/exe), without a
// trailing slash; empty when it cannot be told.
std::string ExecutableFolder();

// The folder of the read-only files: the first of <exe>/../share/pimlora
// and <exe>/resources that holds `probe` (a file name such as
// "RoviCon_380.ini"); empty when neither does.
std::string ResourceFolder(const std::string& probe = "RoviCon_380.ini");

}  // namespace paths
