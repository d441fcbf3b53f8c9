#include "job/textplaceholders.h"

#include "imagelib/bitmap.h"

#include <libexif/exif-data.h>

#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <memory>

namespace {

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

constexpr unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kApp1 = 0xE1;

std::unique_ptr<ExifData, ExifDataRelease> LoadExif(const CSavedMarker* markers) {
    for (const CSavedMarker* m = markers; m; m = m->next.get())
        if (m->marker == kApp1 && m->dataLength > sizeof kExifHeader &&
            std::memcmp(m->data.get(), kExifHeader, sizeof kExifHeader) == 0) {
            std::unique_ptr<ExifData, ExifDataRelease> exif(exif_data_new());
            if (!exif)
                return nullptr;
            exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
            exif_data_load_data(exif.get(), m->data.get(), m->dataLength);
            return exif;
        }
    return nullptr;
}

// A tag's number by its name, or -1 for a name the EXIF library does not know.
int ExifTagByName(const std::string& name) {
    const ExifTag tag = exif_tag_from_name(name.c_str());
    const char* known = exif_tag_get_name(tag);
    return known && name == known ? int(tag) : -1;
}

std::string ExifText(ExifData* exif, int tag) {
    if (!exif || tag < 0)
        return {};
    for (ExifContent* content : exif->ifd) {
        if (ExifEntry* entry = exif_content_get_entry(content, ExifTag(tag))) {
            char value[1024] = {};
            exif_entry_get_value(entry, value, sizeof value);
            std::string text = value;
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            return text;
        }
    }
    return {};
}

// "YYYY:MM:DD HH:MM:SS" as EXIF writes it, to "YYYY-MM-DD"; empty when it is not a date.
std::string ExifDate(const std::string& stamp) {
    if (stamp.size() < 10 || stamp[4] != ':' || stamp[7] != ':')
        return {};
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (stamp[size_t(i)] < '0' || stamp[size_t(i)] > '9')
            return {};
    if (stamp.compare(0, 4, "0000") == 0)
        return {}; // cameras without a clock write zeros
    return stamp.substr(0, 4) + "-" + stamp.substr(5, 2) + "-" + stamp.substr(8, 2);
}

std::string DayOf(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool CTextTemplate::Parse(std::string_view text, std::string& unknown, bool numbered) {
    m_parts.clear();
    m_hasFields = false;
    m_hasPhotoFields = false;
    std::string literal;
    auto flush = [&] {
        if (!literal.empty())
            m_parts.push_back({CPart::Text, literal, literal});
        literal.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            literal += c;
            ++i;
            continue;
        }
        if (c != '{') {
            literal += c;
            continue;
        }
        const size_t close = text.find('}', i + 1);
        const size_t nextOpen = text.find('{', i + 1);
        if (close == std::string_view::npos || nextOpen < close) {
            unknown = std::string(text.substr(
                i, close == std::string_view::npos ? std::string_view::npos : close - i + 1));
            if (nextOpen < close)
                unknown = std::string(text.substr(i, nextOpen - i));
            return false;
        }
        const std::string name(text.substr(i + 1, close - i - 1));
        const std::string written(text.substr(i, close - i + 1));
        CPart part;
        part.written = written;
        if (name == "name")
            part.kind = CPart::Name;
        else if (name == "ext")
            part.kind = CPart::Ext;
        else if (name == "date")
            part.kind = CPart::Date;
        else if (name == "year")
            part.kind = CPart::Year;
        else if (name.rfind("exif:", 0) == 0 && ExifTagByName(name.substr(5)) >= 0) {
            part.kind = CPart::Exif;
            part.text = name.substr(5);
        } else if (numbered && name == "n") {
            part.kind = CPart::Number;
        } else {
            unknown = written;
            return false;
        }
        flush();
        m_parts.push_back(part);
        m_hasFields = true;
        if (part.kind == CPart::Date || part.kind == CPart::Year || part.kind == CPart::Exif)
            m_hasPhotoFields = true;
        i = close;
    }
    flush();
    return true;
}

std::string CTextTemplate::Fill(const std::string& path, const CSavedMarker* markers,
                                std::string_view number) const {
    std::string out;
    std::unique_ptr<ExifData, ExifDataRelease> exif;
    bool exifRead = false;
    auto readExif = [&]() -> ExifData* {
        if (!exifRead) {
            exif = LoadExif(markers);
            exifRead = true;
        }
        return exif.get();
    };
    std::string date;
    auto dateTaken = [&]() -> const std::string& {
        if (!date.empty())
            return date;
        date = ExifDate(ExifText(readExif(), EXIF_TAG_DATE_TIME_ORIGINAL));
        if (date.empty())
            date = ExifDate(ExifText(readExif(), EXIF_TAG_DATE_TIME));
        if (date.empty()) {
            struct stat info;
            date = DayOf(!path.empty() && ::stat(path.c_str(), &info) == 0 ? info.st_mtime
                                                                           : std::time(nullptr));
        }
        return date;
    };
    const std::string name = FileName(path);
    const size_t dot = name.rfind('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    for (const CPart& part : m_parts) {
        switch (part.kind) {
        case CPart::Text:
            out += part.text;
            break;
        case CPart::Name:
            out += hasExt ? name.substr(0, dot) : name;
            break;
        case CPart::Ext:
            out += hasExt ? name.substr(dot + 1) : std::string();
            break;
        case CPart::Date:
            out += dateTaken();
            break;
        case CPart::Year:
            out += dateTaken().substr(0, 4);
            break;
        case CPart::Exif:
            out += ExifText(readExif(), ExifTagByName(part.text));
            break;
        case CPart::Number:
            out += number;
            break;
        }
    }
    return out;
}

std::string CTextTemplate::Literal() const {
    std::string out;
    for (const CPart& part : m_parts)
        out += part.kind == CPart::Text ? part.text : part.written;
    return out;
}

std::string UnknownPlaceholder(std::string_view text) {
    CTextTemplate parsed;
    std::string unknown;
    return parsed.Parse(text, unknown) ? std::string() : unknown;
}
