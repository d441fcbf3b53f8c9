#include "pages/input/foldertree.h"

#include "platform/resourceloader.h"
#include "resources/resource.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>
#include <map>
#include <set>

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kDriveRole = Qt::UserRole + 1;
constexpr int kPictureRole = Qt::UserRole + 2;
constexpr int kSelectedPictureRole = Qt::UserRole + 3;
constexpr int kPlacePathRole = Qt::UserRole + 4;

constexpr int kPictureSize = 16;

bool IsWithin(const QTreeWidgetItem* ancestor, const QTreeWidgetItem* item) {
    for (const QTreeWidgetItem* it = item; it; it = it->parent()) {
        if (it == ancestor)
            return true;
    }
    return false;
}

// Keeps the tree from repainting while children are replaced.
class CRedrawOff {
public:
    explicit CRedrawOff(QWidget& widget) : m_widget(widget), m_was(widget.updatesEnabled()) {
        m_widget.setUpdatesEnabled(false);
    }
    ~CRedrawOff() { m_widget.setUpdatesEnabled(m_was); }
    CRedrawOff(const CRedrawOff&) = delete;
    CRedrawOff& operator=(const CRedrawOff&) = delete;

private:
    QWidget& m_widget;
    bool m_was;
};

} // namespace

QIcon FolderTreePicture(int picture) {
    // The nine pictures of our own folder strip, in picture-number order, magenta clear.
    static const std::vector<QPixmap> strip =
        LoadImageList(IDB_FOLDER_IMAGES, 16, qRgb(255, 0, 255));
    if (picture < 0 || size_t(picture) >= strip.size())
        return {};
    return QIcon(strip[size_t(picture)]);
}

// Marks the view's own notifications, during which no item may be deleted at once.
class CFolderTree::CDeferDestruction {
public:
    explicit CDeferDestruction(CFolderTree& tree) : m_tree(tree) { ++m_tree.m_deferDestruction; }
    ~CDeferDestruction() { --m_tree.m_deferDestruction; }
    CDeferDestruction(const CDeferDestruction&) = delete;
    CDeferDestruction& operator=(const CDeferDestruction&) = delete;

private:
    CFolderTree& m_tree;
};

// Every public entry point and every handler of the tree's own notifications is one
// operation; when the outermost one ends, the selection is re-run if a refresh deleted the
// selected item, and the watchers learn which folders are on show now.
class CFolderTree::COperation {
public:
    explicit COperation(CFolderTree& tree) : m_tree(tree) { ++m_tree.m_operationDepth; }
    ~COperation() {
        if (--m_tree.m_operationDepth == 0)
            m_tree.FinishOperation();
    }
    COperation(const COperation&) = delete;
    COperation& operator=(const COperation&) = delete;

private:
    CFolderTree& m_tree;
};

CFolderTree::CFolderTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setAnimated(false);
    setIconSize(QSize(kPictureSize, kPictureSize));
    // Deep folders and long names scroll sideways instead of being cut short.
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    connect(this, &QTreeWidget::itemExpanded, this, &CFolderTree::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CFolderTree::OnItemCollapsed);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
}

CFolderTree::~CFolderTree() {
    // Deleting the items must not run the tree's handlers on a half-destroyed object.
    blockSignals(true);
    if (!m_watchers.empty())
        m_stopEvent.Signal();
    m_watchers.clear(); // joins every thread, those that ended early as well
}

void CFolderTree::SetEnvironment(SEnvironment environment) {
    m_environment = std::move(environment);
}

// --- building ---------------------------------------------------------------------------------

