#include "imagelib/trace.h"

#include "imagelib/textexception.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
std::atomic<int> g_traceLevel{0};
std::atomic<bool> g_traceOn{false};
std::mutex g_traceMutex;
std::string g_tracePath; // guarded by g_traceMutex
} // namespace

void SetTraceLevel(int level) {
    g_traceLevel.store(level, std::memory_order_relaxed);
}
int GetTraceLevel() {
    return g_traceLevel.load(std::memory_order_relaxed);
}

void SetTraceFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_tracePath = path;
    g_traceOn.store(!path.empty(), std::memory_order_relaxed);
}

void Trace(int level, const std::string& text) {
    // Decoders trace several lines per file from more than one thread; without a file the
    // check must stay lock-free.
    if (level > GetTraceLevel() || !g_traceOn.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> lock(g_traceMutex);
    if (g_tracePath.empty())
        return;
    if (std::FILE* file = std::fopen(g_tracePath.c_str(), "a+")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(size_t(n));
    }
    va_end(again);
    return out;
}

void RaiseDecoderError(int code, const std::string& message) {
    std::string text = "Decoder error: " + message + "\n";
    Trace(0, text);
    throw CTextException(code, std::move(text));
}
