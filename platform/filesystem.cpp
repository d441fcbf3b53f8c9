#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

bool MatchesPattern(const QString& name, const QString& pattern) {
    if (pattern == QLatin1String("*") || pattern == QLatin1String("*.*"))
        return true;
    if (pattern.startsWith(QLatin1String("*.")))
        return name.endsWith(pattern.mid(1), Qt::CaseInsensitive) &&
               name.size() > pattern.size() - 1;
    return name.compare(pattern, Qt::CaseInsensitive) == 0;
}

QStringList ListFolder(const QString& folder, const QStringList& patterns, CListKind kind) {
    QStringList out;
    QDir dir(folder);
    QDir::Filters filters = QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    if (kind != CListKind::Folders)
        filters |= QDir::Files;
    if (kind != CListKind::Files)
        filters |= QDir::Dirs;
    const QFileInfoList entries = dir.entryInfoList(filters, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        for (const QString& pattern : patterns) {
            if (MatchesPattern(name, pattern)) {
                out << name;
                break;
            }
        }
    }
    return out;
}

bool FileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool FolderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool HasSubfolders(const QString& folder) {
    QDir dir(folder);
    return !dir.entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Unsorted)
                .isEmpty();
}

CMakeFolderResult MakeFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0777) == 0)
        return CMakeFolderResult::Created;
    switch (errno) {
    case EEXIST:
        return CMakeFolderResult::AlreadyExists;
    case ENOENT:
        return CMakeFolderResult::NotFound;
    default:
        return CMakeFolderResult::UnknownError;
    }
}

namespace {

// mountinfo escapes blanks and backslashes in paths as octal (\040).
QString Unescape(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == QLatin1Char('\\') && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

CDriveType TypeOf(const QString& fsType, const QString& mountPoint) {
    static const QStringList cd{"iso9660", "udf"};
    static const QStringList remote{"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs"};
    static const QStringList ram{"tmpfs", "ramfs"};
    if (cd.contains(fsType))
        return CDriveType::CdRom;
    if (remote.contains(fsType))
        return CDriveType::Remote;
    if (ram.contains(fsType))
        return CDriveType::RamDisk;
    if (mountPoint.startsWith(QLatin1String("/media/")) ||
        mountPoint.startsWith(QLatin1String("/run/media/")))
        return CDriveType::Removable;
    return CDriveType::Fixed;
}

} // namespace

std::vector<CDriveInfo> ParseMountInfo(const QString& mountInfo) {
    std::vector<CDriveInfo> drives;
    auto add = [&](const QString& root, CDriveType type) {
        for (const CDriveInfo& d : drives)
            if (d.root == root)
                return;
        if (drives.size() < 26)
            drives.push_back({root, type});
    };
    QString rootType;
    std::vector<std::pair<QString, QString>> volumes; // mount point, type
    for (const QString& line : mountInfo.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source ...
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qsizetype dash = fields.indexOf(QStringLiteral("-"));
        if (fields.size() < 5 || dash < 5 || dash + 1 >= fields.size())
            continue;
        const QString mountPoint = Unescape(fields[4]);
        const QString fsType = fields[dash + 1];
        if (mountPoint == QLatin1String("/")) {
            rootType = fsType;
            continue;
        }
        if (mountPoint.startsWith(QLatin1String("/media/")) ||
            mountPoint.startsWith(QLatin1String("/run/media/")) ||
            mountPoint.startsWith(QLatin1String("/mnt/")))
            volumes.emplace_back(mountPoint, fsType);
    }
    add(QStringLiteral("/"),
        rootType == QLatin1String("tmpfs") ? CDriveType::RamDisk : CDriveType::Fixed);
    for (const auto& [mountPoint, fsType] : volumes)
        add(mountPoint + QLatin1Char('/'), TypeOf(fsType, mountPoint));
    return drives;
}

std::vector<CDriveInfo> EnumerateDrives() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    return ParseMountInfo(text);
}

int DriveOfPath(const std::vector<CDriveInfo>& drives, const QString& path) {
    int best = -1;
    for (size_t i = 0; i < drives.size(); ++i) {
        const QString& root = drives[i].root;
        const bool inside =
            path.startsWith(root) || path + QLatin1Char('/') == root; // the root without "/"
        if (inside && (best < 0 || root.size() > drives[size_t(best)].root.size()))
            best = int(i);
    }
    return best;
}

int64_t GetVolumeId(const QString& root) {
    struct statvfs info;
    if (::statvfs(QFile::encodeName(root).constData(), &info) != 0)
        return -1;
    return int64_t(info.f_fsid & 0x7FFFFFFFFFFFFFFFull);
}

QString GetDesktopFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir() ||
        QDir(desktop).canonicalPath() == QDir::home().canonicalPath())
        return QString();
    QString out = desktop;
    while (out.size() > 1 && out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

QString GetFallbackFolder() {
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    return home;
}