void CFolderTree::InitFolderTree() {
    COperation operation(*this);
    m_drives = m_environment.drives ? m_environment.drives() : std::vector<SDrive>{};
    if (m_drives.size() > static_cast<size_t>(kMaxDrives))
        m_drives.resize(kMaxDrives);

    QString desktop = m_environment.desktopFolder ? m_environment.desktopFolder() : QString();
    while (desktop.size() > 1 && EndsWithSeparator(desktop))
        desktop.chop(1);
    m_desktopKnown = !desktop.isEmpty();
    m_desktopPath = m_desktopKnown ? desktop : QStringLiteral("FAILEDTOINITIALIZE");

    // The user's own folders one click away at the top, above the desktop whose expanded
    // drives would push them out of sight.
    for (const SPlace& place :
         m_environment.places ? m_environment.places() : std::vector<SPlace>{}) {
        if (place.path.isEmpty() || !IsDirectory(place.path))
            continue;
        QTreeWidgetItem* item =
            NewItem(nullptr, -1, EItemKind::Place, place.text, kPictureFolder, kPictureFolderOpen);
        item->setData(0, kPlacePathRole, place.path);
        AddPlaceholderByRule(item, place.path);
    }

    m_desktopItem = NewItem(nullptr, -1, EItemKind::Desktop, QStringLiteral("Desktop"),
                            kPictureDesktop, kPictureDesktop);
    AddPlaceholderByRule(m_desktopItem, m_desktopPath);
    m_myComputerItem = NewItem(m_desktopItem, -1, EItemKind::MyComputer,
                               QStringLiteral("my computer"), kPictureComputer, kPictureComputer);
    ExpandAfresh(m_desktopItem);
    ExpandAfresh(m_myComputerItem);

    for (size_t i = 0; i < m_drives.size(); ++i) {
        const SDrive& drive = m_drives[i];
        const int index = static_cast<int>(i);
        if (!EndsWithSeparator(drive.root) || !IsDirectory(drive.root))
            continue;
        const int picture = static_cast<int>(drive.type);
        QTreeWidgetItem* item =
            NewItem(m_myComputerItem, -1, EItemKind::Drive, drive.root, picture, picture);
        item->setData(0, kDriveRole, index);
        switch (drive.type) {
        case EDriveType::Removable:
            AddPlaceholder(item);
            break;
        case EDriveType::CdRom:
            AddPlaceholder(item);
            m_volumeIds.Store(index, m_environment.volumeId ? m_environment.volumeId(drive.root)
                                                            : std::nullopt);
            break;
        case EDriveType::Fixed:
        case EDriveType::Remote:
        case EDriveType::RamDisk:
            AddPlaceholderByRule(item, drive.root);
            StartWatcher(index);
            break;
        }
    }
    m_initialising = false;
}

void CFolderTree::StartWatcher(int drive) {
    if (m_stopEvent.Fd() < 0)
        return; // without a stop signal a watcher could never be ended
    const std::string root =
        QFile::encodeName(m_drives[static_cast<size_t>(drive)].root).toStdString();
    // The thread touches nothing of the tree; posting an event is safe from any thread, and
    // the destructor waits for the threads before the tree is gone.
    m_watchers.push_back(std::make_unique<CFolderWatcher>(drive, root, m_stopEvent, [this](int d) {
        QCoreApplication::postEvent(this, new CTreeDriveChangedEvent(d));
    }));
}

QTreeWidgetItem* CFolderTree::NewItem(QTreeWidgetItem* parent, int index, EItemKind kind,
                                      const QString& text, int picture, int selectedPicture) {
    auto owned = std::make_unique<QTreeWidgetItem>();
    QTreeWidgetItem* item = owned.get();
    item->setText(0, text);
    item->setData(0, kKindRole, static_cast<int>(kind));
    item->setData(0, kPictureRole, picture);
    item->setData(0, kSelectedPictureRole, selectedPicture);
    QIcon icon = FolderTreePicture(picture);
    if (selectedPicture != picture) {
        QIcon both;
        both.addPixmap(icon.pixmap(kPictureSize), QIcon::Normal);
        both.addPixmap(FolderTreePicture(selectedPicture).pixmap(kPictureSize), QIcon::Selected);
        icon = both;
    }
    if (kind != EItemKind::Placeholder)
        item->setIcon(0, icon);
    if (!parent)
        addTopLevelItem(owned.release());
    else if (index < 0 || index >= parent->childCount())
        parent->addChild(owned.release());
    else
        parent->insertChild(index, owned.release());
    return item;
}

