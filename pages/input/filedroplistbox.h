#pragma once

#include "controls/extentlistbox.h"

#include <QString>
#include <QStringList>

// The picture extensions the program lists and accepts, with their dot.
extern const QStringList kPictureExtensions;
// The same as search patterns, in the order the folders are searched: "*.jpg", "*.jpeg",
// "*.bmp", "*.gif", "*.png".
extern const QStringList kPicturePatterns;

// Whether a path or name ends with one of the picture extensions, ignoring case.
bool HasPictureExtension(const QString& path);

// The picture files (no folders) directly in a folder, by name without folder, unsorted;
// none when the folder cannot be read.
QStringList ListPictureFiles(const QString& folder);

// The selected-files list of the input page: an extent list box that takes files and
// folders dropped from the file manager (local files of a text/uri-list).
class CFileDropListBox : public CExtentListBox {
    Q_OBJECT
public:
    explicit CFileDropListBox(QWidget* parent = nullptr);

    // Takes dropped paths in the order given: a picture file (by its extension, ignoring
    // case) is added as it stands, even when it is listed already; a folder adds the
    // pictures directly in it that are not listed yet; anything else is ignored.
    void DropFiles(const QStringList& paths);

    // Every entry in list order.
    QStringList GetAllTexts() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void DropFolder(const QString& folder);
};
