#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "huge_pages.h"
#include "cli.h"

namespace cli {
namespace {
std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

void PrintHelp(FILE* out) {
    std::fprintf(out, "usage:\n");
    auto table = Table();
    std::sort(table.begin(), table.end(), [](const Command& a, const Command& b) { return a.order < b.order; });
    for (const Command& c : table) std::fprintf(out, "%s", c.usage);
    std::fprintf(out, "  pimlora-cli --help\n");
    std::fprintf(out, "-- ends the options: a file name that starts with '-' must come after it\n");
    std::fprintf(out, "exit status: 0 success, 1 failure (message on stderr), 2 usage error\n");
}
}  // namespace

Registrar::Registrar(const Command& c) { Table().push_back(c); }

int Fail(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "pimlora-cli: %s: %s\n", file.c_str(), message.c_str());
    return kFailure;
}

int Usage(const std::string& message) {
    if (!message.empty()) std::fprintf(stderr, "pimlora-cli: %s\n", message.c_str());
    PrintHelp(stderr);
    return kUsage;
}

std::string Extension(const std::string& path) {
    auto slash = path.rfind('/');
    auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

int TypeFromExtension(const std::string& path) {
    const std::string ext = Extension(path);
    if (ext == "bmp") return 1;
    if (ext == "jpg" || ext == "jpeg") return 0;
    if (ext == "gif") return 2;
    if (ext == "tif" || ext == "tiff") return 3;
    if (ext == "pcx") return 4;
    if (ext == "vor") return 5;
    if (ext == "sco") return 6;
    return -1;
}

std::string ParseOptions(const Args& args, std::initializer_list<const char*> flags,
                         std::initializer_list<const char*> valued, Options& out) {
    auto among = [](const std::string& a, std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (a == n) return true;
        return false;
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-') {
            out.positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (among(a, flags)) {
            out.flags.insert(a);
        } else if (among(a, valued)) {
            if (i + 1 >= args.size()) return a + " needs a value";
            out.values[a] = args[++i];
        } else {
            return "unknown option '" + a + "' (put -- before a file name that starts with '-')";
        }
    }
    return "";
}

bool ParseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    value = int(v);
    return true;
}

}  // namespace cli

int main(int argc, char** argv) {
    RestartWithHugePages(argv);
    if (argc < 2) return cli::Usage("no command given");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        cli::PrintHelp(stdout);
        return cli::kOk;
    }
    cli::Args args(argv + 2, argv + argc);
    for (const cli::Command& c : cli::Table())
        if (name == c.name) {
            for (const auto& a : args) {
                if (a == "--") break;   // a file may be called --help
                if (a == "--help") {
                    std::fputs(c.usage, stdout);
                    return cli::kOk;
                }
            }
            // Running out of memory is a failure of the verb, reported as
            // every other one (the commands and the document catch it first;
            // this is the last boundary).
            try {
                return c.run(args);
            } catch (const std::bad_alloc&) {
                std::string file = c.name;
                for (const auto& a : args)
                    if (!a.empty() && a[0] != '-') {
                        file = a;
                        break;
                    }
                return cli::Fail(file, "메모리가 부족합니다");
            }
        }
    return cli::Usage("unknown command '" + name + "'");
}