QTreeWidgetItem* CFolderTree::NewFolderItem(QTreeWidgetItem* parent, int index,
                                            const QString& name) {
    return NewItem(parent, index, EItemKind::Folder, name, kPictureFolder, kPictureFolderOpen);
}

void CFolderTree::AddPlaceholder(QTreeWidgetItem* item) {
    NewItem(item, -1, EItemKind::Placeholder, QString(), kPictureFixed, kPictureFixed);
}

void CFolderTree::AddPlaceholderByRule(QTreeWidgetItem* item, const QString& path) {
    if (item == m_desktopItem && !m_desktopKnown)
        return;
    if (HasSubfolders(path))
        AddPlaceholder(item);
}

void CFolderTree::UpdatePlaceholder(QTreeWidgetItem* item, const QString& path) {
    const bool has = !(item == m_desktopItem && !m_desktopKnown) && HasSubfolders(path);
    if (has && item->childCount() == 0) {
        AddPlaceholder(item);
        viewport()->update();
    } else if (!has && item->childCount() > 0) {
        DeleteChildren(item);
    }
}

void CFolderTree::DeleteItem(QTreeWidgetItem* item) {
    if (!item || item == m_myComputerItem)
        return;
    if (item == m_desktopItem) {
        DeleteChildren(item);
        return;
    }
    QTreeWidgetItem* current = currentItem();
    if (current && IsWithin(item, current)) {
        // Move the selection off the doomed items first, quietly: the selected item of a
        // selection change that fails goes back to the one selected before; one that a
        // refresh deletes gives way to its parent, which is then selected properly once the
        // operation is over.
        QTreeWidgetItem* last = m_lastSelected.isValid() ? itemFromIndex(m_lastSelected) : nullptr;
        QTreeWidgetItem* target = last && !IsWithin(item, last) ? last : item->parent();
        {
            const QSignalBlocker blocker(this);
            setCurrentItem(target);
        }
        if (!m_afterFailedSelection)
            m_reselectPending = true;
    }
    QTreeWidgetItem* parent = item->parent();
    const std::unique_ptr<QTreeWidgetItem> owned(parent
                                                     ? parent->takeChild(parent->indexOfChild(item))
                                                     : takeTopLevelItem(indexOfTopLevelItem(item)));
}

void CFolderTree::DeleteChildren(QTreeWidgetItem* item) {
    for (int i = item->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* child = item->child(i);
        if (child != m_myComputerItem)
            DeleteItem(child);
    }
}

void CFolderTree::ResetDriveItem(QTreeWidgetItem* item) {
    SetExpandedQuietly(item, false);
    DeleteChildren(item);
    AddPlaceholder(item);
}

void CFolderTree::SetExpandedQuietly(QTreeWidgetItem* item, bool expanded) {
    ++m_quietExpansion;
    item->setExpanded(expanded);
    --m_quietExpansion;
}

int CFolderTree::ListSubfolders(QTreeWidgetItem* item, const QString& path) {
    std::optional<QStringList> names = ListSubfolderNames(path);
    if (!names) {
        // An empty or unreadable removable drive keeps its expand button.
        if (ItemKind(item) == EItemKind::Drive)
            AddPlaceholder(item);
        return 0;
    }
    SortFolderNames(*names);
    for (const QString& name : *names)
        AddPlaceholderByRule(NewFolderItem(item, -1, name), JoinFolderPath(path, name));
    return static_cast<int>(names->size());
}

// --- questions about paths and items ----------------------------------------------------------

bool CFolderTree::IsTopFolder(const QTreeWidgetItem* item) const {
    return item == m_desktopItem || ItemKind(item) == EItemKind::Place;
}

QTreeWidgetItem* CFolderTree::PlaceItem(const QString& text) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (ItemKind(item) == EItemKind::Place && item->text(0) == text)
            return item;
    }
    return nullptr;
}

bool CFolderTree::HasSubfolders(const QString& path) const {
    return HasSubfolderEntries(path);
}

