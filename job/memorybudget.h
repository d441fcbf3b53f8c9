#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// The memory the workers of a run may hold at once for their pictures. A file takes its
// share once its decoder knows the picture's size, before anything is allocated for the
// pixels, and gives it back when the file is done: a picture that does not fit beside the
// files in progress waits for them, and one that does not fit even alone fails at once,
// where several running together would have failed at random ("Out of memory") or brought
// the machine to its knees. Thread-safe.
class CMemoryBudget {
public:
    // No limit: every share fits at once.
    CMemoryBudget() = default;
    explicit CMemoryBudget(uint64_t bytes) : m_total(bytes) {}
    CMemoryBudget(const CMemoryBudget&) = delete;
    CMemoryBudget& operator=(const CMemoryBudget&) = delete;

    // Blocks until bytes fit beside the shares held; false at once when they exceed the
    // whole budget.
    bool Acquire(uint64_t bytes);
    void Release(uint64_t bytes);

    uint64_t Total() const { return m_total; }
    uint64_t Held() const;

    // What a file is charged for a picture of width x height: the decoded picture at 32 bits
    // and what the decoders need beside it at their peak (a GIF's 8-bit canvas and its
    // 32-bit copy, a progressive JPEG's coefficients), and the encoded output held in
    // memory until it is written: 10 bytes a pixel (a GIF's peak is 9).
    static uint64_t PictureCharge(int64_t width, int64_t height);

    // The budget of this process now: the room left under its address-space limit
    // (RLIMIT_AS) after what it maps already and what worker threads map for their own
    // (stacks, allocator arenas), and no more than the memory the system has available;
    // without either limit, none.
    static uint64_t SystemBudget(int workers);
    // The same from the figures themselves (0 standing for "no such limit").
    static uint64_t BudgetFrom(uint64_t addressSpaceLimit, uint64_t mappedNow,
                               uint64_t availableMemory, int workers);

    // "picture too large for the memory available: 16000 x 16000 needs 3072 MB, 2048 MB
    // available" for the file that does not fit alone.
    std::string TooLargeText(int64_t width, int64_t height) const;

private:
    uint64_t m_total = UINT64_MAX;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    uint64_t m_held = 0;
};

// One file's share of a budget, given back when the holder goes (or the next file takes
// its own). Not thread-safe: one per worker.
class CBudgetHold {
public:
    explicit CBudgetHold(CMemoryBudget* budget) : m_budget(budget) {}
    ~CBudgetHold() { Release(); }
    CBudgetHold(const CBudgetHold&) = delete;
    CBudgetHold& operator=(const CBudgetHold&) = delete;

    // Takes the share of a width x height picture in place of what is held; throws
    // CTextException (code 10) when it cannot fit even alone.
    void TakePicture(int64_t width, int64_t height);
    void Release();
    uint64_t Bytes() const { return m_bytes; }

private:
    CMemoryBudget* m_budget;
    uint64_t m_bytes = 0;
};
