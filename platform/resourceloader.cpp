#include "platform/resourceloader.h"

#include "imagelib/dibbitmap.h"
#include "imagelib/dibdisplay.h"
#include "imagelib/textexception.h"
#include "resources/menutemplate.h"
#include "resources/resourcetable.h"
#include "resources/stringtable.h"

#include <QAction>
#include <QMenu>

#include <memory>

namespace {

const char kCommandProperty[] = "qmCommand";

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct CLoadedImage {
    CIconDirEntry entry;
    QImage image;
};

// The images of an icon or cursor resource, decoded (PNG or DIB entries, which Qt's
// image reader knows when given the whole file; PNG ones are read here directly).
std::vector<CLoadedImage> LoadIconImages(int id, int type) {
    std::vector<CLoadedImage> out;
    const CResourceEntry* entry = FindResourceEntry(id, type);
    if (!entry)
        return out;
    for (const CIconDirEntry& e : ParseIconDirectory(entry->data, entry->size)) {
        QImage image;
        image.loadFromData(entry->data + e.offset, qsizetype(e.size));
        if (!image.isNull())
            out.push_back({e, image.convertToFormat(QImage::Format_ARGB32_Premultiplied)});
    }
    return out;
}

const CLoadedImage* Closest(const std::vector<CLoadedImage>& images, int width, int height) {
    const CLoadedImage* best = nullptr;
    for (const CLoadedImage& i : images) {
        const QSize s = i.image.size();
        if (s == QSize(width, height))
            return &i;
        const bool fits = s.width() >= width && s.height() >= height;
        if (!best) {
            best = &i;
            continue;
        }
        const QSize b = best->image.size();
        const bool bestFits = b.width() >= width && b.height() >= height;
        if ((fits && (!bestFits || s.width() < b.width())) ||
            (!fits && !bestFits && s.width() > b.width()))
            best = &i;
    }
    return best;
}

} // namespace

std::vector<CIconDirEntry> ParseIconDirectory(const uint8_t* data, size_t size) {
    std::vector<CIconDirEntry> out;
    if (!data || size < 6 || U16(data) != 0 || (U16(data + 2) != 1 && U16(data + 2) != 2))
        return out;
    const bool cursor = U16(data + 2) == 2;
    const size_t count = U16(data + 4);
    if (size < 6 + 16 * count)
        return out;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + 6 + 16 * i;
        CIconDirEntry entry;
        entry.width = e[0] ? e[0] : 256;
        entry.height = e[1] ? e[1] : 256;
        if (cursor) {
            entry.hotX = U16(e + 4);
            entry.hotY = U16(e + 6);
        }
        entry.size = U32(e + 8);
        entry.offset = U32(e + 12);
        if (entry.offset > size || entry.size > size - entry.offset || entry.size == 0)
            continue;
        out.push_back(entry);
    }
    return out;
}

QString LoadString(int id) {
    return QString::fromUtf8(LoadResourceString(id));
}

QPixmap LoadIconPixmap(int id, int width, int height) {
    const std::vector<CLoadedImage> images = LoadIconImages(id, QM_RT_ICON);
    const CLoadedImage* best = Closest(images, width, height);
    if (!best)
        return {};
    if (best->image.size() == QSize(width, height))
        return QPixmap::fromImage(best->image);
    return QPixmap::fromImage(
        best->image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

QIcon LoadIcon(int id) {
    QIcon icon;
    for (const CLoadedImage& i : LoadIconImages(id, QM_RT_ICON))
        icon.addPixmap(QPixmap::fromImage(i.image));
    return icon;
}

QCursor LoadCursor(int id, bool* ok) {
    const std::vector<CLoadedImage> images = LoadIconImages(id, QM_RT_CURSOR);
    if (ok)
        *ok = !images.empty();
    if (images.empty())
        return QCursor(Qt::ArrowCursor);
    const CLoadedImage& first = images.front();
    return QCursor(QPixmap::fromImage(first.image), first.entry.hotX, first.entry.hotY);
}

QImage LoadBitmapImage(int id) {
    try {
        auto bitmap = std::make_unique<CDIBSectionBitmap>();
        bitmap->LoadFromResource(id);
        return ToQImage(*bitmap);
    } catch (const CTextException&) {
        return {};
    }
}

std::vector<QPixmap> LoadImageList(int bitmapId, int width, QRgb maskColour) {
    std::vector<QPixmap> out;
    const QImage strip = LoadBitmapImage(bitmapId);
    if (strip.isNull() || width <= 0)
        return out;
    QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((row[x] & 0x00FFFFFFu) == (maskColour & 0x00FFFFFFu))
                row[x] = 0;
    }
    for (int x = 0; x + width <= argb.width(); x += width)
        out.push_back(QPixmap::fromImage(argb.copy(x, 0, width, argb.height())));
    return out;
}

QMenu* LoadPopupMenu(int menuId, int index, QWidget* parent) {
    const CMenuTemplate* menu = FindMenuTemplate(menuId);
    if (!menu)
        return nullptr;
    // Find the index-th popup at depth 0 and build its items.
    int seen = -1;
    size_t at = 0;
    for (; at < menu->itemCount; ++at)
        if (menu->items[at].depth == 0 && menu->items[at].popup && ++seen == index)
            break;
    if (at == menu->itemCount)
        return nullptr;
    auto* root = new QMenu(parent);
    std::vector<QMenu*> stack{root};
    for (size_t i = at + 1; i < menu->itemCount && menu->items[i].depth > 0; ++i) {
        const CMenuItemTemplate& item = menu->items[i];
        const size_t depth = size_t(item.depth);
        stack.resize(std::min(stack.size(), depth));
        if (stack.empty())
            break;
        QMenu* into = stack.back();
        if (item.popup) {
            QMenu* sub = into->addMenu(QString::fromUtf8(item.text));
            stack.push_back(sub);
        } else if (item.command == 0) {
            into->addSeparator();
        } else {
            QAction* action = into->addAction(QString::fromUtf8(item.text));
            action->setProperty(kCommandProperty, item.command);
        }
    }
    return root;
}

int GetMenuCommand(const QAction* action) {
    return action ? action->property(kCommandProperty).toInt() : 0;
}

QAction* FindMenuCommand(const QMenu* menu, int command) {
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions()) {
        if (GetMenuCommand(action) == command)
            return action;
        if (QAction* found = FindMenuCommand(action->menu(), command))
            return found;
    }
    return nullptr;
}
