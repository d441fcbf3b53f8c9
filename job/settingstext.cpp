#include "job/settingstext.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

int TextToInteger(std::string_view text, int fallback) {
    if (text.empty())
        return fallback;
    std::size_t i = 0;
    // The C library's white space in the "C" locale; the stored texts never depend on a locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing once past the 32-bit range, so any number of
    // digits is safe and the sign still decides the end the value sticks to.
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= int64_t(INT_MAX) + 1)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

int TextToOutputType(std::string_view text) {
    for (const char* known : {"1", "2", "3", "4"})
        if (text == known)
            return known[0] - '0';
    return 0;
}

bool TextToPreviewFlag(std::string_view text) {
    return text != "0";
}

bool TextToFlag(std::string_view text) {
    return text == "1";
}

std::string IntegerToText(int value) {
    return std::to_string(value);
}

std::string FallbackFolder() {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env)
        home = env;
    else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir)
        home = pw->pw_dir;
    else
        home = "/";
    if (home.back() != '/')
        home += '/';
    return home;
}

std::string_view CutTextToBytes(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    // Step back over the continuation bytes of a sequence that would be split. A sequence is
    // at most four bytes; a longer run is not UTF-8, and then the byte count alone decides.
    auto continuation = [&](std::size_t i) { return (uint8_t(text[i]) & 0xC0) == 0x80; };
    std::size_t end = maxBytes;
    while (end > 0 && maxBytes - end < 3 && continuation(end))
        --end;
    return text.substr(0, continuation(end) ? maxBytes : end);
}