bool CFolderTree::FolderExists(const QString& path) const {
    for (const SDrive& drive : m_drives) {
        if (drive.root == path)
            return true; // a drive root stands; a changed medium is CheckMedia's business
    }
    if (path.compare(QLatin1String("DESKTOP"), Qt::CaseInsensitive) == 0 ||
        path.compare(QLatin1String("MY COMPUTER"), Qt::CaseInsensitive) == 0)
        return true;
    return IsDirectory(path);
}

bool CFolderTree::CheckMedia(const QString& path) {
    const int drive = DriveIndexOf(m_drives, path, Qt::CaseSensitive);
    if (drive < 0)
        return false;
    const SDrive& info = m_drives[static_cast<size_t>(drive)];
    if (info.type != EDriveType::Removable && info.type != EDriveType::CdRom)
        return false;
    return m_volumeIds.CheckMedia(drive, m_environment.volumeId ? m_environment.volumeId(info.root)
                                                                : std::nullopt);
}

QString CFolderTree::GetItemPath(const QTreeWidgetItem* item) const {
    QString collected;
    for (const QTreeWidgetItem* it = item; it && it != m_myComputerItem; it = it->parent()) {
        const QString contribution = it == m_desktopItem ? m_desktopPath
                                     : ItemKind(it) == EItemKind::Place
                                         ? it->data(0, kPlacePathRole).toString()
                                         : it->text(0);
        collected = PrependItemText(contribution, collected);
    }
    return collected;
}

CFolderTree::EItemKind CFolderTree::ItemKind(const QTreeWidgetItem* item) {
    return static_cast<EItemKind>(item->data(0, kKindRole).toInt());
}

int CFolderTree::ItemPicture(const QTreeWidgetItem* item, bool selected) {
    return item->data(0, selected ? kSelectedPictureRole : kPictureRole).toInt();
}

QTreeWidgetItem* CFolderTree::DriveItem(int drive) const {
    if (!m_myComputerItem)
        return nullptr;
    for (int i = 0; i < m_myComputerItem->childCount(); ++i) {
        QTreeWidgetItem* child = m_myComputerItem->child(i);
        if (ItemKind(child) == EItemKind::Drive && child->data(0, kDriveRole).toInt() == drive)
            return child;
    }
    return nullptr;
}

QTreeWidgetItem* CFolderTree::DriveItemOf(QTreeWidgetItem* item) const {
    QTreeWidgetItem* it = item;
    while (it->parent() && it->parent() != m_myComputerItem)
        it = it->parent();
    return it;
}

int CFolderTree::DriveIndexOfItem(const QTreeWidgetItem* item) const {
    for (const QTreeWidgetItem* it = item; it; it = it->parent()) {
        if (it == m_myComputerItem)
            return -1;
        if (ItemKind(it) == EItemKind::Drive)
            return it->data(0, kDriveRole).toInt();
        if (ItemKind(it) == EItemKind::Place)
            return DriveIndexOf(m_drives, it->data(0, kPlacePathRole).toString(),
                                Qt::CaseSensitive);
    }
    return m_desktopKnown ? DriveIndexOf(m_drives, m_desktopPath, Qt::CaseSensitive) : -1;
}

int CFolderTree::DriveIndexOfPath(const QString& path) const {
    return DriveIndexOf(m_drives, path, Qt::CaseSensitive);
}

QString CFolderTree::DriveRoot(int drive) const {
    return drive >= 0 && drive < static_cast<int>(m_drives.size())
               ? m_drives[static_cast<size_t>(drive)].root
               : QString();
}

QTreeWidgetItem* CFolderTree::FindChild(QTreeWidgetItem* item, const QString& name) const {
    QStringList names;
    std::vector<QTreeWidgetItem*> children;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        const EItemKind kind = ItemKind(child);
        if (kind == EItemKind::Folder || kind == EItemKind::Drive) {
            names.append(child->text(0));
            children.push_back(child);
        }
    }
    const int found = FindFolderName(names, name);
    return found >= 0 ? children[static_cast<size_t>(found)] : nullptr;
}

// --- expanding and collapsing -----------------------------------------------------------------

void CFolderTree::OnItemExpanded(QTreeWidgetItem* item) {
    if (m_quietExpansion)
        return;
    COperation operation(*this);
    const CDeferDestruction defer(*this);
    if (ItemExpanding(item, true) == EExpandResult::Refused)
        SetExpandedQuietly(item, false);
}

