#include "job/memorybudget.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr uint64_t kMegabyte = uint64_t(1) << 20;
constexpr uint64_t kBytesPerPixel = 10;
// Address space a worker maps besides its pictures: its stack (8 MB) and the allocator's
// arena (64 MB reserved, whatever it touches).
constexpr uint64_t kPerWorker = 72 * kMegabyte;
// Left for everything else the process allocates while it runs (the stamp, tables, the
// input file's bytes, libraries' own work).
constexpr uint64_t kSlack = 32 * kMegabyte;

// A "Name:   123 kB" line of a /proc file, in bytes; 0 when there is none.
uint64_t ProcKilobytes(const char* file, const std::string& name) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, name.size(), name) == 0) {
            unsigned long long kilobytes = 0;
            if (std::sscanf(line.c_str() + name.size(), "%llu", &kilobytes) == 1)
                return uint64_t(kilobytes) * 1024;
        }
    return 0;
}

} // namespace

bool CMemoryBudget::Acquire(uint64_t bytes) {
    if (bytes > m_total)
        return false;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_freed.wait(lock, [&] { return bytes <= m_total - m_held; });
    m_held += bytes;
    return true;
}

void CMemoryBudget::Release(uint64_t bytes) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held -= std::min(bytes, m_held);
    }
    m_freed.notify_all();
}

uint64_t CMemoryBudget::Held() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
}

uint64_t CMemoryBudget::PictureCharge(int64_t width, int64_t height) {
    return uint64_t(std::max<int64_t>(width, 0)) * uint64_t(std::max<int64_t>(height, 0)) *
           kBytesPerPixel;
}

uint64_t CMemoryBudget::BudgetFrom(uint64_t addressSpaceLimit, uint64_t mappedNow,
                                   uint64_t availableMemory, int workers) {
    uint64_t budget = UINT64_MAX;
    if (addressSpaceLimit > 0) {
        const uint64_t used = mappedNow + uint64_t(std::max(workers, 1)) * kPerWorker + kSlack;
        budget = addressSpaceLimit > used ? addressSpaceLimit - used : 0;
    }
    if (availableMemory > 0)
        budget = std::min(budget, availableMemory);
    return budget;
}

uint64_t CMemoryBudget::SystemBudget(int workers) {
    rlimit limit{};
    uint64_t addressSpace = 0;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        addressSpace = uint64_t(limit.rlim_cur);
    return BudgetFrom(addressSpace, ProcKilobytes("/proc/self/status", "VmSize:"),
                      ProcKilobytes("/proc/meminfo", "MemAvailable:"), workers);
}

std::string CMemoryBudget::TooLargeText(int64_t width, int64_t height) const {
    return FormatText(
        "picture too large for the memory available: %lld x %lld needs %llu MB, "
        "%llu MB available\n",
        static_cast<long long>(width), static_cast<long long>(height),
        static_cast<unsigned long long>((PictureCharge(width, height) + kMegabyte - 1) / kMegabyte),
        static_cast<unsigned long long>(m_total / kMegabyte));
}

void CBudgetHold::TakePicture(int64_t width, int64_t height) {
    if (!m_budget)
        return;
    // A file that is read a second way (the lossless path declined it) no longer holds what
    // the first way took; waiting on its own share could wait for ever.
    Release();
    const uint64_t bytes = CMemoryBudget::PictureCharge(width, height);
    if (!m_budget->Acquire(bytes))
        throw CTextException(10, m_budget->TooLargeText(width, height));
    m_bytes = bytes;
}

void CBudgetHold::Release() {
    if (m_budget && m_bytes > 0)
        m_budget->Release(m_bytes);
    m_bytes = 0;
}
