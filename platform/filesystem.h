#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Files, folders and drives. Paths use "/"; folder paths given back end with "/".

// What a folder listing returns.
enum class CListKind { Files, Folders, All };

// Names (without folder) of the entries of folder whose names match one of the patterns
// ("*.jpg", "*"), the extension compared ignoring case; "." and ".." never. Files are
// regular files (and links to them), folders directories (and links to them). Unsorted;
// an unreadable folder gives none.
QStringList ListFolder(const QString& folder, const QStringList& patterns, CListKind kind);
// Whether name matches a pattern of the form "*", "*.ext" or a plain name, ignoring case.
bool MatchesPattern(const QString& name, const QString& pattern);

bool FileExists(const QString& path);   // an existing non-folder
bool FolderExists(const QString& path); // an existing folder
// Whether the folder holds at least one folder entry (stops at the first).
bool HasSubfolders(const QString& folder);

enum class CMakeFolderResult { Created, AlreadyExists, NotFound, UnknownError };
// Creates one folder level.
CMakeFolderResult MakeFolder(const QString& path);

// ---- Drives: the mount roots that stand for drive letters.
enum class CDriveType { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

struct CDriveInfo {
    QString root; // ends with "/"
    CDriveType type = CDriveType::Unknown;
    bool operator==(const CDriveInfo&) const = default;
};

// The drives of a /proc/self/mountinfo text: "/" first, then the mounted volumes under
// /media, /run/media and /mnt in the order mounted, at most 26, each root once. Types:
// iso9660 and udf CD-ROM; nfs, nfs4, cifs, smb3, smbfs and fuse.sshfs remote; tmpfs and
// ramfs RAM disk; volumes under /media and /run/media removable; anything else fixed.
std::vector<CDriveInfo> ParseMountInfo(const QString& mountInfo);
// The drives of this machine.
std::vector<CDriveInfo> EnumerateDrives();
// The drive whose root is the longest prefix of path (an index into drives), or -1.
int DriveOfPath(const std::vector<CDriveInfo>& drives, const QString& path);
// The file-system id of the drive root, or -1 when it cannot be read.
int64_t GetVolumeId(const QString& root);

// The desktop folder when it exists (no trailing "/"), else empty.
QString GetDesktopFolder();
// The user's home folder with a trailing "/": where "C:\" served as the fallback folder.
QString GetFallbackFolder();
