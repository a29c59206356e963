// pimlora-cli: the headless face of the editor. Each command lives in its own
// file and registers itself here.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args& args);

struct Command {
    const char* name;
    const char* usage;     // one or more lines, shown by --help
    int order;             // position in the help text
    CommandFn run;
};

struct Registrar {
    explicit Registrar(const Command& c);
};

// "pimlora-cli: FILE: MESSAGE" on stderr; returns kFailure.
int Fail(const std::string& file, const std::string& message);
// The message and the usage text on stderr; returns kUsage.
int Usage(const std::string& message);

// File-type id from a file name's extension: bmp 1, jpg/jpeg 0, gif 2,
// tif/tiff 3, pcx 4, vor 5, sco 6, anything else -1.
int TypeFromExtension(const std::string& path);
// Lower-case extension without the dot.
std::string Extension(const std::string& path);
// Parses a whole decimal integer; false when the text is not one.
bool ParseInt(const std::string& text, int& value);

}  // namespace cli
