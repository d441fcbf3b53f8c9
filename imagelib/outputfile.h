#pragma once

#include <cstddef>
#include <string>

// A file that appears under its name only once it is whole. It is written under a hidden
// temporary name in the same folder (same file system, so the final rename is atomic),
// flushed to the disk, and renamed onto its name by Commit. A failure anywhere, or an
// object destroyed before Commit, removes the temporary and leaves the name as it was,
// an older file there included. A process killed half way leaves only a temporary, whose
// name starts with a dot and carries IsTemporaryName's mark, never a cut-short file under
// the real name.
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
    // path that is a folder, not a plain file, or a file we may not write.
    void Create(const std::string& path);
    // Writes the bytes, flushes them, closes the temporary and renames it onto the path.
    void Commit(const void* data, size_t size);
    // Removes the temporary; the path is untouched. Done by the destructor too.
    void Discard();

    bool IsCreated() const { return m_fd >= 0; }
    const std::string& GetPath() const { return m_path; }
    const std::string& GetTemporaryPath() const { return m_temporary; }

    // Whether a file name (without folder) is one of our temporaries.
    static bool IsTemporaryName(const std::string& name);

private:
    [[noreturn]] void Fail(const char* step, int error);

    std::string m_path;
    std::string m_temporary;
    int m_fd = -1;
};

// Writes a whole file through a COutputFile. Returns false (the path untouched) on any
// failure, with the reason in error when given.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);
