#include "imagelib/outputfile.h"

#include "imagelib/textexception.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// The temporary's mark: ".<name>.qmtmp-<unique>". File names are limited to 255 bytes;
// a long name is cut so that its temporary still fits.
const char kMark[] = ".qmtmp-";
constexpr size_t kMaxNamePart = 200;

std::atomic<int> g_missingNoReplace{0};

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

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The temporaries this process holds, for two readers: the removal of stale temporaries,
// which must leave ours alone even where the file system's locks do not tell one process's
// descriptors apart (NFS emulates them with POSIX locks), and a signal handler that removes
// them before the process ends at once. The handler only swaps entries out, so a path it
// takes is never freed under it; everything else frees entries under the mutex.
constexpr int kLiveSlots = 256;
std::atomic<char*> g_live[kLiveSlots];
std::mutex g_liveMutex;

int RegisterLive(const std::string& path) {
    char* copy = ::strdup(path.c_str());
    if (!copy)
        return -1;
    for (int i = 0; i < kLiveSlots; ++i) {
        char* expected = nullptr;
        if (g_live[i].compare_exchange_strong(expected, copy))
            return i;
    }
    std::free(copy); // more at once than any run keeps: only the signal removal misses it
    return -1;
}

void UnregisterLive(int slot) {
    if (slot < 0)
        return;
    std::lock_guard<std::mutex> lock(g_liveMutex);
    std::free(g_live[slot].exchange(nullptr));
}

bool IsLiveName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    for (std::atomic<char*>& slot : g_live) {
        const char* path = slot.load();
        if (path && BaseName(path) == name)
            return true;
    }
    return false;
}

enum class CNoReplaceResult { Published, Taken, Failed };

// Renames from onto to unless something is there. Where the file system lacks
// RENAME_NOREPLACE, a hard link takes the name as atomically; where it lacks both (FAT
// without the flag, some network shares), a last look right before the rename is the best
// that is left.
CNoReplaceResult RenameWithoutReplacing(const std::string& from, const std::string& to,
                                        int& error) {
    const int missing = g_missingNoReplace.load();
    if (missing < 1) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return CNoReplaceResult::Published;
        if (errno == EEXIST)
            return CNoReplaceResult::Taken;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            error = errno;
            return CNoReplaceResult::Failed;
        }
    }
    if (missing < 2) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return CNoReplaceResult::Published;
        }
        if (errno == EEXIST)
            return CNoReplaceResult::Taken;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
            error = errno;
            return CNoReplaceResult::Failed;
        }
    }
    struct stat info;
    if (::lstat(to.c_str(), &info) == 0)
        return CNoReplaceResult::Taken;
    if (errno != ENOENT || ::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
        return CNoReplaceResult::Failed;
    }
    return CNoReplaceResult::Published;
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

