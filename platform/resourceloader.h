#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class QMenu;
class QAction;
class QWidget;

// Loading of the built-in resources (resources/resourcetable.h) as Qt objects.

// One image of an icon or cursor file: its size, its hot spot (cursors) and where its
// data lies in the file.
struct CIconDirEntry {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    size_t offset = 0;
    size_t size = 0;
};

// The images of an icon (.ico) or cursor (.cur) file. Entries whose data does not lie
// inside the file are dropped; a file that is not an icon or cursor gives none.
std::vector<CIconDirEntry> ParseIconDirectory(const uint8_t* data, size_t size);

// The text of a string-table entry ("" when missing).
QString LoadString(int id);

// The icon resource at width x height: the image of that size when the icon has one,
// otherwise the closest larger (else largest) image scaled smoothly. Null when the
// resource is missing or unreadable.
QPixmap LoadIconPixmap(int id, int width, int height);
// Every size of the icon resource (null icon when missing).
QIcon LoadIcon(int id);
// The cursor resource with its hot spot; the arrow cursor, and ok = false, when missing.
QCursor LoadCursor(int id, bool* ok = nullptr);

// The bitmap resource as an upright image (null when missing or unreadable).
QImage LoadBitmapImage(int id);
// An image list: the bitmap resource cut into pictures of the given width (its full
// height), pixels of maskColour made transparent.
std::vector<QPixmap> LoadImageList(int bitmapId, int width, QRgb maskColour);

// The popup at index of the menu resource, built as a QMenu owned by parent; each action
// carries its command id (GetMenuCommand). Null when missing.
QMenu* LoadPopupMenu(int menuId, int index, QWidget* parent);
// The command id of a menu action (0 for none).
int GetMenuCommand(const QAction* action);
// The action of a command in a menu and its submenus, or null.
QAction* FindMenuCommand(const QMenu* menu, int command);
