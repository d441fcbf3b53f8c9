#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How stored settings texts turn into field values and back. Every value lives in the store
// as text; these rules decide what a hand-edited, damaged or missing text becomes.

// The leading decimal number of a text with optional sign after optional white space, 0 when
// there is none; numbers beyond the 32-bit range stop at its ends. Empty text gives
// fallback, so a value that was never stored takes its default.
int TextToInteger(std::string_view text, int fallback);

// Output format: only the exact texts "1" to "4" count, anything else is JPEG (0).
int TextToOutputType(std::string_view text);

// True unless the text is exactly "0": a preview that was never stored is on.
bool TextToPreviewFlag(std::string_view text);

// True only for the exact text "1".
bool TextToFlag(std::string_view text);

std::string IntegerToText(int value);
inline std::string FlagToText(bool value) {
    return value ? "1" : "0";
}

// The folder used when none is remembered: the user's home folder with a trailing '/'.
std::string FallbackFolder();

// The longest front of text that has at most maxBytes bytes and does not end inside a UTF-8
// sequence, so a cut text stays readable.
std::string_view CutTextToBytes(std::string_view text, std::size_t maxBytes);
