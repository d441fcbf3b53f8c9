#pragma once

#include "imagelib/plobject.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Receives the fraction (0 to 1) of an input consumed so far.
class CProgressNotification {
public:
    virtual ~CProgressNotification() = default;
    virtual void OnProgress(double fraction) = 0;
};

// The whole input of a decoder as one contiguous readable range with a read position.
// Decoders read only through ReadBytes, so every truncated input ends in code 11; the
// pointers handed out point into the input itself, nothing is copied.
//
// Life: constructed, opened by the concrete open (which returns 0 or an error code),
// read, closed, destroyed. A source is not reopened.
class CImageSource : public CPLObject {
public:
    explicit CImageSource(CProgressNotification* notification = nullptr)
        : m_notification(notification) {}
    ~CImageSource() override = default;
    CImageSource(const CImageSource&) = delete;
    CImageSource& operator=(const CImageSource&) = delete;

    // Reports 1.0 to the notification and forgets the name.
    virtual void Close();

    // The next n bytes without consuming them. Bytes past the end of the input read as
    // zero, so a fixed-size look (format recognition) is safe on any input; the pointer is
    // valid until the next call on this source.
    virtual const uint8_t* PeekBytes(int n);
    // Consumes n bytes and returns a pointer to them. A count that is negative or runs past
    // the end throws code 11 "End of file reached while decoding.\n" before the read
    // pointer moves, so nothing outside the input is ever handed out.
    virtual const uint8_t* ReadBytes(int n);
    // The unconsumed rest (GetRemaining bytes) for consumers that take it at once.
    virtual const uint8_t* GetRest();

    // Forwards to the notification when there is one.
    void ReportProgress(double fraction);

    const std::string& GetName() const { return m_name; }
    int GetSize() const { return m_size; }
    int GetPosition() const { return m_position; }
    int GetRemaining() const { return m_position < m_size ? m_size - m_position : 0; }
    bool IsOpen() const { return m_open; }

protected:
    // Destructors close without reporting: a notification may throw (a cancel), and a
    // destructor must not; a source destroyed unclosed was abandoned, not completed.
    void ForgetNotification() { m_notification = nullptr; }

    // The common open step: name, size and the start of the readable range.
    virtual void OpenCommon(const std::string& name, int size, const uint8_t* data);

private:
    std::string m_name;
    int m_size = 0;
    int m_position = 0;
    CProgressNotification* m_notification; // not owned
    const uint8_t* m_current = nullptr;
    bool m_open = false;
    std::vector<uint8_t> m_peekBuffer; // zero-padded copy for looks past the end
};

// A file read whole into memory with ordinary reads when it is opened. Another program
// may shorten, rewrite or delete the file while it is decoded: the decoder works on its
// own copy, and a file that shrinks while it is being read fails with code 11. (A mapping
// of the file would turn the same event into SIGBUS, which ends the whole process.)
class CFileSource : public CImageSource {
public:
    explicit CFileSource(CProgressNotification* notification = nullptr)
        : CImageSource(notification) {}
    ~CFileSource() override;

    // 0, or 3 (a folder of the path does not exist), 4 (file not found or not a readable
    // regular file), 5 (access denied, empty file, files of 2 GiB and more). Throws code 10
    // "Out of memory." when the file does not fit into memory and code 11 "End of file
    // reached while decoding.\n" when it ends before its size (it shrank during the read)
    // or cannot be read.
    int Open(const std::string& path);
    void Close() override;

    // Why the last Open failed, in the system's words ("No such file or directory", "Is a
    // directory"); empty after a successful one.
    const std::string& FailureReason() const { return m_failureReason; }

private:
    int Refuse(int code, int error);

    std::unique_ptr<uint8_t[], void (*)(void*)> m_data{nullptr, std::free};
    std::string m_failureReason;
};

// The name the design gives the file source.
using CMappedFileSource = CFileSource;

// One of the program's built-in resources.
class CResourceSource : public CImageSource {
public:
    explicit CResourceSource(CProgressNotification* notification = nullptr)
        : CImageSource(notification) {}
    ~CResourceSource() override;

    // type 0 stands for raw data (QM_RT_RCDATA). Returns 0, or 4 when there is no such
    // resource. The name becomes "Resource: <id>".
    int Open(int id, int type = 0);
    void Close() override;
};

// A caller's memory block, read in place; the caller keeps it alive while decoding.
class CMemorySource : public CImageSource {
public:
    explicit CMemorySource(CProgressNotification* notification = nullptr)
        : CImageSource(notification) {}
    ~CMemorySource() override;

    // Returns 0; the name becomes "Mem". A negative size counts as empty.
    int Open(const void* data, int size);
    void Close() override;
};
