#pragma once

// The folder browser of the input and output pages: "Desktop", under it "my computer" with one
// item per drive, and the folders of the disk listed lazily. An item that may have subfolders
// carries an empty placeholder child so that it shows an expand button; its real children
// are read when it is expanded. Watcher threads follow folder changes on fixed, remote and
// RAM drives and make the tree refresh itself.

#include "pages/input/foldertreelogic.h"
#include "pages/input/folderwatcher.h"

#include <QEvent>
#include <QPersistentModelIndex>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Posted by a watcher thread to its tree: the folder structure on a drive changed.
inline constexpr QEvent::Type WM_TREE_DRIVE_CHANGED = static_cast<QEvent::Type>(0x2340);
// Posted by the tree to itself when something changed on the drive of the selected item; it
// becomes the treeFolderChanged() signal, so the owner hears of it after the refresh.
inline constexpr QEvent::Type WM_TREE_FOLDER_CHANGED = static_cast<QEvent::Type>(0x2342);

class CTreeDriveChangedEvent : public QEvent {
public:
    explicit CTreeDriveChangedEvent(int drive) : QEvent(WM_TREE_DRIVE_CHANGED), m_drive(drive) {}
    int Drive() const { return m_drive; }

private:
    int m_drive;
};

// Item pictures.
enum : int {
    kPictureFixed = 0, // also the placeholder
    kPictureRemovable = 1,
    kPictureCdRom = 2,
    kPictureRemote = 3,
    kPictureRamDisk = 4,
    kPictureFolder = 5,
    kPictureFolderOpen = 6,
    kPictureDesktop = 7,
    kPictureComputer = 8,
};

// The icon of one item picture.
QIcon FolderTreePicture(int picture);

class CFolderTree : public QTreeWidget {
    Q_OBJECT
public:
    // Place: a folder at the top level beside "Desktop" (home, pictures), listed like any
    // folder below it.
    enum class EItemKind { Desktop, MyComputer, Drive, Folder, Placeholder, Place };

    // Where the tree learns about the machine; tests put temporary folders in its place.
    struct SEnvironment {
        std::function<std::vector<SDrive>()> drives = ReadSystemDrives;
        // The desktop folder without a trailing '/', or empty when there is none.
        std::function<QString()> desktopFolder = FindDesktopFolder;
        std::function<std::optional<int64_t>(const QString& root)> volumeId = ReadVolumeId;
        std::function<std::vector<SPlace>()> places = FindPlaceFolders;
    };

    explicit CFolderTree(QWidget* parent = nullptr);
    // Stops every watcher thread and waits for it.
    ~CFolderTree() override;

    // Replaces the sources of drives, desktop and volume ids; only before InitFolderTree.
    void SetEnvironment(SEnvironment environment);

    // Fills the tree and starts the watchers; called once.
    void InitFolderTree();

    // True while folderSelectionChanged reports a selection that moved by itself, because
    // the selected folder was deleted outside the program.
    bool IsFollowingDeletion() const { return m_followingDeletion; }

    // The selected folder with a trailing '/'; empty until a folder was selected.
    QString GetFolderPath() const { return m_currentFolder; }

    // Walks down to path, expanding every item on the way (names matched ignoring case), and
    // selects the last item when select is set. False when a component is missing; the tree
    // then stays expanded down to the last component found.
    bool SelectFolderPath(const QString& path, bool select);

    // Brings the items of one drive (and of "Desktop" when the desktop lies on it) in line
    // with the disk.
    void RefreshDrive(int drive);

    // The drive holding a folder (its root is the longest prefix), or -1.
    int DriveIndexOfPath(const QString& path) const;
    // The root of a drive ("/media/usb/"), empty for an unknown index.
    QString DriveRoot(int drive) const;

    QString GetItemPath(const QTreeWidgetItem* item) const;
    static EItemKind ItemKind(const QTreeWidgetItem* item);
    static int ItemPicture(const QTreeWidgetItem* item, bool selected);