void CFolderTree::OnItemCollapsed(QTreeWidgetItem* item) {
    if (m_quietExpansion)
        return;
    COperation operation(*this);
    const CDeferDestruction defer(*this);
    ItemExpanding(item, false);
}

CFolderTree::EExpandResult CFolderTree::ItemExpanding(QTreeWidgetItem* item, bool expand) {
    if (item == m_myComputerItem || (item == m_desktopItem && !m_desktopKnown))
        return EExpandResult::Allowed;
    if (ItemKind(item) == EItemKind::Placeholder)
        return EExpandResult::Refused;
    const QString path = GetItemPath(item);
    if (CheckMedia(path)) {
        QTreeWidgetItem* driveItem = DriveItemOf(item);
        if (driveItem == item) {
            ResetDriveItem(driveItem);
            return EExpandResult::Refused;
        }
        DestroyItem(driveItem, EDestroy::ResetDrive);
        return EExpandResult::ItemGone;
    }
    if (!FolderExists(path)) {
        if (IsTopFolder(item)) {
            // The top stays open with "my computer" under it: a desktop folder deleted
            // meanwhile must not fold every drive away out of reach. A place only empties.
            DeleteChildren(item);
            return item == m_desktopItem ? EExpandResult::Allowed : EExpandResult::Refused;
        }
        DestroyItem(item, EDestroy::Delete);
        return EExpandResult::ItemGone;
    }

    EExpandResult result = EExpandResult::Allowed;
    const CRedrawOff redrawOff(*this);
    if (expand) {
        DeleteChildren(item);
        if (ListSubfolders(item, path) == 0 && item != m_desktopItem)
            result = EExpandResult::Refused; // the item loses its expand button
    } else {
        m_collapsing = true;
        DeleteChildren(item);
        m_collapsing = false;
        if (ItemKind(item) == EItemKind::Drive)
            AddPlaceholder(item);
        else
            AddPlaceholderByRule(item, path);
        SelectItem(item);
    }
    return result;
}

CFolderTree::EExpandResult CFolderTree::ExpandAfresh(QTreeWidgetItem* item) {
    // An expanded item stays as it is, as an expansion that changes nothing is no expansion;
    // a collapsed one is listed anew however often it was expanded before.
    if (item->isExpanded())
        return EExpandResult::Allowed;
    const EExpandResult result = ItemExpanding(item, true);
    if (result != EExpandResult::ItemGone)
        SetExpandedQuietly(item, result == EExpandResult::Allowed);
    return result;
}

