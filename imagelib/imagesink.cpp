#include "imagelib/imagesink.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <cstdlib>
#include <cstring>

namespace {
const char kOverflow[] = "Buffer overflow while encoding.\n";
}

// ---- CImageSink

void CImageSink::OpenCommon(const std::string& name, uint8_t* buffer, int capacity) {
    m_name = name;
    m_buffer = buffer;
    m_capacity = capacity;
    m_position = 0;
}

void CImageSink::Close() {
    m_name.clear();
    m_buffer = nullptr;
    m_position = 0;
    m_capacity = 0;
}

int CImageSink::WriteBytes(int n, const void* data) {
    if (n < 0 || int64_t(m_position) + n > m_capacity)
        throw CTextException(11, kOverflow);
    if (n > 0)
        std::memcpy(m_buffer + m_position, data, size_t(n));
    m_position += n;
    return n;
}

void CImageSink::SkipBytes(int n) {
    const int64_t position = int64_t(m_position) + n;
    if (n < 0 || position > m_capacity)
        throw CTextException(11, kOverflow);
    m_position = int(position);
}

// ---- CFileSink

CFileSink::~CFileSink() {
    if (m_file)
        Flush(); // nothing to report from a destructor; the encoder's error is on its way
}

int CFileSink::Open(const std::string& path, int capacity) {
    m_file.reset(std::fopen(path.c_str(), "wb"));
    if (!m_file)
        return -1;
    m_ownedBuffer.reset(static_cast<uint8_t*>(std::calloc(capacity > 0 ? size_t(capacity) : 1, 1)));
    if (!m_ownedBuffer) {
        m_file.reset();
        return -1;
    }
    OpenCommon(path, m_ownedBuffer.get(), capacity > 0 ? capacity : 0);
    return 0;
}

bool CFileSink::Flush() {
    bool ok = true;
    if (m_position > 0)
        ok = std::fwrite(m_buffer, 1, size_t(m_position), m_file.get()) == size_t(m_position);
    ok = std::fclose(m_file.release()) == 0 && ok;
    m_ownedBuffer.reset();
    CImageSink::Close();
    return ok;
}

void CFileSink::Close() {
    if (!m_file) {
        CImageSink::Close();
        return;
    }
    const std::string path = GetName();
    if (!Flush())
        RaiseDecoderError(-1, "Writing " + path + " failed");
}
