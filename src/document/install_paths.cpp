#include "install_paths.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace paths {

std::string ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path().string();
}

std::string ResourceFolder(const std::string& probe) {
    namespace fs = std::filesystem;
    const std::string exeFolder = ExecutableFolder();
    if (exeFolder.empty()) return {};
    std::error_code ec;
    for (const fs::path& p : {fs::path(exeFolder) / ".." / "share" / "pimlora", fs::path(exeFolder) / "resources"}) {
        if (fs::is_regular_file(p / probe, ec)) return fs::weakly_canonical(p, ec).string();
    }
    return {};
}

}  // namespace paths
