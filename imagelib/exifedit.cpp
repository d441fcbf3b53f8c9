#include "imagelib/exifedit.h"

#include "imagelib/bitmap.h"

#include <cstring>
#include <string>

namespace {

constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr char kXmpHeader[] = "http://ns.adobe.com/xap/1.0/";

constexpr uint16_t kTagImageWidth = 0x0100;
constexpr uint16_t kTagImageLength = 0x0101;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagPixelXDimension = 0xA002;
constexpr uint16_t kTagPixelYDimension = 0xA003;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTagStripOffsets = 0x0111;
constexpr uint16_t kTagStripByteCounts = 0x0117;

// The TIFF structure after the "Exif\0\0" header, every read checked against its end.
class CTiff {
public:
    CTiff(uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}

    bool ReadHeader() {
        if (m_size < 8)
            return false;
        if (m_data[0] == 'I' && m_data[1] == 'I')
            m_little = true;
        else if (m_data[0] == 'M' && m_data[1] == 'M')
            m_little = false;
        else
            return false;
        return Get16(2) == 42;
    }
    uint32_t FirstIfd() const { return Get32(4); }

    bool Fits(uint64_t offset, uint64_t length) const { return offset + length <= m_size; }
    uint16_t Get16(uint32_t at) const {
        return m_little ? uint16_t(m_data[at] | m_data[at + 1] << 8)
                        : uint16_t(m_data[at] << 8 | m_data[at + 1]);
    }
    uint32_t Get32(uint32_t at) const {
        const uint32_t a = m_data[at], b = m_data[at + 1], c = m_data[at + 2], d = m_data[at + 3];
        return m_little ? a | b << 8 | c << 16 | d << 24 : a << 24 | b << 16 | c << 8 | d;
    }
    void Put16(uint32_t at, uint16_t v) {
        m_data[at + (m_little ? 0 : 1)] = uint8_t(v);
        m_data[at + (m_little ? 1 : 0)] = uint8_t(v >> 8);
    }
    void Put32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_data[at + uint32_t(m_little ? i : 3 - i)] = uint8_t(v >> (8 * i));
    }
    void Zero(uint32_t at, uint64_t length) {
        if (Fits(at, length))
            std::memset(m_data + at, 0, size_t(length));
    }

    // A directory: its entry count and where its entries start; false when it does not fit.
    bool Ifd(uint32_t offset, uint16_t& count) const {
        if (offset < 8 || !Fits(offset, 2))
            return false;
        count = Get16(offset);
        return Fits(offset + 2, uint64_t(count) * 12 + 4);
    }
    static uint32_t Entry(uint32_t ifd, int i) { return ifd + 2 + uint32_t(i) * 12; }

    // Bytes of an entry's value, and where they are (inline or at the offset).
    uint64_t ValueBytes(uint32_t entry) const {
        static const uint8_t kTypeSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
        const uint16_t type = Get16(entry + 2);
        const uint64_t size = type < sizeof kTypeSize ? kTypeSize[type] : 0;
        return size * Get32(entry + 4);
    }
    uint32_t ValueAt(uint32_t entry) const {
        return ValueBytes(entry) <= 4 ? entry + 8 : Get32(entry + 8);
    }

    // Sets a SHORT or LONG entry of one component; nothing for other kinds.
    void SetNumber(uint32_t entry, uint32_t value) {
        if (Get32(entry + 4) != 1)
            return;
        if (Get16(entry + 2) == 3 && value <= 0xFFFF) {
            Put16(entry + 8, uint16_t(value));
        } else if (Get16(entry + 2) == 4) {
            Put32(entry + 8, value);
        }
    }

    // Zeroes a directory, its values stored apart and its next-directory link.
    void ZeroIfd(uint32_t ifd) {
        uint16_t count = 0;
        if (!Ifd(ifd, count))
            return;
        for (int i = 0; i < count; ++i) {
            const uint32_t entry = Entry(ifd, i);
            const uint64_t bytes = ValueBytes(entry);
            if (bytes > 4)
                Zero(Get32(entry + 8), bytes);
        }
        Zero(ifd, 2 + uint64_t(count) * 12 + 4);
    }

