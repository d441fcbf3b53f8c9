#include "cli/jsonlog.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when there is none (overlong forms,
// surrogates and values past U+10FFFF included).
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t low = 0;
    uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = 0x80;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = 0x800;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = 0x10000;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < low || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string JsonFileLine(const std::string& input, const std::string& output,
                         std::string_view status, const std::string& message,
                         int64_t milliseconds) {
    return "{\"input\":" + JsonString(input) + ",\"output\":" + JsonString(output) +
           ",\"status\":" + JsonString(status) + ",\"message\":" + JsonString(message) +
           ",\"milliseconds\":" + std::to_string(milliseconds) + "}\n";
}

std::string JsonRunLine(int ok, int skipped, int error, bool canceled, int64_t milliseconds) {
    return "{\"run\":\"end\",\"files\":" + std::to_string(ok + skipped + error) +
           ",\"ok\":" + std::to_string(ok) + ",\"skipped\":" + std::to_string(skipped) +
           ",\"error\":" + std::to_string(error) +
           ",\"canceled\":" + (canceled ? "true" : "false") +
           ",\"milliseconds\":" + std::to_string(milliseconds) + "}\n";
}
