#include "pages/input/foldertree.h"
#include "qtestapp.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <map>

namespace {

QStringList ChildTexts(const QTreeWidgetItem* item) {
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts.append(item->child(i)->text(0));
    return texts;
}

QTreeWidgetItem* Child(const QTreeWidgetItem* item, const QString& text) {
    for (int i = 0; i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == text)
            return item->child(i);
    }
    return nullptr;
}

bool HasOnlyPlaceholder(const QTreeWidgetItem* item) {
    return item->childCount() == 1 &&
           CFolderTree::ItemKind(item->child(0)) == CFolderTree::EItemKind::Placeholder &&
           item->child(0)->text(0).isEmpty() &&
           CFolderTree::ItemPicture(item->child(0), false) == 0;
}

// A small disk in a temporary folder: a fixed drive, a removable one, a RAM disk, a drive
// whose root is missing, and a desktop folder.
class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        base = dir.path();
        fixedRoot = base + "/fixed/";
        usbRoot = base + "/usb/";
        ramRoot = base + "/ram/";
        desktop = base + "/desk";
        ASSERT_TRUE(MakeFolders(base, {"fixed/Zeta", "fixed/alpha", "fixed/Photos/Summer/Day1",
                                       "fixed/Photos/Winter", "fixed/Empty", "fixed/Gone/Child",
                                       "usb/Stick/Inner", "ram", "desk/Work", "desk/Archive"}));
        volumeIds[usbRoot] = 1;
    }

    std::unique_ptr<CFolderTree> MakeTree(bool withDesktop = true) {
        auto tree = std::make_unique<CFolderTree>();
        CFolderTree::SEnvironment environment;
        environment.drives = [this] {
            return std::vector<SDrive>{{fixedRoot, EDriveType::Fixed},
                                       {usbRoot, EDriveType::Removable},
                                       {base + "/missing/", EDriveType::Fixed},
                                       {ramRoot, EDriveType::RamDisk}};
        };
        environment.desktopFolder = [this, withDesktop] {
            return withDesktop ? desktop : QString();
        };
        environment.places = [this] {
            return std::vector<SPlace>{{"home", fixedRoot + "Photos"},
                                       {"pictures", fixedRoot + "Photos/Summer"},
                                       {"gone", base + "/nowhere"}};
        };
        environment.volumeId = [this](const QString& root) -> std::optional<int64_t> {
            const auto found = volumeIds.find(root);
            return found == volumeIds.end() ? std::nullopt : found->second;
        };
        tree->SetEnvironment(std::move(environment));
        tree->InitFolderTree();
        return tree;
    }

    QTemporaryDir dir;
    QString base, fixedRoot, usbRoot, ramRoot, desktop;
    std::map<QString, std::optional<int64_t>> volumeIds;
};

} // namespace

TEST_F(FolderTreeTest, FixedTopDrivesInListOrderDesktopFoldersAfterMyComputer) {
    auto tree = MakeTree();
    ASSERT_EQ(tree->topLevelItemCount(), 3); // the places that exist, then Desktop
    QTreeWidgetItem* top = tree->DesktopItem();
    EXPECT_EQ(tree->topLevelItem(2), top);
    EXPECT_EQ(top->text(0), "Desktop");
    EXPECT_EQ(CFolderTree::ItemPicture(top, false), 7);
    EXPECT_TRUE(top->isExpanded());
    EXPECT_EQ(ChildTexts(top), QStringList({"my computer", "Archive", "Work"}));
    QTreeWidgetItem* computer = tree->MyComputerItem();
    EXPECT_EQ(CFolderTree::ItemPicture(computer, true), 8);
    EXPECT_TRUE(computer->isExpanded());
    EXPECT_EQ(ChildTexts(computer), QStringList({fixedRoot, usbRoot, ramRoot}));
    const int pictures[] = {0, 1, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(CFolderTree::ItemPicture(computer->child(i), false), pictures[i]);
        EXPECT_TRUE(HasOnlyPlaceholder(computer->child(i)) || i == 2) << i;
    }
    EXPECT_EQ(computer->child(2)->childCount(), 0); // the RAM disk holds no folder
    EXPECT_EQ(tree->DriveItem(2), nullptr);         // root missing: left out
    EXPECT_EQ(tree->WatcherCount(), 2);             // fixed and RAM
    EXPECT_TRUE(tree->GetFolderPath().isEmpty());
}

