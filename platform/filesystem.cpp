#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

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

QString GetFallbackFolder() {
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    return home;
}