void CFolderTree::keyPressEvent(QKeyEvent* e) {
    // '*' would expand every level below the item at once, reading whole disks.
    if (e->key() == Qt::Key_Asterisk) {
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void CFolderTree::resizeEvent(QResizeEvent* e) {
    QTreeWidget::resizeEvent(e);
    // The tree is often filled and its folder selected before the window has its size.
    if (currentIndex().isValid())
        ShowItemName(currentIndex());
}

// --- selection --------------------------------------------------------------------------------

void CFolderTree::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // The view's own rule shows the start of the one column, which is wider than the view:
    // it would scroll back to the left edge every time. The vertical part is kept, the
    // sideways part is ours.
    const int sideways = horizontalScrollBar()->value();
    QTreeWidget::scrollTo(index, hint);
    horizontalScrollBar()->setValue(sideways);
    if (index.isValid())
        ShowItemName(index);
}

void CFolderTree::ShowItemName(const QModelIndex& index) {
    // The one column is as wide as its widest item, laid out lazily; the scroll range must
    // be the current one before it is used.
    executeDelayedItemsLayout();
    header()->resizeSections(QHeaderView::ResizeToContents);
    updateGeometries();
    const QRect rect = visualRect(index);
    if (!rect.isValid())
        return;
    QScrollBar* bar = horizontalScrollBar();
    const int nameWidth =
        iconSize().width() + fontMetrics().horizontalAdvance(index.data().toString()) + 12;
    // The least sideways scrolling that shows the name with the expand button before it;
    // the start of a name wider than the view wins over its end.
    const int left = bar->value() + rect.left() - indentation();
    const int right = bar->value() + rect.left() + nameWidth;
    bar->setValue(std::clamp(right - viewport()->width(), 0, std::max(0, left)));
}

void CFolderTree::OnCurrentItemChanged(QTreeWidgetItem* current) {
    // While a collapse deletes children the selection is the tree's own business; the
    // collapsed item is selected once they are gone.
    if (m_collapsing)
        return;
    COperation operation(*this);
    const CDeferDestruction defer(*this);
    m_reselectPending = false;
    if (SelectionChanging(current))
        m_lastSelected = QPersistentModelIndex(indexFromItem(current));
    emit folderSelectionChanged();
}

bool CFolderTree::SelectionChanging(QTreeWidgetItem* item) {
    if (!item || item == m_myComputerItem || (item == m_desktopItem && !m_desktopKnown))
        return true;
    if (ItemKind(item) == EItemKind::Placeholder)
        return true;
    const QString path = GetItemPath(item);
    if (CheckMedia(path)) {
        QTreeWidgetItem* driveItem = DriveItemOf(item);
        if (driveItem == item) {
            ResetDriveItem(driveItem);
            return true;
        }
        DestroyItem(driveItem, EDestroy::ResetDriveAfterFailedSelection);
        return false;
    }
    if (!FolderExists(path)) {
        if (IsTopFolder(item)) {
            DeleteChildren(item);
            return true;
        }
        DestroyItem(item, EDestroy::DeleteAfterFailedSelection);
        return false;
    }
    if (!(item->isExpanded() && item->childCount() > 0))
        UpdatePlaceholder(item, path);
    m_currentFolder = WithTrailingSeparator(path);
    return true;
}

void CFolderTree::DestroyItem(QTreeWidgetItem* item, EDestroy how) {
    const bool afterFailedSelection = how == EDestroy::DeleteAfterFailedSelection ||
                                      how == EDestroy::ResetDriveAfterFailedSelection;
    const bool reset =
        how == EDestroy::ResetDrive || how == EDestroy::ResetDriveAfterFailedSelection;
    const auto destroy = [this, afterFailedSelection, reset](QTreeWidgetItem* target) {
        // A failed selection change gives the selection back to the item selected before.
        m_afterFailedSelection = afterFailedSelection;
        if (reset)
            ResetDriveItem(target);
        else
            DeleteItem(target);
        m_afterFailedSelection = false;
        QTreeWidgetItem* current = currentItem();
        if (current && !current->isSelected()) {
            const QSignalBlocker blocker(this);
            current->setSelected(true);
        }
    };
    if (m_deferDestruction == 0) {
        destroy(item);
        return;
    }
    // Inside the view's own handling of a click, a key or an expansion, the item concerned
    // must outlive the handler: the view keeps using its index afterwards.
    const QPersistentModelIndex index(indexFromItem(item));
    QMetaObject::invokeMethod(
        this,
        [this, index, destroy] {
            if (!index.isValid())
                return;
            COperation operation(*this);
            destroy(itemFromIndex(index));
        },
        Qt::QueuedConnection);
}

void CFolderTree::SelectItem(QTreeWidgetItem* item) {
    if (currentItem() != item)
        setCurrentItem(item);
    else
        OnCurrentItemChanged(item);
    // scrollTo itself: scrollToItem would bypass the sideways part.
    if (currentItem())
        scrollTo(currentIndex());
}

bool CFolderTree::SelectFolderPath(const QString& path, bool select) {
    if (path.isEmpty() || !m_desktopItem)
        return false;
    COperation operation(*this);

    QTreeWidgetItem* item = nullptr;
    QString rest;
    const auto startAtDesktop = [&](Qt::CaseSensitivity cs) {
        if (!m_desktopKnown || !IsPathWithin(m_desktopPath, path, cs))
            return false;
        item = m_desktopItem;
        rest = PathRestAfter(m_desktopPath, path);
        return true;
    };
    const auto startAtDrive = [&](Qt::CaseSensitivity cs) {
        const int drive = DriveIndexOf(m_drives, path, cs);
        QTreeWidgetItem* driveItem = DriveItem(drive);
        if (!driveItem)
            return false;
        item = driveItem;
        rest = PathRestAfter(m_drives[static_cast<size_t>(drive)].root, path);
        return true;
    };
    // An exact match first: on a case-sensitive file system "/Data" and "/data" are two.
    if (!startAtDesktop(Qt::CaseSensitive) && !startAtDrive(Qt::CaseSensitive) &&
        !startAtDesktop(Qt::CaseInsensitive) && !startAtDrive(Qt::CaseInsensitive))
        return false;

    for (const QString& component : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (ExpandAfresh(item) == EExpandResult::ItemGone)
            return false;
        QTreeWidgetItem* child = item->childCount() > 0 ? FindChild(item, component) : nullptr;
        if (!child)
            child = ShowHiddenFolder(item, component);
        if (!child)
            return false;
        item = child;
    }
    if (ExpandAfresh(item) == EExpandResult::ItemGone)
        return false;
    if (select)
        SelectItem(item);
    return true;
}

QTreeWidgetItem* CFolderTree::ShowHiddenFolder(QTreeWidgetItem* item, const QString& name) {
    // Hidden folders are not listed, but one on the way to a folder asked for by path (a
    // saved input or output folder) is shown, or that folder could never be selected.
    if (!name.startsWith(QLatin1Char('.')) || name == QLatin1String(".") ||
        name == QLatin1String("..") || item == m_myComputerItem)
        return nullptr;
    const QString path = JoinFolderPath(GetItemPath(item), name);
    if (!IsDirectory(path))
        return nullptr;
    if (item->childCount() == 1 && ItemKind(item->child(0)) == EItemKind::Placeholder)
        DeleteChildren(item);
    int index = item->childCount();
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (ItemKind(child) == EItemKind::Folder && FolderNameLess(name, child->text(0))) {
            index = i;
            break;
        }
    }
    QTreeWidgetItem* child = NewFolderItem(item, index, name);
    AddPlaceholderByRule(child, path);
    SetExpandedQuietly(item, true);
    return child;
}

