#include "imagelib/imagesource.h"

#include "imagelib/textexception.h"
#include "resources/resourcetable.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- CImageSource

void CImageSource::OpenCommon(const std::string& name, int size, const uint8_t* data) {
    m_name = name;
    m_size = size;
    m_position = 0;
    m_current = data;
    m_open = true;
}

void CImageSource::Close() {
    if (m_notification)
        m_notification->OnProgress(1.0);
    m_name.clear();
    m_current = nullptr;
    m_peekBuffer.clear();
    m_peekBuffer.shrink_to_fit();
    m_open = false;
}

const uint8_t* CImageSource::PeekBytes(int n) {
    if (n <= GetRemaining())
        return m_current;
    // A file, resource or memory block ends at its last byte: hand out a zero-padded copy
    // instead of reading past it.
    m_peekBuffer.assign(size_t(std::max(n, 0)), 0);
    if (const int have = GetRemaining(); have > 0)
        std::memcpy(m_peekBuffer.data(), m_current, size_t(have));
    return m_peekBuffer.data();
}

const uint8_t* CImageSource::ReadBytes(int n) {
    const int64_t oldPosition = m_position;
    const int64_t newPosition = oldPosition + n;
    // Rejected before anything moves: neither the read pointer nor the position leave
    // the input, whatever a corrupt header asked for.
    if (n < 0 || newPosition > m_size)
        throw CTextException(11, "End of file reached while decoding.\n");
    m_position = int(newPosition);
    if (m_notification && oldPosition / 1024 < newPosition / 1024)
        m_notification->OnProgress(double(newPosition) / double(m_size));
    const uint8_t* data = m_current;
    m_current += n;
    return data;
}

const uint8_t* CImageSource::GetRest() {
    return m_current;
}

void CImageSource::ReportProgress(double fraction) {
    if (m_notification)
        m_notification->OnProgress(fraction);
}

// ---- CFileSource

namespace {
// Whether the folder part of path exists, to tell a missing file (4) from a missing
// folder (3).
bool FolderExists(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return true;
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
} // namespace

CFileSource::~CFileSource() {
    ForgetNotification();
    if (IsOpen())
        CFileSource::Close();
}

int CFileSource::Refuse(int code, int error) {
    char buffer[256];
    // The GNU strerror_r returns its text, which may or may not be the buffer.
    m_failureReason = error ? ::strerror_r(error, buffer, sizeof buffer) : "";
    return code;
}

int CFileSource::Open(const std::string& path) {
    m_failureReason.clear();
    // O_NONBLOCK: a FIFO must not stall the open; it is refused below as not a file.
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
            return Refuse(FolderExists(path) ? 4 : 3, error);
        case ENOTDIR:
            return Refuse(3, error);
        case EACCES:
        case EPERM:
            return Refuse(5, error);
        default:
            return Refuse(4, error);
        }
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{file};
    struct stat info;
    if (::fstat(file, &info) != 0)
        return Refuse(4, errno);
    if (S_ISDIR(info.st_mode))
        return Refuse(4, EISDIR);
    if (!S_ISREG(info.st_mode)) {
        m_failureReason = "not a regular file";
        return 4;
    }
    // Sizes and positions are 32-bit signed; an empty file holds no picture.
    if (info.st_size <= 0) {
        m_failureReason = "the file is empty";
        return 5;
    }
    if (info.st_size > INT_MAX)
        return Refuse(5, EFBIG);
    const size_t size = size_t(info.st_size);
    // malloc, not a vector: the bytes are overwritten by the read at once, and a large
    // block need not be zeroed first.
    m_data.reset(static_cast<uint8_t*>(std::malloc(size)));
    if (!m_data)
        throw CTextException(10, "Out of memory.");
    ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file, m_data.get() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // Shortened (or unreadable) while being read: this input ends here, and the
            // bytes beyond its new end are not the picture's any more.
            m_data.reset();
            throw CTextException(11, "End of file reached while decoding.\n");
        }
        done += size_t(got);
    }
    OpenCommon(path, int(size), m_data.get());
    return 0;
}

void CFileSource::Close() {
    if (IsOpen())
        CImageSource::Close();
    m_data.reset();
}

// ---- CResourceSource

CResourceSource::~CResourceSource() {
    ForgetNotification();
    if (IsOpen())
        CResourceSource::Close();
}

int CResourceSource::Open(int id, int type) {
    const CResourceEntry* entry = FindResourceEntry(id, type ? type : QM_RT_RCDATA);
    if (!entry || entry->size > size_t(INT_MAX))
        return 4;
    OpenCommon("Resource: " + std::to_string(id), int(entry->size), entry->data);
    return 0;
}

void CResourceSource::Close() {
    if (IsOpen())
        CImageSource::Close();
}

// ---- CMemorySource

CMemorySource::~CMemorySource() {
    ForgetNotification();
    if (IsOpen())
        CMemorySource::Close();
}

int CMemorySource::Open(const void* data, int size) {
    if (!data || size < 0)
        size = 0;
    OpenCommon("Mem", size, static_cast<const uint8_t*>(data));
    return 0;
}

void CMemorySource::Close() {
    if (IsOpen())
        CImageSource::Close();
}
