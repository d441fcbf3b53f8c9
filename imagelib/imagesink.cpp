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
    Release(); // an unclosed sink is a failed encoding: nothing reaches the name
}

void CFileSink::Release() {
    m_ownedBuffer.reset();
    if (m_file == &m_ownFile)
        m_ownFile.Discard();
    m_file = nullptr;
    CImageSink::Close();
}

int CFileSink::OpenBuffer(int capacity) {
    m_ownedBuffer.reset(static_cast<uint8_t*>(std::calloc(capacity > 0 ? size_t(capacity) : 1, 1)));
    if (!m_ownedBuffer) {
        Release();
        return -1;
    }
    OpenCommon(m_file->GetPath(), m_ownedBuffer.get(), capacity > 0 ? capacity : 0);
    return 0;
}

int CFileSink::Open(const std::string& path, int capacity) {
    Release();
    try {
        m_ownFile.Create(path);
    } catch (const CTextException&) {
        return -1;
    }
    m_file = &m_ownFile;
    return OpenBuffer(capacity);
}

int CFileSink::Open(COutputFile& file, int capacity) {
    Release();
    if (!file.IsCreated())
        return -1;
    m_file = &file;
    return OpenBuffer(capacity);
}

void CFileSink::Close() {
    if (!m_file) {
        CImageSink::Close();
        return;
    }
    COutputFile* file = m_file;
    const int size = m_position;
    try {
        // A caller's file is published by the caller, who decides what may be replaced.
        if (file == &m_ownFile)
            file->Commit(m_buffer, size_t(size));
        else
            file->Write(m_buffer, size_t(size));
    } catch (const CTextException&) {
        Release();
        throw;
    }
    Release();
}
