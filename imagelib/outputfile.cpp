#include "imagelib/outputfile.h"

#include "imagelib/textexception.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary's mark: ".<name>.qmtmp-<unique>". File names are limited to 255 bytes;
// a long name is cut so that its temporary still fits.
const char kMark[] = ".qmtmp-";
constexpr size_t kMaxNamePart = 200;

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns its text, which may or may not be the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    uint64_t value = uint64_t(::getpid()) << 24 ^ uint64_t(counter.fetch_add(1)) ^
                     uint64_t(reinterpret_cast<uintptr_t>(&counter) >> 4) << 40;
    std::string out;
    for (int i = 0; i < 10; ++i, value /= 36)
        out += digits[value % 36];
    return out;
}

} // namespace

COutputFile::~COutputFile() {
    Discard();
}

void COutputFile::Fail(const char* step, int error) {
    const std::string path = m_path;
    Discard();
    throw CTextException(-1,
                         std::string(step) + " " + path + " failed: " + SystemReason(error) + "\n");
}

void COutputFile::Create(const std::string& path) {
    Discard();
    m_path = path;
    // An existing output is replaced by the rename, which would go through both a folder
    // in its place (failing only at the end) and a file's write protection; refuse both
    // now, before anything is decoded.
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            Fail("Creating", EISDIR);
        // A device or pipe of that name would be replaced by a plain file, not written to.
        if (!S_ISREG(info.st_mode))
            Fail("Creating", EEXIST);
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
            Fail("Creating", errno);
    }
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        Fail("Creating", EISDIR);
    if (name.size() > kMaxNamePart)
        name.resize(kMaxNamePart);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = folder + "." + name + kMark + UniqueSuffix();
        // 0666 less the umask, as any output file; the rename keeps the mode.
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temporary = temporary;
            return;
        }
        if (errno != EEXIST)
            Fail("Creating", errno);
    }
    Fail("Creating", EEXIST);
}

void COutputFile::Commit(const void* data, size_t size) {
    if (m_fd < 0)
        Fail("Writing", EBADF);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(m_fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Fail("Writing", errno);
        }
        bytes += written;
        size -= size_t(written);
    }
    // The data must be on the disk before the name points at it, or a power cut could
    // leave the name on an empty or partial file after all.
    if (::fdatasync(m_fd) != 0 && errno != EINVAL)
        Fail("Writing", errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        Fail("Writing", error);
    }
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        const int error = errno;
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        Fail("Writing", error);
    }
    m_temporary.clear();
}

void COutputFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

bool COutputFile::IsTemporaryName(const std::string& name) {
    return name.size() > 1 && name[0] == '.' && name.find(kMark) != std::string::npos;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
    try {
        COutputFile file;
        file.Create(path);
        file.Commit(data, size);
        return true;
    } catch (const CTextException& e) {
        if (error)
            *error = e.GetText();
        return false;
    }
}