    // Removes entry i from a directory: the later entries and the link move up, the freed
    // twelve bytes at the end become zero.
    void RemoveEntry(uint32_t ifd, int i) {
        uint16_t count = 0;
        if (!Ifd(ifd, count) || i >= count)
            return;
        const uint32_t entry = Entry(ifd, i);
        const uint32_t end = Entry(ifd, count) + 4;
        std::memmove(m_data + entry, m_data + entry + 12, end - entry - 12);
        std::memset(m_data + end - 12, 0, 12);
        Put16(ifd, uint16_t(count - 1));
    }

private:
    uint8_t* m_data;
    uint32_t m_size;
    bool m_little = true;
};

bool IsExif(const CSavedMarker& m) {
    return m.marker == kApp1 && m.dataLength > sizeof kExifHeader &&
           std::memcmp(m.data.get(), kExifHeader, sizeof kExifHeader) == 0;
}

bool IsXmp(const CSavedMarker& m) {
    return m.marker == kApp1 && m.dataLength > sizeof kXmpHeader &&
           std::memcmp(m.data.get(), kXmpHeader, sizeof kXmpHeader) == 0;
}

bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':';
}

} // namespace

bool EditExifBlock(uint8_t* data, uint32_t size, const CMarkerEdits& edits) {
    if (size <= sizeof kExifHeader || std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0)
        return false;
    CTiff tiff(data + sizeof kExifHeader, size - uint32_t(sizeof kExifHeader));
    uint16_t count = 0;
    if (!tiff.ReadHeader())
        return false;
    const uint32_t ifd0 = tiff.FirstIfd();
    if (!tiff.Ifd(ifd0, count))
        return false;
    const bool resized = edits.width > 0 && edits.height > 0;
    uint32_t exifIfd = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t entry = CTiff::Entry(ifd0, i);
        const uint16_t tag = tiff.Get16(entry);
        if (tag == kTagExifIfd)
            exifIfd = tiff.Get32(entry + 8);
        else if (resized && tag == kTagImageWidth)
            tiff.SetNumber(entry, uint32_t(edits.width));
        else if (resized && tag == kTagImageLength)
            tiff.SetNumber(entry, uint32_t(edits.height));
    }
    if (resized && exifIfd && tiff.Ifd(exifIfd, count)) {
        for (int i = 0; i < count; ++i) {
            const uint32_t entry = CTiff::Entry(exifIfd, i);
            if (tiff.Get16(entry) == kTagPixelXDimension)
                tiff.SetNumber(entry, uint32_t(edits.width));
            else if (tiff.Get16(entry) == kTagPixelYDimension)
                tiff.SetNumber(entry, uint32_t(edits.height));
        }
    }
    if (edits.stripLocation && tiff.Ifd(ifd0, count)) {
        for (int i = 0; i < count; ++i) {
            const uint32_t entry = CTiff::Entry(ifd0, i);
            if (tiff.Get16(entry) != kTagGpsIfd)
                continue;
            const uint32_t gps = tiff.Get32(entry + 8);
            // Not when the directory is the first one's own or overlaps it.
            if (gps != ifd0)
                tiff.ZeroIfd(gps);
            tiff.RemoveEntry(ifd0, i);
            break;
        }
    }
    if (resized && tiff.Ifd(ifd0, count)) {
        // The thumbnail directory and its picture: zeroed, and no longer linked.
        const uint32_t link = CTiff::Entry(ifd0, count);
        const uint32_t ifd1 = tiff.Get32(link);
        uint16_t thumbCount = 0;
        if (ifd1 && ifd1 != ifd0 && tiff.Ifd(ifd1, thumbCount)) {
            uint32_t offset = 0, length = 0;
            for (int i = 0; i < thumbCount; ++i) {
                const uint32_t entry = CTiff::Entry(ifd1, i);
                const uint16_t tag = tiff.Get16(entry);
                if ((tag == kTagThumbnailOffset || tag == kTagStripOffsets) &&
                    tiff.Get32(entry + 4) == 1)
                    offset =
                        tiff.ValueBytes(entry) == 2 ? tiff.Get16(entry + 8) : tiff.Get32(entry + 8);
                if ((tag == kTagThumbnailLength || tag == kTagStripByteCounts) &&
                    tiff.Get32(entry + 4) == 1)
                    length =
                        tiff.ValueBytes(entry) == 2 ? tiff.Get16(entry + 8) : tiff.Get32(entry + 8);
            }
            if (offset >= 8 && length > 0)
                tiff.Zero(offset, length);
            tiff.ZeroIfd(ifd1);
        }
        tiff.Put32(link, 0);
    }
    return true;
}

