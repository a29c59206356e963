#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

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
            for (const auto& a : args)
                if (a == "--help") {
                    std::fputs(c.usage, stdout);
                    return cli::kOk;
                }
            return c.run(args);
        }
    return cli::Usage("unknown command '" + name + "'");
}