// Home and pictures sit at the top level: one click selects them, they list and refresh
// like the folders they are, and a place whose folder vanished stays in place, empty.
TEST_F(FolderTreeTest, PlacesAtTheTopSelectExpandAndRefresh) {
    auto tree = MakeTree();
    QTreeWidgetItem* home = tree->PlaceItem("home");
    QTreeWidgetItem* pictures = tree->PlaceItem("pictures");
    ASSERT_TRUE(home && pictures);
    EXPECT_EQ(tree->topLevelItem(0), home);
    EXPECT_EQ(tree->topLevelItem(1), pictures);
    EXPECT_EQ(tree->PlaceItem("gone"), nullptr);
    EXPECT_TRUE(HasOnlyPlaceholder(home));
    EXPECT_TRUE(HasOnlyPlaceholder(pictures)); // Summer holds Day1

    tree->setCurrentItem(pictures);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Summer/");
    home->setExpanded(true);
    EXPECT_EQ(ChildTexts(home), QStringList({"Summer", "Winter"}));
    tree->setCurrentItem(Child(home, "Winter"));
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Winter/");

    // A folder made on the drive under an expanded place shows up in its sorted place.
    ASSERT_TRUE(MakeFolders(fixedRoot, {"Photos/Autumn"}));
    tree->RefreshDrive(0);
    EXPECT_EQ(ChildTexts(home), QStringList({"Autumn", "Summer", "Winter"}));

    // Gone: the place stays, without children, and selecting it keeps the current folder.
    ASSERT_TRUE(QDir(fixedRoot + "Photos/Summer").removeRecursively());
    tree->setCurrentItem(pictures);
    EXPECT_EQ(tree->topLevelItem(1), pictures);
    EXPECT_EQ(pictures->childCount(), 0);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Winter/");
}

// In a narrow tree the selected deep folder's name is scrolled into view, not cut off
// behind its indentation.
TEST_F(FolderTreeTest, DeepSelectionScrollsItsNameIntoView) {
    ASSERT_TRUE(MakeFolders(fixedRoot, {"Photos/Summer/Day1/Morning/Early/Sunrise"}));
    auto tree = MakeTree();
    tree->resize(135, 300);
    tree->show();
    ASSERT_TRUE(
        tree->SelectFolderPath(fixedRoot + "Photos/Summer/Day1/Morning/Early/Sunrise", true));
    QCoreApplication::processEvents();
    const QModelIndex index = tree->currentIndex();
    ASSERT_EQ(index.data().toString(), "Sunrise");
    const QRect rect = tree->visualRect(index);
    const int nameEnd =
        rect.left() + tree->iconSize().width() + tree->fontMetrics().horizontalAdvance("Sunrise");
    EXPECT_GT(tree->horizontalScrollBar()->value(), 0);
    EXPECT_GE(rect.left(), 0);
    EXPECT_LE(nameEnd, tree->viewport()->width());

    // Back at the top, the view scrolls back to the left.
    tree->setCurrentItem(tree->DesktopItem());
    tree->scrollTo(tree->currentIndex());
    EXPECT_EQ(tree->horizontalScrollBar()->value(), 0);
}

TEST_F(FolderTreeTest, ItemPathsAndCurrentFolderSeparators) {
    auto tree = MakeTree();
    QSignalSpy selections(tree.get(), &CFolderTree::folderSelectionChanged);
    QTreeWidgetItem* drive = tree->DriveItem(0);
    EXPECT_EQ(tree->GetItemPath(drive), fixedRoot);
    tree->setCurrentItem(drive);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot); // a root keeps its single separator
    EXPECT_EQ(selections.count(), 1);

    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos/Summer", true));
    QTreeWidgetItem* summer = tree->currentItem();
    EXPECT_EQ(summer->text(0), "Summer");
    EXPECT_EQ(CFolderTree::ItemPicture(summer, false), 5);
    EXPECT_EQ(CFolderTree::ItemPicture(summer, true), 6);
    EXPECT_EQ(tree->GetItemPath(summer), fixedRoot + "Photos/Summer");
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Summer/");

    QTreeWidgetItem* work = Child(tree->DesktopItem(), "Work");
    ASSERT_TRUE(work);
    EXPECT_EQ(tree->GetItemPath(work), desktop + "/Work");
    tree->setCurrentItem(tree->DesktopItem());
    EXPECT_EQ(tree->GetFolderPath(), desktop + "/");
    EXPECT_EQ(tree->DriveIndexOfPath(fixedRoot + "Photos"), 0);
    EXPECT_EQ(tree->DriveRoot(1), usbRoot);
}