std::vector<uint8_t> StripXmpLocation(const uint8_t* data, size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    std::string out;
    out.reserve(size);
    const std::string prefix = "exif:GPS";
    size_t i = 0;
    while (i < in.size()) {
        const size_t hit = in.find(prefix, i);
        if (hit == std::string::npos) {
            out.append(in, i, std::string::npos);
            break;
        }
        size_t nameEnd = hit + prefix.size();
        while (nameEnd < in.size() && NameChar(in[nameEnd]))
            ++nameEnd;
        const std::string name = in.substr(hit, nameEnd - hit);
        if (hit > 0 && in[hit - 1] == '<') {
            // An element: to its matching end tag, or to "/>" when it has no content.
            const size_t open = in.find('>', nameEnd);
            if (open == std::string::npos) {
                out.append(in, i, std::string::npos);
                break;
            }
            size_t end = std::string::npos;
            if (in[open - 1] == '/') {
                end = open + 1;
            } else {
                const size_t close = in.find("</" + name + ">", open);
                if (close != std::string::npos)
                    end = close + name.size() + 3;
            }
            if (end == std::string::npos) {
                out.append(in, i, nameEnd - i);
                i = nameEnd;
                continue;
            }
            out.append(in, i, hit - 1 - i);
            // The line the element stood on goes with it when nothing else is on it.
            while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
                out.pop_back();
            i = end;
            if (i < in.size() && in[i] == '\n' && !out.empty() && out.back() == '\n')
                ++i;
            continue;
        }
        // An attribute: name="value" or name='value', with the blank before it.
        size_t eq = nameEnd;
        while (eq < in.size() && (in[eq] == ' ' || in[eq] == '\t' || in[eq] == '\n'))
            ++eq;
        if (eq < in.size() && in[eq] == '=') {
            size_t quote = eq + 1;
            while (quote < in.size() && (in[quote] == ' ' || in[quote] == '\t'))
                ++quote;
            if (quote < in.size() && (in[quote] == '"' || in[quote] == '\'')) {
                const size_t close = in.find(in[quote], quote + 1);
                if (close != std::string::npos) {
                    out.append(in, i, hit - i);
                    while (!out.empty() &&
                           (out.back() == ' ' || out.back() == '\t' || out.back() == '\n'))
                        out.pop_back();
                    i = close + 1;
                    continue;
                }
            }
        }
        out.append(in, i, nameEnd - i);
        i = nameEnd;
    }
    return std::vector<uint8_t>(out.begin(), out.end());
}

void EditOutputMarkers(CSavedMarker* markers, const CMarkerEdits& edits) {
    const bool resized = edits.width > 0 && edits.height > 0;
    if (!resized && !edits.stripLocation)
        return;
    for (CSavedMarker* m = markers; m; m = m->next.get()) {
        if (!m->data)
            continue;
        if (IsExif(*m)) {
            EditExifBlock(m->data.get(), m->dataLength, edits);
        } else if (edits.stripLocation && IsXmp(*m)) {
            const size_t header = sizeof kXmpHeader;
            std::vector<uint8_t> packet =
                StripXmpLocation(m->data.get() + header, m->dataLength - header);
            auto data = std::make_unique<uint8_t[]>(header + packet.size());
            std::memcpy(data.get(), m->data.get(), header);
            if (!packet.empty())
                std::memcpy(data.get() + header, packet.data(), packet.size());
            m->data = std::move(data);
            m->dataLength = m->originalLength = uint32_t(header + packet.size());
        }
    }
}
