#include "pages/input/foldertreelogic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

// --- drive list ------------------------------------------------------------------------------

QString UnescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            const bool octal = a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7';
            if (octal) {
                out.append(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QString::fromUtf8(out);
}

std::optional<EDriveType> DriveTypeOf(const QByteArray& fsType, const QString& mountPoint) {
    static const QByteArray kPseudo[] = {"proc",      "sysfs",           "devtmpfs",   "devpts",
                                         "cgroup",    "cgroup2",         "securityfs", "debugfs",
                                         "tracefs",   "binfmt_misc",     "fusectl",    "configfs",
                                         "mqueue",    "hugetlbfs",       "pstore",     "bpf",
                                         "efivarfs",  "autofs",          "rpc_pipefs", "nsfs",
                                         "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal"};
    static const QByteArray kCdRom[] = {"iso9660", "udf"};
    static const QByteArray kRemote[] = {
        "nfs", "nfs4", "cifs", "smb3",           "smbfs", "sshfs",      "fuse.sshfs",
        "9p",  "afs",  "ceph", "fuse.glusterfs", "davfs", "fuse.davfs2"};
    static const QByteArray kRam[] = {"tmpfs", "ramfs"};
    const auto in = [&fsType](const auto& list) {
        return std::find(std::begin(list), std::end(list), fsType) != std::end(list);
    };
    if (in(kPseudo))
        return std::nullopt;
    if (in(kCdRom))
        return EDriveType::CdRom;
    if (in(kRemote))
        return EDriveType::Remote;
    if (in(kRam))
        return EDriveType::RamDisk;
    if (mountPoint.startsWith(QLatin1String("/media/")) ||
        mountPoint.startsWith(QLatin1String("/run/media/")))
        return EDriveType::Removable;
    return EDriveType::Fixed;
}

namespace {

bool IsUserVolumeMountPoint(const QString& mountPoint) {
    for (const char* base : {"/media/", "/run/media/", "/mnt/"}) {
        const QLatin1String prefix(base);
        if (mountPoint.startsWith(prefix) && mountPoint.size() > prefix.size())
            return true;
    }
    return false;
}

} // namespace

std::vector<SDrive> ParseMountInfo(const QByteArray& text) {
    std::vector<SDrive> drives{{QStringLiteral("/"), EDriveType::Fixed}};
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // id parent dev root mountpoint options [optional...] - fstype source superoptions
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 7 || dash < 6 || dash + 1 >= fields.size())
            continue;
        QString mountPoint = UnescapeMountField(fields[4]);
        const QByteArray& fsType = fields[dash + 1];
        if (!mountPoint.startsWith(QLatin1Char('/')))
            continue;
        while (mountPoint.size() > 1 && mountPoint.endsWith(QLatin1Char('/')))
            mountPoint.chop(1);
        const std::optional<EDriveType> type = DriveTypeOf(fsType, mountPoint);
        if (mountPoint == QLatin1String("/")) {
            if (type)
                drives.front().type = *type;
            continue;
        }
        if (!type || !IsUserVolumeMountPoint(mountPoint))
            continue;
        const QString root = mountPoint + QLatin1Char('/');
        const auto same = std::find_if(drives.begin(), drives.end(),
                                       [&root](const SDrive& d) { return d.root == root; });
        if (same != drives.end())
            same->type = *type; // mounted over: the last mount is the one that is seen
        else if (drives.size() < static_cast<size_t>(kMaxDrives))
            drives.push_back({root, *type});
    }
    return drives;
}

std::vector<SDrive> ReadSystemDrives() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    // readAll on a proc file reads until the end even though its size reads as 0.
    if (!file.open(QIODevice::ReadOnly))
        return {{QStringLiteral("/"), EDriveType::Fixed}};
    return ParseMountInfo(file.readAll());
}

QString FindDesktopFolder() {
    QString path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The home folder is what Qt falls back to when there is no desktop; that is no desktop.
    if (path == QDir::cleanPath(QDir::homePath()) || path == QLatin1String("/"))
        return {};
    return path;
}

std::vector<SPlace> FindPlaceFolders() {
    std::vector<SPlace> places;
    const auto folder = [](const QString& path) {
        return path.isEmpty() || !QFileInfo(path).isDir()
                   ? QString()
                   : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    };
    const QString home = folder(QDir::homePath());
    if (!home.isEmpty() && home != QLatin1String("/"))
        places.push_back({QStringLiteral("home"), home});
    // Qt answers with the home folder when the user has no pictures folder.
    const QString pictures =
        folder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    if (!pictures.isEmpty() && pictures != home && pictures != QLatin1String("/"))
        places.push_back({QStringLiteral("pictures"), pictures});
    return places;
}

