#pragma once

// What the folder tree needs without any widget: the drive list read from the mount table,
// the path rules of its items, the order and lookup of folder names, the folder listings and
// the table of last seen volume ids.
//
// Paths are absolute, '/'-separated, UTF-8 on disk. A drive root always ends with '/'; every
// other folder path carries no trailing '/'.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The numbers are the item pictures of the drive items.
enum class EDriveType { Fixed = 0, Removable = 1, CdRom = 2, Remote = 3, RamDisk = 4 };

struct SDrive {
    QString root; // absolute, ends with '/'
    EDriveType type = EDriveType::Fixed;

    bool operator==(const SDrive&) const = default;
};

// Drive indices run from 0 to kMaxDrives - 1, in the order of the drive list.
inline constexpr int kMaxDrives = 26;

// --- drive list ------------------------------------------------------------------------------

// Undoes the octal escapes of a mountinfo field (\040 space, \011 tab, \012 newline, \134
// backslash); anything that is not a valid three-digit escape stays as it stands.
QString UnescapeMountField(const QByteArray& field);

// The drive type of a mounted file system, or nullopt for file systems that hold no user files
// (proc, sysfs, autofs, ...). Mounts below /media or /run/media are removable unless their
// type says otherwise; everything else of an ordinary type is fixed.
std::optional<EDriveType> DriveTypeOf(const QByteArray& fsType, const QString& mountPoint);

// The drives of a /proc/self/mountinfo text: "/" first, then the mounts below /media,
// /run/media and /mnt in the order of the table, at most kMaxDrives. A mount point mounted
// over again keeps its place and takes the type of the last mount. Malformed lines are skipped.
std::vector<SDrive> ParseMountInfo(const QByteArray& text);

// The drives of this process's mount table; "/" alone (fixed) when it cannot be read.
std::vector<SDrive> ReadSystemDrives();

// The XDG desktop folder without a trailing '/', or empty when there is none.
QString FindDesktopFolder();

// A folder the tree offers at its top level beside "Desktop": its item text and its path
// (absolute, without a trailing '/').
struct SPlace {
    QString text;
    QString path;
};
// The user's home folder ("home") and XDG pictures folder ("pictures"), each when it is a
// folder; the pictures folder only when it is not the home folder itself.
std::vector<SPlace> FindPlaceFolders();

// The statvfs file-system id of a drive root, or nullopt when the volume cannot be read.
std::optional<int64_t> ReadVolumeId(const QString& root);

// --- path rules ------------------------------------------------------------------------------

bool EndsWithSeparator(const QString& path);

// One step of building an item path from the item upwards: the contribution of the next item
// up is put in front of what has been collected, with a '/' between them unless the
// contribution already ends with one.
QString PrependItemText(const QString& contribution, const QString& collected);

// The path with exactly one trailing '/' (a drive root keeps its own).
QString WithTrailingSeparator(const QString& path);

// folder + '/' + name, without doubling the separator of a drive root.
QString JoinFolderPath(const QString& folder, const QString& name);

// Whether path is base itself or lies below it (component-wise: "/a/bc" is not below "/a/b").
bool IsPathWithin(const QString& base, const QString& path, Qt::CaseSensitivity cs);

// The part of path after base and its separator; path must satisfy IsPathWithin(base, ...).
QString PathRestAfter(const QString& base, const QString& path);

// The index of the drive whose root is the longest prefix of path (the root without its
// trailing '/' also counts, so "/media/usb" lies on "/media/usb/"), or -1.
int DriveIndexOf(const std::vector<SDrive>& drives, const QString& path, Qt::CaseSensitivity cs);

// --- folder names ----------------------------------------------------------------------------

// Byte-wise order of the UTF-8 names, so capitals come first: "Zeta" before "alpha".
bool FolderNameLess(const QString& a, const QString& b);
void SortFolderNames(QStringList& names);

// Index of name in names ignoring case, preferring an exact match since the file systems are
// case-sensitive and "Foo" and "foo" may both exist; -1 when absent.
int FindFolderName(const QStringList& names, const QString& name);

// --- folder listings -------------------------------------------------------------------------

// The names of the subfolders of a folder (symbolic links to folders count, hidden folders
// whose name starts with '.' do not), unsorted; nullopt when the folder cannot be read.
std::optional<QStringList> ListSubfolderNames(const QString& folder);

// Whether the folder holds at least one subfolder as ListSubfolderNames counts them; stops at
// the first one found.
bool HasSubfolderEntries(const QString& folder);

bool IsDirectory(const QString& path);

// Whether the folder exists and may be entered (searched).
bool CanEnterFolder(const QString& path);

// --- volume ids ------------------------------------------------------------------------------

// Last seen volume id of each removable or CD-ROM drive, to notice a changed medium.
class CVolumeIdTable {
public:
    static constexpr int64_t kUnknown = -1;

    CVolumeIdTable() { m_ids.fill(kUnknown); }

    // Compares the id just read (nullopt: the volume cannot be read) with the stored one and
    // stores it; true when the medium changed or is unreadable.
    bool CheckMedia(int drive, std::optional<int64_t> volumeId);

    void Store(int drive, std::optional<int64_t> volumeId);
    int64_t Get(int drive) const;

private:
    std::array<int64_t, kMaxDrives> m_ids;
};
