#pragma once

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

// A sink whose buffer goes to a file in one write when the sink is closed, or destroyed
// while still open (an encoder that threw half way leaves what it wrote so far).
class CFileSink : public CImageSink {
public:
    CFileSink() = default;
    ~CFileSink() override;

    // Creates (truncates) the file and a buffer of capacity bytes. Returns 0, or -1 when
    // the file cannot be created or the buffer not allocated.
    virtual int Open(const std::string& path, int capacity);
    // Writes the buffer and closes the file. Throws code -1 "Writing <path> failed" through
    // the decoder error routine when the file system refuses the bytes (a full disk), so a
    // lost file is never reported as written.
    void Close() override;

private:
    // Writes and closes; false when any byte did not reach the file.
    bool Flush();

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> m_file;
    // Zero-filled, so that skipped padding reaches the file as zero bytes.
    std::unique_ptr<uint8_t[], void (*)(void*)> m_ownedBuffer{nullptr, std::free};
};
