#pragma once

#include "imagelib/outputfile.h"
#include "imagelib/plobject.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// An in-memory output of fixed capacity that encoders append to. Writing or skipping past
// the capacity throws code 11 "Buffer overflow while encoding.\n".
class CImageSink : public CPLObject {
public:
    CImageSink() = default;
    ~CImageSink() override = default;
    CImageSink(const CImageSink&) = delete;
    CImageSink& operator=(const CImageSink&) = delete;

    // Forgets the name and the buffer; the position returns to 0.
    virtual void Close();

    // Appends n bytes; nothing is written when they do not fit. Returns n.
    int WriteBytes(int n, const void* data);
    // Advances by n bytes without writing; the skipped bytes keep the buffer's content.
    void SkipBytes(int n);

    const std::string& GetName() const { return m_name; }
    int GetPosition() const { return m_position; }
    int GetCapacity() const { return m_capacity; }
    const uint8_t* GetBuffer() const { return m_buffer; }

protected:
    // The common open step.
    void OpenCommon(const std::string& name, uint8_t* buffer, int capacity);

    uint8_t* m_buffer = nullptr; // not owned by the base
    int m_position = 0;

private:
    std::string m_name;
    int m_capacity = 0;
};

// A sink whose buffer becomes a file when the sink is closed: written whole under a
// temporary name and renamed onto its name (COutputFile), so the name never holds a file
// cut short. A sink destroyed while still open (an encoder that threw half way) writes
// nothing and leaves an older file of that name as it was.
class CFileSink : public CImageSink {
public:
    CFileSink() = default;
    ~CFileSink() override;

    // Creates the file's temporary and a buffer of capacity bytes. Returns 0, or -1 when
    // the file cannot be created or the buffer not allocated.
    virtual int Open(const std::string& path, int capacity);
    // The same over an output file the caller has created and keeps; on a failure the
    // caller's file decides what becomes of the temporary. Returns 0, or -1 when the
    // buffer cannot be allocated.
    int Open(COutputFile& file, int capacity);
    // Writes the buffer; a file of the sink's own is renamed onto its name, a caller's file
    // is left written for the caller to publish. Throws code -1 "Writing <path> failed:
    // <reason>\n" when the file system refuses the bytes (a full disk), so a lost file is
    // never reported as written.
    void Close() override;

private:
    int OpenBuffer(int capacity);
    void Release();

    COutputFile m_ownFile;
    COutputFile* m_file = nullptr;
    // Zero-filled, so that skipped padding reaches the file as zero bytes.
    std::unique_ptr<uint8_t[], void (*)(void*)> m_ownedBuffer{nullptr, std::free};
};