// --- refreshing -------------------------------------------------------------------------------

bool CFolderTree::event(QEvent* e) {
    if (e->type() == WM_TREE_DRIVE_CHANGED) {
        RefreshDrive(static_cast<CTreeDriveChangedEvent*>(e)->Drive());
        return true;
    }
    if (e->type() == WM_TREE_FOLDER_CHANGED) {
        emit treeFolderChanged();
        return true;
    }
    return QTreeWidget::event(e);
}

void CFolderTree::RefreshDrive(int drive) {
    if (drive < 0 || drive >= static_cast<int>(m_drives.size()))
        return;
    COperation operation(*this);
    const QString root = m_drives[static_cast<size_t>(drive)].root;
    if (!m_initialising) {
        QTreeWidgetItem* current = currentItem();
        if (current && DriveIndexOfItem(current) == drive)
            QCoreApplication::postEvent(this, new QEvent(WM_TREE_FOLDER_CHANGED));
    }
    if (!DriveItem(drive))
        return;
    if (m_desktopKnown && DriveIndexOf(m_drives, m_desktopPath, Qt::CaseSensitive) == drive &&
        CanEnterFolder(m_desktopPath))
        RefreshSubtree(m_desktopItem, m_desktopPath);
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* place = topLevelItem(i);
        const QString path = place->data(0, kPlacePathRole).toString();
        if (ItemKind(place) == EItemKind::Place &&
            DriveIndexOf(m_drives, path, Qt::CaseSensitive) == drive && CanEnterFolder(path))
            RefreshSubtree(place, path);
    }
    QTreeWidgetItem* driveItem = DriveItem(drive);
    if (!driveItem)
        return;
    if (CheckMedia(root))
        ResetDriveItem(driveItem);
    else if (CanEnterFolder(root))
        RefreshSubtree(driveItem, root);
}