std::optional<int64_t> ReadVolumeId(const QString& root) {
    struct statvfs info {};
    if (statvfs(QFile::encodeName(root).constData(), &info) != 0)
        return std::nullopt;
    return static_cast<int64_t>(info.f_fsid);
}

// --- path rules ------------------------------------------------------------------------------

bool EndsWithSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('/'));
}

QString PrependItemText(const QString& contribution, const QString& collected) {
    if (collected.isEmpty())
        return contribution;
    if (EndsWithSeparator(contribution))
        return contribution + collected;
    return contribution + QLatin1Char('/') + collected;
}

QString WithTrailingSeparator(const QString& path) {
    return EndsWithSeparator(path) ? path : path + QLatin1Char('/');
}

QString JoinFolderPath(const QString& folder, const QString& name) {
    return PrependItemText(folder, name);
}

bool IsPathWithin(const QString& base, const QString& path, Qt::CaseSensitivity cs) {
    if (base.isEmpty() || !path.startsWith(base, cs))
        return false;
    return path.size() == base.size() || EndsWithSeparator(base) ||
           path[base.size()] == QLatin1Char('/');
}

QString PathRestAfter(const QString& base, const QString& path) {
    QString rest = path.mid(base.size());
    while (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    return rest;
}

int DriveIndexOf(const std::vector<SDrive>& drives, const QString& path, Qt::CaseSensitivity cs) {
    int best = -1;
    qsizetype bestLength = -1;
    for (size_t i = 0; i < drives.size(); ++i) {
        const QString& root = drives[i].root;
        const bool within = path.startsWith(root, cs) ||
                            (root.size() > 1 && path.compare(root.left(root.size() - 1), cs) == 0);
        if (within && root.size() > bestLength) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

// --- folder names ----------------------------------------------------------------------------

bool FolderNameLess(const QString& a, const QString& b) {
    return a.toUtf8() < b.toUtf8();
}

void SortFolderNames(QStringList& names) {
    std::sort(names.begin(), names.end(), FolderNameLess);
}

int FindFolderName(const QStringList& names, const QString& name) {
    const qsizetype exact = names.indexOf(name);
    if (exact >= 0)
        return static_cast<int>(exact);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// --- folder listings -------------------------------------------------------------------------

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Calls onFolder(name) for each listed subfolder until it returns false; false when the
// folder cannot be read.
template <typename F> bool ForEachSubfolder(const QString& folder, F onFolder) {
    const QByteArray encoded = QFile::encodeName(folder);
    std::unique_ptr<DIR, DirCloser> dir(opendir(encoded.constData()));
    if (!dir)
        return false;
    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.') // ".", ".." and hidden folders
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFolder = fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder && !onFolder(QFile::decodeName(entry->d_name)))
            break;
    }
    return true;
}

} // namespace

std::optional<QStringList> ListSubfolderNames(const QString& folder) {
    QStringList names;
    if (!ForEachSubfolder(folder, [&names](QString name) {
            names.append(std::move(name));
            return true;
        }))
        return std::nullopt;
    return names;
}

bool HasSubfolderEntries(const QString& folder) {
    bool found = false;
    ForEachSubfolder(folder, [&found](const QString&) {
        found = true;
        return false;
    });
    return found;
}

bool IsDirectory(const QString& path) {
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CanEnterFolder(const QString& path) {
    return IsDirectory(path) && access(QFile::encodeName(path).constData(), X_OK) == 0;
}

// --- volume ids ------------------------------------------------------------------------------

bool CVolumeIdTable::CheckMedia(int drive, std::optional<int64_t> volumeId) {
    if (drive < 0 || drive >= kMaxDrives)
        return false;
    int64_t& entry = m_ids[static_cast<size_t>(drive)];
    if (!volumeId) {
        entry = kUnknown;
        return true;
    }
    const bool changed = entry != kUnknown && entry != *volumeId;
    entry = *volumeId;
    return changed;
}

void CVolumeIdTable::Store(int drive, std::optional<int64_t> volumeId) {
    if (drive >= 0 && drive < kMaxDrives)
        m_ids[static_cast<size_t>(drive)] = volumeId.value_or(kUnknown);
}

int64_t CVolumeIdTable::Get(int drive) const {
    return drive >= 0 && drive < kMaxDrives ? m_ids[static_cast<size_t>(drive)] : kUnknown;
}
