#include "pages/input/filedroplistbox.h"

#include "imagelib/imageformats.h"
#include "platform/filesystem.h"
#include "platform/waitcursor.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSet>
#include <QUrl>

namespace {
// Every extension of the formats the image library reads, each with the given prefix.
QStringList ReadExtensions(const char* prefix) {
    QStringList list;
    for (const CImageFormat& format : ImageFormats())
        if (format.read)
            for (const char* extension : format.extensions)
                list.append(QLatin1String(prefix) + QLatin1String(extension));
    return list;
}
} // namespace

const QStringList kPictureExtensions = ReadExtensions(".");

const QStringList kPicturePatterns = ReadExtensions("*.");

bool HasPictureExtension(const QString& path) {
    for (const QString& extension : kPictureExtensions)
        if (path.endsWith(extension, Qt::CaseInsensitive))
            return true;
    return false;
}

QStringList ListPictureFiles(const QString& folder) {
    // One listing for all patterns: the extensions differ, so no name matches twice.
    // Folders named like pictures are left out, as neither the preview nor a run can use
    // them.
    return ListFolder(folder, kPicturePatterns, CListKind::Files);
}

namespace {

// Local paths of a drag's URLs; other URLs are of no use here.
QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(url.toLocalFile());
    return paths;
}

} // namespace

CFileDropListBox::CFileDropListBox(QWidget* parent) : CExtentListBox(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

QStringList CFileDropListBox::GetAllTexts() const {
    QStringList texts;
    texts.reserve(count());
    for (int i = 0; i < count(); ++i)
        texts.append(item(i)->text());
    return texts;
}

void CFileDropListBox::DropFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        // A folder is a folder even when its name ends like a picture's: listing it as a
        // file would only make the run fail on it.
        if (FolderExists(path))
            DropFolder(path);
        else if (HasPictureExtension(path))
            AddString(path);
    }
}

void CFileDropListBox::DropFolder(const QString& path) {
    const QString folder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    const CWaitCursor wait;
    setUpdatesEnabled(false);
    QSet<QString> snapshot;
    snapshot.reserve(count());
    for (int i = 0; i < count(); ++i)
        snapshot.insert(item(i)->text());
    for (const QString& name : ListPictureFiles(folder)) {
        const QString full = folder + name;
        if (!snapshot.contains(full))
            AddString(full);
    }
    setUpdatesEnabled(true);
}

void CFileDropListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CFileDropListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (LocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CFileDropListBox::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    // Copy, never move: the file manager must not delete what was dropped.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    DropFiles(paths);
}
