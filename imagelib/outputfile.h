#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

// A file that appears under its name only once it is whole. It is written under a hidden
// temporary name in the same folder (same file system, so the final rename is atomic),
// flushed to the disk, and put under its name by Publish. A failure anywhere, or an object
// destroyed before Publish, removes the temporary and leaves the name as it was, an older
// file there included. A process killed half way leaves only a temporary, whose name starts
// with a dot and carries IsTemporaryName's mark, never a cut-short file under the real name.
//
// The writer holds an exclusive lock (flock) on its temporary from its creation until it is
// published or removed. The lock goes with the process, so a temporary nobody holds is the
// leftover of a writer that was killed, and RemoveStaleTemporaries may take it away.
//
// Errors are CTextException code -1 with a text that names the step, the path and the
// system's reason, ending with a line feed: "Creating <path> failed: <reason>\n",
// "Writing <path> failed: <reason>\n".
class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates the temporary beside path. Refused early, so that no work is spent on a
    // file that could never be written: a missing or unwritable folder, and an existing
    // path that is a folder, not a plain file (a link is fine: it is replaced, never
    // written through), or a file we may not write. When a plain file is there, the
    // temporary takes its owner and permission bits at once (see Publish), so the new
    // bytes are never readable by more people than the old ones were.
    void Create(const std::string& path);
    // Creates the temporary beside path for a file whose name is settled only when it is
    // published (a name tried after another was taken, a name made from the picture): what
    // is under path now is not looked at.
    void CreateUnsettled(const std::string& path);
    // Create's refusals of what is under path, for an unsettled file about to replace it:
    // a folder, something other than a file or link, a file we may not write. Throws as
    // Create does, the temporary removed.
    void CheckReplaceable(const std::string& path);
    // Writes the bytes into the temporary and flushes them to the disk; the name is not
    // touched yet. Once per file.
    void Write(const void* data, size_t size);

    // What Publish does with a file that is under the name by then.
    enum class CExisting {
        // Replaced. The new file keeps the old one's permission bits, and its owner and
        // group where this process may give them (root; a user may give a group of their
        // own), as cp -p and sed -i do; set-id bits only together with the owner and group
        // they were set for. A link under the name is replaced itself, its target untouched.
        Replace,
        // Never replaced, not even a file (or link, dangling or not) that appeared since it
        // was looked for: the name is taken in one step with the file system's refusal to
        // replace (renameat2 RENAME_NOREPLACE, else link + unlink, else a last look followed
        // by the rename on a file system that has neither).
        Keep,
    };
    // Puts the written temporary under path (the created path when empty; another name must
    // lie in the same folder). Returns false only for Keep with the name taken: nothing was
    // changed and the temporary stays, for another name or for Discard.
    bool Publish(CExisting existing, const std::string& path = std::string());
    // Write, then Publish replacing.
    void Commit(const void* data, size_t size);
    // Removes the temporary; the path is untouched. Done by the destructor too.
    void Discard();

    // Created and not yet written.
    bool IsCreated() const { return m_fd >= 0 && !m_written; }
    const std::string& GetPath() const { return m_path; }
    const std::string& GetTemporaryPath() const { return m_temporary; }
    // The temporary's identity, which the published name keeps (valid once created).
    dev_t GetDevice() const { return m_device; }
    ino_t GetInode() const { return m_inode; }

    // Whether a file name (without folder) is one of our temporaries.
    static bool IsTemporaryName(const std::string& name);
    // Removes the temporaries in folder that no living writer holds (see the lock above);
    // returns how many. Never one of this process's own.
    static int RemoveStaleTemporaries(const std::string& folder);
    // Removes every temporary this process holds open, for a process about to end at once
    // (a second termination signal). Safe to call from a signal handler; the objects are
    // unusable afterwards.
    static void RemoveLiveTemporaries() noexcept;

    // For tests of the file systems this machine lacks: 1 pretends that renaming without
    // replacing is not supported, 2 that hard links are not either; 0 is the real system.
    static void SimulateMissingNoReplace(int level);

private:
    [[noreturn]] void Fail(const char* step, int error);
    void Create(const std::string& path, bool settled);
    // 0, or the reason to refuse replacing what is under path; existing tells whether
    // something is there (and what, in info).
    static int ReplaceRefusal(const std::string& path, struct stat& info, bool& existing);
    void KeepAttributes(const struct stat& old);

    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
    int m_slot = -1; // in the table of this process's temporaries
    bool m_written = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    // The temporary's own owner and mode, as the system created it.
    uid_t m_createdUid = 0;
    gid_t m_createdGid = 0;
    mode_t m_createdMode = 0;
    // The owner and mode given to the temporary from the file it replaces, if any.
    bool m_kept = false;
    uid_t m_keptUid = 0;
    gid_t m_keptGid = 0;
    mode_t m_keptMode = 0;
};

// Writes a whole file through a COutputFile. Returns false (the path untouched) on any
// failure, with the reason in error when given.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