    QTreeWidgetItem* DesktopItem() const { return m_desktopItem; }
    // The top-level item of a place by its text ("home", "pictures"), or nullptr.
    QTreeWidgetItem* PlaceItem(const QString& text) const;
    QTreeWidgetItem* MyComputerItem() const { return m_myComputerItem; }
    QTreeWidgetItem* DriveItem(int drive) const;
    bool IsDesktopKnown() const { return m_desktopKnown; }
    QString DesktopPath() const { return m_desktopPath; }
    int WatcherCount() const { return static_cast<int>(m_watchers.size()); }

signals:
    // The selection changed; GetFolderPath already tells the new folder.
    void folderSelectionChanged();
    // Something changed on the drive of the selected folder.
    void treeFolderChanged();

public:
    // Besides the view's own scrolling, scrolls sideways so that the item's name shows: in
    // a narrow column a deep folder would otherwise show as a bare selection bar.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    enum class EExpandResult { Allowed, Refused, ItemGone };
    enum class EDestroy {
        Delete,
        ResetDrive,
        DeleteAfterFailedSelection,
        ResetDriveAfterFailedSelection
    };
    class COperation;
    class CDeferDestruction;

    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnCurrentItemChanged(QTreeWidgetItem* current);

    EExpandResult ItemExpanding(QTreeWidgetItem* item, bool expand);
    // Expands an item listing its children afresh even when it is expanded already.
    EExpandResult ExpandAfresh(QTreeWidgetItem* item);
    // False when the item turned out vanished or on a changed medium.
    bool SelectionChanging(QTreeWidgetItem* item);
    // Deletes an item or resets a drive item; later when the view is busy with the item.
    void DestroyItem(QTreeWidgetItem* item, EDestroy how);
    // Makes item the selected one and runs the selection change even when it already is.
    void SelectItem(QTreeWidgetItem* item);
    void FinishOperation();

    QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, int index, EItemKind kind,
                             const QString& text, int picture, int selectedPicture);
    QTreeWidgetItem* NewFolderItem(QTreeWidgetItem* parent, int index, const QString& name);
    void AddPlaceholder(QTreeWidgetItem* item);
    void AddPlaceholderByRule(QTreeWidgetItem* item, const QString& path);
    void UpdatePlaceholder(QTreeWidgetItem* item, const QString& path);
    void DeleteItem(QTreeWidgetItem* item);
    void DeleteChildren(QTreeWidgetItem* item);
    void ResetDriveItem(QTreeWidgetItem* item);
    void SetExpandedQuietly(QTreeWidgetItem* item, bool expanded);
    int ListSubfolders(QTreeWidgetItem* item, const QString& path);
    // "Desktop" or a place: top-level items that stay when their folder is gone.
    bool IsTopFolder(const QTreeWidgetItem* item) const;
    void ShowItemName(const QModelIndex& index);
    void RefreshSubtree(QTreeWidgetItem* item, const QString& folder);

    bool HasSubfolders(const QString& path) const;
    bool FolderExists(const QString& path) const;
    // True when the medium of the path's drive changed or cannot be read.
    bool CheckMedia(const QString& path);

    QTreeWidgetItem* DriveItemOf(QTreeWidgetItem* item) const;
    int DriveIndexOfItem(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* ShowHiddenFolder(QTreeWidgetItem* item, const QString& name);
    QTreeWidgetItem* FindChild(QTreeWidgetItem* item, const QString& name) const;
    void StartWatcher(int drive);
    void SyncWatches();

    SEnvironment m_environment;
    bool m_desktopKnown = false;
    QTreeWidgetItem* m_desktopItem = nullptr;
    QTreeWidgetItem* m_myComputerItem = nullptr;
    QString m_desktopPath;
    bool m_collapsing = false;
    bool m_followingDeletion = false;
    CStopEvent m_stopEvent;
    CVolumeIdTable m_volumeIds;
    std::vector<std::unique_ptr<CFolderWatcher>> m_watchers;
    bool m_initialising = true;
    QString m_currentFolder;

    std::vector<SDrive> m_drives;
    int m_quietExpansion = 0; // expansions made by the tree itself, not by the user
    int m_operationDepth = 0; // nesting of tree operations; the outermost one finishes
    bool m_afterFailedSelection = false;
    int m_deferDestruction = 0;
    bool m_reselectPending = false; // the selected item was deleted by a refresh
    QPersistentModelIndex m_lastSelected;
};
