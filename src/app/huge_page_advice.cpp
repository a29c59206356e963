// Large blocks of the editor in transparent huge pages, without the restart
// that sets glibc's malloc.hugetlb tunable (a second start of the program
// and of every library it loads, about 60 ms before the first window).
//
// The editor's malloc, calloc and realloc are glibc's; a block of 4 MiB or
// more gets madvise(MADV_HUGEPAGE) on the whole 2 MiB pages inside it, as the
// tunable does for the blocks glibc maps. free is glibc's own.
#include <sys/mman.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
}

namespace {

constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
constexpr size_t kLargeBlock = size_t(4) << 20;

std::atomic<bool> gAdvise{false};

void Advise(void* block, size_t size) {
    if (!block || size < kLargeBlock || !gAdvise.load(std::memory_order_relaxed)) return;
    const uintptr_t begin = (uintptr_t(block) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (uintptr_t(block) + size) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

extern "C" void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    Advise(block, size);
    return block;
}

extern "C" void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    if (block && size && count <= SIZE_MAX / size) Advise(block, count * size);
    return block;
}

extern "C" void* realloc(void* old, size_t size) {
    void* block = __libc_realloc(old, size);
    Advise(block, size);
    return block;
}

// From main, before the first large block: on when the kernel gives huge
// pages on request ("madvise"; with "always" they come anyway) and the user
// did not turn them off (PIMLORA_NO_HUGEPAGES).
void AdviseHugePages() {
    const char* off = std::getenv("PIMLORA_NO_HUGEPAGES");
    if (off && *off && std::strcmp(off, "0") != 0) return;
    std::ifstream f("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string line;
    if (std::getline(f, line) && line.find("[madvise]") != std::string::npos) gAdvise.store(true);
}
