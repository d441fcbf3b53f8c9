#include "imagelib/imagesource.h"

#include "imagelib/textexception.h"
#include "resources/resourcetable.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
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
    // A mapping ends at the file's last page and a resource or memory block at its last
    // byte: hand out a zero-padded copy instead of reading past either.
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

// ---- CMappedFileSource

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

CMappedFileSource::~CMappedFileSource() {
    ForgetNotification();
    if (IsOpen() || m_file >= 0)
        CMappedFileSource::Close();
}

int CMappedFileSource::Open(const std::string& path) {
    // O_NONBLOCK: a FIFO must not stall the open; it is refused below as not a file.
    m_file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_file < 0) {
        switch (errno) {
        case ENOENT:
            return FolderExists(path) ? 4 : 3;
        case ENOTDIR:
            return 3;
        case EACCES:
        case EPERM:
            return 5;
        default:
            return 4;
        }
    }
    struct stat info;
    if (::fstat(m_file, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(m_file);
        m_file = -1;
        return 4;
    }
    // An empty file cannot be mapped; sizes and positions are 32-bit signed.
    if (info.st_size <= 0 || info.st_size > INT_MAX) {
        ::close(m_file);
        m_file = -1;
        return 5;
    }
    m_viewSize = size_t(info.st_size);
    void* view = ::mmap(nullptr, m_viewSize, PROT_READ, MAP_PRIVATE, m_file, 0);
    if (view == MAP_FAILED) {
        ::close(m_file);
        m_file = -1;
        m_viewSize = 0;
        return 5;
    }
    m_view = view;
    ::madvise(m_view, m_viewSize, MADV_SEQUENTIAL);
    OpenCommon(path, int(m_viewSize), static_cast<const uint8_t*>(m_view));
    return 0;
}

void CMappedFileSource::Close() {
    if (m_view) {
        ::munmap(m_view, m_viewSize);
        m_view = nullptr;
        m_viewSize = 0;
    }
    if (IsOpen())
        CImageSource::Close();
    if (m_file >= 0) {
        ::close(m_file);
        m_file = -1;
    }
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
