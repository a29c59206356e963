// Large pixel buffers in transparent huge pages.
#pragma once

// A fresh pixel buffer costs one page fault per 4 KiB page it touches, and
// on the machines we run on a fault costs microseconds: a new 12-megapixel
// layer spends longer in faults than in any filter run over it. glibc's
// malloc asks the kernel for transparent huge pages (2 MiB per fault) only
// when told so at start-up through GLIBC_TUNABLES. Called first thing in
// main(): when the kernel offers huge pages on request and the tunable is not
// set yet, the program starts itself again (same process, same arguments)
// with "glibc.malloc.hugetlb=1" added. Returns only when nothing was done or
// the restart failed; PIMLORA_NO_HUGEPAGES=1 turns it off.
void RestartWithHugePages(char** argv);
