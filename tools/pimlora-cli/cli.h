// pimlora-cli: the headless face of the editor. Each command lives in its own
// file and registers itself here.
#pragma once

#include <initializer_list>
#include <map>
#include <set>
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

// A verb's arguments split into options and the rest. Options may come
// anywhere before "--"; after "--" every argument is positional. Before it,
// an argument that starts with '-' and is not one of the verb's options is a
// usage error: every verb refuses a file name with a leading dash unless
// "--" comes first.
struct Options {
    std::vector<std::string> positional;
    std::set<std::string> flags;                 // flags given
    std::map<std::string, std::string> values;   // options with a value (the last one given)
    bool Has(const std::string& name) const { return flags.count(name) || values.count(name); }
};
// "" when the arguments are well formed, else the usage message.
std::string ParseOptions(const Args& args, std::initializer_list<const char*> flags,
                         std::initializer_list<const char*> valued, Options& out);

}  // namespace cli
