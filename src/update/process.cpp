#include "process.h"

#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

extern char** environ;

namespace update {
namespace {

// The version record, the counterpart of a version resource: a section of
// its own that ReadModuleVersion finds through the ELF section table.
struct VersionRecord {
    char magic[16];
    uint32_t fileVersionMS;   // major << 16 | minor
    uint32_t fileVersionLS;   // build << 16 | revision
};
constexpr char kMagic[16] = "PIMLORA-VERSION";
constexpr const char* kSectionName = ".pimlora_version";

[[gnu::used, gnu::section(".pimlora_version")]] const VersionRecord kVersionRecord = {
    "PIMLORA-VERSION", uint32_t(PIMLORA_VERSION_NUMBER) << 16, 0};

bool ReadAt(int fd, uint64_t offset, void* out, size_t size, uint64_t fileSize) {
    if (offset > fileSize || size > fileSize - offset) return false;
    char* p = static_cast<char*>(out);
    while (size > 0) {
        ssize_t n = ::pread(fd, p, size, off_t(offset));
        if (n <= 0) return false;
        p += n;
        offset += uint64_t(n);
        size -= size_t(n);
    }
    return true;
}

long long FindRecord(int fd, uint64_t fileSize) {
    Elf64_Ehdr eh;
    if (!ReadAt(fd, 0, &eh, sizeof eh, fileSize)) return -1;
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_ident[EI_DATA] != ELFDATA2LSB)
        return -1;
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum) return -1;
    std::unique_ptr<Elf64_Shdr[]> sections(new Elf64_Shdr[eh.e_shnum]);
    if (!ReadAt(fd, eh.e_shoff, sections.get(), sizeof(Elf64_Shdr) * eh.e_shnum, fileSize)) return -1;
    const Elf64_Shdr& names = sections[eh.e_shstrndx];
    if (names.sh_size == 0 || names.sh_size > (1u << 20)) return -1;
    std::string table(size_t(names.sh_size), '\0');
    if (!ReadAt(fd, names.sh_offset, table.data(), table.size(), fileSize)) return -1;
    table.push_back('\0');
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr& s = sections[i];
        if (s.sh_name >= table.size() - 1 || std::strcmp(table.c_str() + s.sh_name, kSectionName) != 0) continue;
        if (s.sh_type != SHT_PROGBITS || s.sh_size < sizeof(VersionRecord)) return -1;
        VersionRecord r;
        if (!ReadAt(fd, s.sh_offset, &r, sizeof r, fileSize)) return -1;
        if (std::memcmp(r.magic, kMagic, sizeof kMagic) != 0) return -1;
        return (long long)(r.fileVersionMS >> 16) * 100;
    }
    return -1;
}

}  // namespace

std::string ExecutablePath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, size_t(n));
}

std::string ExecutableFolder() {
    std::string p = ExecutablePath();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

bool StartProgram(const std::vector<std::string>& argv, std::string* error) {
    if (argv.empty() || argv[0].empty()) {
        if (error) *error = "no program";
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = argv[0].find('/') == std::string::npos
                 ? ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ)
                 : ::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (rc != 0 && error) *error = argv[0] + ": " + std::strerror(rc);
    return rc == 0;
}

long long ReadModuleVersion(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    long long v = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) v = FindRecord(fd, uint64_t(st.st_size));
    ::close(fd);
    return v;
}

}  // namespace update
