#pragma once

#include <string>

// Process-wide trace of the image library. A line is written only when its level is at
// most the trace level and a trace file is set; the program never sets one, so tracing
// costs one comparison per line.
void SetTraceLevel(int level);
int GetTraceLevel();
// An empty path switches the file off.
void SetTraceFile(const std::string& path);
// Appends text to the trace file, opening and closing the file for every line so that a
// crash loses nothing already traced.
void Trace(int level, const std::string& text);

// printf-style formatting into a std::string, for trace lines and error messages.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The library's error routine for codes -1 to 8: the text becomes
// "Decoder error: <message>\n", is traced at level 0 and thrown as CTextException.
[[noreturn]] void RaiseDecoderError(int code, const std::string& message);