int COutputFile::ReplaceRefusal(const std::string& path, struct stat& info, bool& existing) {
    // An existing output is replaced by the rename, which would go through both a folder
    // in its place (failing only at the end) and a file's write protection; refuse both
    // now, before anything is decoded. A link is looked at, not followed: the rename
    // replaces the link and never touches what it points to.
    existing = ::lstat(path.c_str(), &info) == 0;
    if (!existing)
        return 0;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    // A device or pipe of that name would be replaced by a plain file, not written to.
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
        return EEXIST;
    if (S_ISREG(info.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;
    return 0;
}

void COutputFile::CheckReplaceable(const std::string& path) {
    struct stat info;
    bool exists = false;
    if (const int error = ReplaceRefusal(path, info, exists)) {
        m_path = path;
        Fail("Creating", error);
    }
}

void COutputFile::Create(const std::string& path) {
    Create(path, true);
}

void COutputFile::CreateUnsettled(const std::string& path) {
    Create(path, false);
}

void COutputFile::Create(const std::string& path, bool settled) {
    Discard();
    m_path = path;
    struct stat existing;
    bool exists = false;
    if (settled) {
        if (const int error = ReplaceRefusal(path, existing, exists))
            Fail("Creating", error);
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
        if (fd < 0) {
            if (errno != EEXIST)
                Fail("Creating", errno);
            continue;
        }
        m_fd = fd;
        m_temporary = temporary;
        m_slot = RegisterLive(temporary);
        // A file system without locks leaves the temporary unlocked: nobody can then find
        // it free either, so it is left alone until its writer is done.
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        // Another run's removal of stale temporaries may have found this one in the moment
        // between its creation and the lock, and taken it: then it is not ours any more.
        struct stat opened, named;
        if (::fstat(fd, &opened) == 0 && ::lstat(temporary.c_str(), &named) == 0 &&
            SameFile(opened, named)) {
            m_device = opened.st_dev;
            m_inode = opened.st_ino;
            m_createdUid = opened.st_uid;
            m_createdGid = opened.st_gid;
            m_createdMode = opened.st_mode & 07777;
            if (exists && S_ISREG(existing.st_mode))
                KeepAttributes(existing);
            return;
        }
        UnregisterLive(m_slot);
        m_slot = -1;
        ::close(fd);
        m_fd = -1;
        m_temporary.clear();
    }
    Fail("Creating", EEXIST);
}

void COutputFile::KeepAttributes(const struct stat& old) {
    const mode_t mode = old.st_mode & 07777;
    if (m_kept && m_keptUid == old.st_uid && m_keptGid == old.st_gid && m_keptMode == mode)
        return;
    m_kept = true;
    m_keptUid = old.st_uid;
    m_keptGid = old.st_gid;
    m_keptMode = mode;
    // As cp -p and sed -i: the owner and group where this process may give them, else the
    // group alone; whatever is refused stays this process's, the usual outcome for a user
    // replacing a file of someone else's in a folder of their own.
    struct stat now;
    if (::fstat(m_fd, &now) != 0)
        return;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(m_fd, old.st_uid, old.st_gid) != 0 && ::fchown(m_fd, uid_t(-1), old.st_gid) != 0) {
        // Neither: the new file is this process's, as any file it creates.
    }
    if (::fstat(m_fd, &now) != 0)
        return;
    // Set-user and set-group bits grant their owner's rights: never on a file that went to
    // another owner or group.
    const bool sameOwner = now.st_uid == old.st_uid && now.st_gid == old.st_gid;
    if (::fchmod(m_fd, sameOwner ? mode : mode & ~mode_t(S_ISUID | S_ISGID)) != 0) {
        // Only on a file system without modes, where the old file had none either.
    }
}

void COutputFile::Write(const void* data, size_t size) {
    if (m_fd < 0 || m_written)
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
    // leave the name on an empty or partial file after all. A network file system reports
    // a failed write here at the latest, so the close after the rename has nothing left to
    // report.
    if (::fdatasync(m_fd) != 0 && errno != EINVAL)
        Fail("Writing", errno);
    m_written = true;
}

bool COutputFile::Publish(CExisting existing, const std::string& path) {
    if (!path.empty())
        m_path = path;
    if (m_fd < 0 || !m_written)
        Fail("Writing", EBADF);
    if (existing == CExisting::Replace) {
        // Looked at again: the file under the name may have changed since the creation.
        struct stat old;
        if (::lstat(m_path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
            KeepAttributes(old);
        if (::rename(m_temporary.c_str(), m_path.c_str()) != 0)
            Fail("Writing", errno);
    } else {
        // A new file, not a replacement: as created, whatever a file it was once meant to
        // replace had (a caller trying another name after the first was taken).
        if (m_kept) {
            if (::fchown(m_fd, m_createdUid, m_createdGid) != 0 ||
                ::fchmod(m_fd, m_createdMode) != 0)
                Fail("Writing", errno);
            m_kept = false;
        }
        int error = 0;
        switch (RenameWithoutReplacing(m_temporary, m_path, error)) {
        case CNoReplaceResult::Published:
            break;
        case CNoReplaceResult::Taken:
            return false;
        case CNoReplaceResult::Failed:
            Fail("Writing", error);
        }
    }
    // The temporary is the name now: nothing of it to remove. Closing lets go of the lock.
    m_temporary.clear();
    UnregisterLive(m_slot);
    m_slot = -1;
    ::close(m_fd);
    m_fd = -1;
    m_written = false;
    m_kept = false;
    return true;
}

void COutputFile::Commit(const void* data, size_t size) {
    Write(data, size);
    Publish(CExisting::Replace);
}

void COutputFile::Discard() {
    // Removed while still locked, so that no cleaner of another run opens it meanwhile.
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    UnregisterLive(m_slot);
    m_slot = -1;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_written = false;
    m_kept = false;
}

bool COutputFile::IsTemporaryName(const std::string& name) {
    return name.size() > 1 && name[0] == '.' && name.find(kMark) != std::string::npos;
}

int COutputFile::RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return 0;
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name) || (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN))
            continue;
        const std::string path = prefix + name;
        const int fd =
            ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue; // not ours to open, so not ours to judge
        // Free of every lock: its writer is gone. Ours are skipped by name, and the file
        // must still be the one under the name when it goes.
        struct stat opened, named;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && !IsLiveName(name) && ::fstat(fd, &opened) == 0 &&
            S_ISREG(opened.st_mode) && ::lstat(path.c_str(), &named) == 0 &&
            SameFile(opened, named) && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

void COutputFile::RemoveLiveTemporaries() noexcept {
    for (std::atomic<char*>& slot : g_live) {
        if (char* path = slot.exchange(nullptr))
            ::unlink(path);
    }
}

void COutputFile::SimulateMissingNoReplace(int level) {
    g_missingNoReplace = level;
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
