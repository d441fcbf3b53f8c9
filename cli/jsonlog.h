#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The lines of --log-format jsonl: one JSON object per line, for tools that collect the
// results of many runs.

// text as a JSON string with its quotes. Paths are bytes, not always UTF-8: a byte that
// does not belong to a valid UTF-8 sequence becomes U+FFFD, so the line stays valid JSON.
std::string JsonString(std::string_view text);

// {"input":...,"output":...,"status":"ok|skipped|error","message":...,"milliseconds":N}
std::string JsonFileLine(const std::string& input, const std::string& output,
                         std::string_view status, const std::string& message, int64_t milliseconds);

// The last line of a run:
// {"run":"end","files":N,"ok":N,"skipped":N,"error":N,"canceled":B,"milliseconds":N}
std::string JsonRunLine(int ok, int skipped, int error, bool canceled, int64_t milliseconds);