TEST_F(FolderTreeTest, FoldersListedCapitalsFirstWithPlaceholdersWhereSubfoldersAre) {
    auto tree = MakeTree();
    QTreeWidgetItem* drive = tree->DriveItem(0);
    tree->expandItem(drive);
    EXPECT_EQ(ChildTexts(drive), QStringList({"Empty", "Gone", "Photos", "Zeta", "alpha"}));
    EXPECT_TRUE(HasOnlyPlaceholder(Child(drive, "Photos")));
    EXPECT_EQ(Child(drive, "Empty")->childCount(), 0);
    EXPECT_EQ(Child(drive, "Zeta")->childCount(), 0);
}

TEST_F(FolderTreeTest, SelectFolderPathIgnoresCaseAndStopsAtAMissingComponent) {
    auto tree = MakeTree();
    ASSERT_TRUE(tree->SelectFolderPath((fixedRoot + "photos/summer/").toLower(), true));
    EXPECT_EQ(tree->currentItem()->text(0), "Summer");
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Summer/");

    EXPECT_FALSE(tree->SelectFolderPath(fixedRoot + "Photos/Autumn/x", true));
    QTreeWidgetItem* photos = Child(tree->DriveItem(0), "Photos");
    ASSERT_TRUE(photos);
    EXPECT_TRUE(photos->isExpanded()); // expanded down to the last component found
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Summer/");

    EXPECT_FALSE(tree->SelectFolderPath(base + "/elsewhere/x", true)); // on no drive
    EXPECT_FALSE(tree->SelectFolderPath(QString(), true));
    ASSERT_TRUE(tree->SelectFolderPath(desktop + "/work", false));  // through "Desktop"
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Summer/"); // not selected
}

TEST_F(FolderTreeTest, ExpandingAFolderThatLostItsSubfoldersRefusesAndDropsTheButton) {
    auto tree = MakeTree();
    QTreeWidgetItem* drive = tree->DriveItem(0);
    tree->expandItem(drive);
    QTreeWidgetItem* gone = Child(drive, "Gone");
    ASSERT_TRUE(HasOnlyPlaceholder(gone));
    ASSERT_TRUE(QDir().rmdir(fixedRoot + "Gone/Child"));
    tree->expandItem(gone);
    EXPECT_FALSE(gone->isExpanded());
    EXPECT_EQ(gone->childCount(), 0);
}

TEST_F(FolderTreeTest, VanishedFolderIsDeletedOnSelectionAndTheFolderStays) {
    auto tree = MakeTree();
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos", true));
    QTreeWidgetItem* photos = tree->currentItem();
    QTreeWidgetItem* drive = tree->DriveItem(0);
    ASSERT_TRUE(QDir().rmdir(fixedRoot + "Zeta"));
    tree->setCurrentItem(Child(drive, "Zeta"));
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/");
    QCoreApplication::processEvents(); // the view is done with the item: now it goes
    EXPECT_EQ(Child(drive, "Zeta"), nullptr);
    EXPECT_EQ(tree->currentItem(), photos);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/");

    // Vanished while being expanded: deleted as well.
    ASSERT_TRUE(QDir(fixedRoot + "Gone").removeRecursively());
    tree->expandItem(Child(drive, "Gone"));
    QCoreApplication::processEvents();
    EXPECT_EQ(Child(drive, "Gone"), nullptr);
    EXPECT_EQ(tree->currentItem(), photos);
}

TEST_F(FolderTreeTest, CollapseSelectsTheItemAndPutsThePlaceholderBack) {
    auto tree = MakeTree();
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos/Summer", true));
    QTreeWidgetItem* photos = Child(tree->DriveItem(0), "Photos");
    EXPECT_EQ(ChildTexts(photos), QStringList({"Summer", "Winter"}));
    tree->collapseItem(photos);
    EXPECT_FALSE(photos->isExpanded());
    EXPECT_TRUE(HasOnlyPlaceholder(photos));
    EXPECT_EQ(tree->currentItem(), photos);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/");

    // A collapsed drive item always gets its placeholder back.
    QTreeWidgetItem* ram = tree->DriveItem(3);
    tree->expandItem(ram); // nothing on it: refused
    EXPECT_FALSE(ram->isExpanded());
}

TEST_F(FolderTreeTest, SelectingMyComputerOrAnUnknownDesktopKeepsTheFolder) {
    auto tree = MakeTree(false);
    EXPECT_FALSE(tree->IsDesktopKnown());
    EXPECT_EQ(tree->DesktopPath(), "FAILEDTOINITIALIZE");
    EXPECT_EQ(ChildTexts(tree->DesktopItem()), QStringList({"my computer"}));
    tree->setCurrentItem(tree->DriveItem(1));
    EXPECT_EQ(tree->GetFolderPath(), usbRoot);
    for (QTreeWidgetItem* item : {tree->MyComputerItem(), tree->DesktopItem()}) {
        tree->setCurrentItem(item);
        EXPECT_EQ(tree->GetFolderPath(), usbRoot);
    }
}

