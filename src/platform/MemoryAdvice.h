#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

namespace nimbrook {

// Asks for huge pages under the 2 MiB-aligned part of a large buffer about to
// be written through. Each first touch of a page is a fault, and on some
// machines the faults of a 4 KiB-paged 100 MB buffer take longer than all the
// work done in it. Only advice: where it is not taken, nothing changes.
inline void adviseHugePages(const void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = 2 * 1024 * 1024;
    if (bytes < 4 * hugePage)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t end = (start + bytes) & ~(hugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace nimbrook