void CFolderTree::RefreshSubtree(QTreeWidgetItem* item, const QString& folder) {
    if (item == m_myComputerItem)
        return;
    if (!(item->isExpanded() && item->childCount() > 0)) {
        if (ItemKind(item) != EItemKind::Drive) {
            UpdatePlaceholder(item, folder);
            SetExpandedQuietly(item, false);
        }
        return;
    }
    const std::optional<QStringList> names = ListSubfolderNames(folder);
    if (!names)
        return; // unreadable just now: better stale than emptied

    struct SEntry {
        QTreeWidgetItem* item;
        QString name;
    };
    std::vector<SEntry> entries;
    QSet<QString> known;
    for (int i = item->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* child = item->child(i);
        if (child == m_myComputerItem)
            continue;
        // Names compare exactly: on a case-sensitive disk a folder renamed from "foo" to "Foo"
        // is another folder.
        // A hidden folder shown for a path asked for stays while it exists.
        const bool listed = names->contains(child->text(0)) ||
                            (child->text(0).startsWith(QLatin1Char('.')) &&
                             IsDirectory(JoinFolderPath(folder, child->text(0))));
        if (ItemKind(child) == EItemKind::Folder && listed && !known.contains(child->text(0))) {
            known.insert(child->text(0));
            entries.push_back({child, child->text(0)});
        } else {
            DeleteItem(child);
        }
    }
    for (const QString& name : *names) {
        if (!known.contains(name))
            entries.push_back({nullptr, name});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const SEntry& a, const SEntry& b) {
        return FolderNameLess(a.name, b.name);
    });

    QTreeWidgetItem* previous = nullptr;
    for (SEntry& entry : entries) {
        if (!entry.item) {
            const int index = previous                ? item->indexOfChild(previous) + 1
                              : item == m_desktopItem ? item->indexOfChild(m_myComputerItem) + 1
                                                      : 0;
            entry.item = NewFolderItem(item, index, entry.name);
            AddPlaceholderByRule(entry.item, JoinFolderPath(folder, entry.name));
        }
        previous = entry.item;
    }
    for (const SEntry& entry : entries) {
        const QString sub = JoinFolderPath(folder, entry.name);
        if (CanEnterFolder(sub))
            RefreshSubtree(entry.item, sub);
    }
}

// --- watching ---------------------------------------------------------------------------------

void CFolderTree::FinishOperation() {
    ++m_operationDepth;
    if (m_reselectPending) {
        m_reselectPending = false;
        if (QTreeWidgetItem* current = currentItem()) {
            m_followingDeletion = true;
            OnCurrentItemChanged(current);
            m_followingDeletion = false;
        }
    }
    SyncWatches();
    --m_operationDepth;
}

void CFolderTree::SyncWatches() {
    if (m_watchers.empty() || !m_desktopItem)
        return;
    std::map<int, std::set<std::string>> folders;
    // Every folder on show is watched by the watcher of the drive it was reached through, so
    // that the refresh of that drive is the one that updates it.
    const auto visit = [&](const auto& self, QTreeWidgetItem* item, const QString& path,
                           int drive) -> void {
        if (drive >= 0)
            folders[drive].insert(QFile::encodeName(path).toStdString());
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* child = item->child(i);
            switch (ItemKind(child)) {
            case EItemKind::Folder:
                self(self, child, JoinFolderPath(path, child->text(0)), drive);
                break;
            case EItemKind::MyComputer:
                for (int d = 0; d < child->childCount(); ++d) {
                    QTreeWidgetItem* driveItem = child->child(d);
                    if (ItemKind(driveItem) == EItemKind::Drive)
                        self(self, driveItem, driveItem->text(0),
                             driveItem->data(0, kDriveRole).toInt());
                }
                break;
            default:
                break;
            }
        }
    };
    visit(visit, m_desktopItem, m_desktopPath, DriveIndexOfItem(m_desktopItem));
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* place = topLevelItem(i);
        if (ItemKind(place) == EItemKind::Place)
            visit(visit, place, place->data(0, kPlacePathRole).toString(), DriveIndexOfItem(place));
    }
    for (const auto& watcher : m_watchers)
        watcher->SetFolders(folders[watcher->Drive()]);
}