// The desktop folder deleted after the tree listed it: the drives under "my computer"
// stay in reach however the top item is opened or closed.
TEST_F(FolderTreeTest, DeletedDesktopFolderKeepsTheDrivesInReach) {
    auto tree = MakeTree();
    ASSERT_TRUE(QDir(desktop).removeRecursively());
    QTreeWidgetItem* top = tree->DesktopItem();
    tree->collapseItem(top);
    tree->expandItem(top);
    QCoreApplication::processEvents();
    EXPECT_TRUE(top->isExpanded());
    EXPECT_EQ(ChildTexts(top), QStringList({"my computer"}));
    tree->setCurrentItem(top);
    QCoreApplication::processEvents();
    EXPECT_TRUE(top->isExpanded());
    tree->RefreshDrive(0);
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos/Winter", true));
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/Winter/");
    EXPECT_TRUE(top->isExpanded());
    EXPECT_TRUE(tree->MyComputerItem()->isExpanded());
}

// A folder asked for by path inside hidden folders is shown with them, and a refresh keeps
// them while they exist.
TEST_F(FolderTreeTest, FolderInsideHiddenFoldersIsShownAndSelected) {
    ASSERT_TRUE(MakeFolders(base, {"fixed/.config/.cache/pics", "ram/.only/x"}));
    auto tree = MakeTree();
    EXPECT_EQ(Child(tree->DriveItem(0), ".config"), nullptr) << "not listed on its own";
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + ".config/.cache/pics", true));
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + ".config/.cache/pics/");
    tree->RefreshDrive(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + ".config/.cache/pics/");
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_EQ(tree->currentItem()->text(0), "pics");
    // Under a folder whose only subfolders are hidden.
    ASSERT_TRUE(tree->SelectFolderPath(ramRoot + ".only/x", true));
    EXPECT_EQ(tree->GetFolderPath(), ramRoot + ".only/x/");
    EXPECT_FALSE(tree->SelectFolderPath(fixedRoot + ".nothere", true));
}

TEST_F(FolderTreeTest, ChangedRemovableMediumResetsItsDriveItem) {
    auto tree = MakeTree();
    QTreeWidgetItem* usb = tree->DriveItem(1);
    tree->setCurrentItem(usb); // first read of the medium
    tree->expandItem(usb);
    EXPECT_EQ(ChildTexts(usb), QStringList({"Stick"}));
    volumeIds[usbRoot] = 2; // another stick
    tree->expandItem(Child(usb, "Stick"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(usb->isExpanded());
    EXPECT_TRUE(HasOnlyPlaceholder(usb));
    EXPECT_EQ(tree->GetFolderPath(), usbRoot);
    tree->expandItem(usb); // the new medium is listed
    EXPECT_TRUE(usb->isExpanded());
    EXPECT_EQ(ChildTexts(usb), QStringList({"Stick"}));
}

TEST_F(FolderTreeTest, RefreshDriveInsertsAndDeletesInSortedPlace) {
    auto tree = MakeTree();
    QTreeWidgetItem* usb = tree->DriveItem(1); // no watcher: refreshed by hand
    tree->expandItem(usb);
    ASSERT_TRUE(MakeFolders(usbRoot, {"Apple", "zoo/deeper", "Stick2"}));
    ASSERT_TRUE(QDir().rmdir(usbRoot + "Stick/Inner"));
    tree->RefreshDrive(1);
    EXPECT_EQ(ChildTexts(usb), QStringList({"Apple", "Stick", "Stick2", "zoo"}));
    EXPECT_TRUE(HasOnlyPlaceholder(Child(usb, "zoo")));
    EXPECT_EQ(Child(usb, "Stick")->childCount(), 0);
    tree->RefreshDrive(99); // no such drive: nothing
}

TEST_F(FolderTreeTest, WatcherShowsFolderCreatedAndDeletedElsewhere) {
    auto tree = MakeTree();
    QSignalSpy folderChanged(tree.get(), &CFolderTree::treeFolderChanged);
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos", true));
    QTreeWidgetItem* photos = tree->currentItem();
    ASSERT_EQ(ChildTexts(photos), QStringList({"Summer", "Winter"}));

    ASSERT_TRUE(QDir().mkdir(fixedRoot + "Photos/Spring"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ChildTexts(photos) == QStringList({"Spring", "Summer", "Winter"});
        },
        1000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return folderChanged.count() > 0; }, 1000));

    ASSERT_TRUE(QDir().rmdir(fixedRoot + "Photos/Spring"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ChildTexts(photos) == QStringList({"Summer", "Winter"});
        },
        1000));

    // A folder appearing under a collapsed one gives it an expand button.
    QTreeWidgetItem* zeta = Child(tree->DriveItem(0), "Zeta");
    ASSERT_EQ(zeta->childCount(), 0);
    ASSERT_TRUE(QDir().mkdir(fixedRoot + "Zeta/inside"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return HasOnlyPlaceholder(zeta); }, 1000));
}

TEST_F(FolderTreeTest, PictureFilesAloneRefreshNothing) {
    auto tree = MakeTree();
    QSignalSpy folderChanged(tree.get(), &CFolderTree::treeFolderChanged);
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos", true));
    QTest::qWait(50);
    folderChanged.clear();
    for (const char* name : {"a.jpg", "b.png", "c.JPEG", "d.bmp", "e.gif"})
        ASSERT_TRUE(MakeFile(fixedRoot + "Photos/" + name));
    QTest::qWait(300);
    EXPECT_EQ(folderChanged.count(), 0);
}

TEST_F(FolderTreeTest, DestructorEndsEveryWatcher) {
    const int before = CFolderWatcher::RunningCount();
    {
        auto tree = MakeTree();
        auto second = MakeTree(false);
        ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos/Summer", true));
        EXPECT_EQ(CFolderWatcher::RunningCount(), before + 4);
        ASSERT_TRUE(QDir().mkdir(fixedRoot + "Photos/New")); // events in flight at the end
    }
    EXPECT_EQ(CFolderWatcher::RunningCount(), before);
    QCoreApplication::processEvents(); // nothing left to deliver to the dead trees
}

// Writes a picture of the tree when QM_SCREENSHOT names a file, for a look by eye.
TEST_F(FolderTreeTest, Screenshot) {
    const QString target = qEnvironmentVariable("QM_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "set QM_SCREENSHOT to a .png path";
    auto tree = MakeTree();
    tree->resize(260, 360);
    tree->show();
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos/Summer", true));
    tree->expandItem(tree->DriveItem(1));
    QTest::qWait(50);
    EXPECT_TRUE(tree->grab().save(target));
}

// Clicks and keys go through the view's own handling, which keeps using the item afterwards;
// a vanished folder met that way must not bring the view down.
TEST_F(FolderTreeTest, VanishedFolderClickedOrOpenedByKeyInAVisibleTree) {
    auto tree = MakeTree();
    tree->resize(300, 400);
    tree->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));
    ASSERT_TRUE(tree->SelectFolderPath(fixedRoot + "Photos", true));
    QTreeWidgetItem* photos = tree->currentItem();
    QTreeWidgetItem* drive = tree->DriveItem(0);

    ASSERT_TRUE(QDir().rmdir(fixedRoot + "alpha"));
    QTreeWidgetItem* alpha = Child(drive, "alpha");
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(alpha).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(Child(drive, "alpha"), nullptr);
    EXPECT_EQ(tree->currentItem(), photos);
    EXPECT_TRUE(photos->isSelected());
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot + "Photos/");

    // Opened by the keyboard after it vanished: deleted, and its parent takes the selection.
    QTreeWidgetItem* gone = Child(drive, "Gone");
    tree->setCurrentItem(gone);
    ASSERT_TRUE(QDir(fixedRoot + "Gone").removeRecursively());
    QTest::keyClick(tree.get(), Qt::Key_Right);
    QCoreApplication::processEvents();
    EXPECT_EQ(Child(drive, "Gone"), nullptr);
    EXPECT_EQ(tree->currentItem(), drive);
    EXPECT_EQ(tree->GetFolderPath(), fixedRoot);

    // Collapsing by the keyboard: the placeholder comes back.
    tree->setCurrentItem(photos);
    QTest::keyClick(tree.get(), Qt::Key_Left);
    EXPECT_FALSE(photos->isExpanded());
    EXPECT_TRUE(HasOnlyPlaceholder(photos));
    QTest::keyClick(tree.get(), Qt::Key_Asterisk); // would read everything below: ignored
    EXPECT_FALSE(photos->isExpanded());
}

TEST(FolderTreeOnThisMachine, RootDriveFirstAndSelectable) {
    CFolderTree tree;
    tree.InitFolderTree();
    ASSERT_GE(tree.MyComputerItem()->childCount(), 1);
    EXPECT_EQ(tree.MyComputerItem()->child(0)->text(0), "/");
    EXPECT_GE(tree.WatcherCount(), 1);
    ASSERT_TRUE(tree.SelectFolderPath("/usr/", true));
    EXPECT_EQ(tree.GetFolderPath(), "/usr/");
}
