#include "pages/input/foldertreelogic.h"
#include "qtestapp.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QByteArray MountLine(int id, const char* mountPoint, const char* fsType) {
    return QByteArray::number(id) + " 1 8:1 / " + mountPoint + " rw,relatime shared:1 - " + fsType +
           " /dev/sdx rw\n";
}

} // namespace

TEST(ParseMountInfo, RootFirstThenUserVolumesTypedByFileSystem) {
    QByteArray text;
    text += MountLine(22, "/proc", "proc");
    text += MountLine(23, "/media/usb", "vfat");
    text += MountLine(24, "/", "ext4");
    text += MountLine(25, "/media/cd", "iso9660");
    text += MountLine(26, "/run/media/anna/DVD\\040Disc", "udf");
    text += MountLine(27, "/mnt/share", "nfs4");
    text += MountLine(28, "/mnt/ssh", "fuse.sshfs");
    text += MountLine(29, "/mnt/scratch", "tmpfs");
    text += MountLine(30, "/mnt/data", "ext4");
    text += MountLine(31, "/home", "ext4");       // not a user volume
    text += MountLine(32, "/dev/shm", "tmpfs");   // neither
    text += MountLine(33, "/mnt/auto", "autofs"); // an automount trap, not a volume
    text += MountLine(34, "/mnt", "ext4");        // the folder itself is no volume
    text += MountLine(35, "/media/usb", "exfat"); // mounted over: same place
    text += "garbage line without fields\n\n";
    text += "36 1 8:1 / /mnt/nodash rw ext4\n"; // no separator: skipped
    const std::vector<SDrive> expected = {
        {"/", EDriveType::Fixed},
        {"/media/usb/", EDriveType::Removable},
        {"/media/cd/", EDriveType::CdRom},
        {"/run/media/anna/DVD Disc/", EDriveType::CdRom},
        {"/mnt/share/", EDriveType::Remote},
        {"/mnt/ssh/", EDriveType::Remote},
        {"/mnt/scratch/", EDriveType::RamDisk},
        {"/mnt/data/", EDriveType::Fixed},
    };
    EXPECT_EQ(ParseMountInfo(text), expected);
}

TEST(ParseMountInfo, AtMostTwentySixDrivesAndRootEvenWhenMissing) {
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text +=
            MountLine(100 + i, QByteArray("/mnt/v" + QByteArray::number(i)).constData(), "ext4");
    const std::vector<SDrive> drives = ParseMountInfo(text);
    ASSERT_EQ(drives.size(), 26u);
    EXPECT_EQ(drives.front().root, "/");
    EXPECT_EQ(drives.back().root, "/mnt/v24/");
    EXPECT_EQ(ParseMountInfo(QByteArray()).size(), 1u);
}

TEST(UnescapeMountField, OctalEscapesOnlyWhenComplete) {
    const struct {
        const char* field;
        const char* expected;
    } cases[] = {
        {"/media/My\\040Disk", "/media/My Disk"}, {"/a\\011b\\012c\\134d", "/a\tb\nc\\d"},
        {"/trailing\\04", "/trailing\\04"},       {"/not\\999octal", "/not\\999octal"},
        {"/media/\\303\\244", "/media/\xC3\xA4"}, // UTF-8 bytes escaped one by one
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnescapeMountField(c.field), QString::fromUtf8(c.expected)) << c.field;
}

TEST(ItemPath, ContributionsJoinWithOneSeparator) {
    // Built upwards as the tree does: folder B in folder A on a drive, and below the desktop.
    EXPECT_EQ(PrependItemText("/media/usb/", PrependItemText("A", "B")), "/media/usb/A/B");
    EXPECT_EQ(PrependItemText("/", "A"), "/A");
    EXPECT_EQ(PrependItemText("/", ""), "/");
    EXPECT_EQ(PrependItemText("/home/u/Desktop", "Work"), "/home/u/Desktop/Work");
    EXPECT_EQ(JoinFolderPath("/", "etc"), "/etc");
    EXPECT_EQ(JoinFolderPath("/a", "b"), "/a/b");
}

TEST(ItemPath, CurrentFolderGetsOneTrailingSeparator) {
    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator("/media/usb/"), "/media/usb/");
    EXPECT_EQ(WithTrailingSeparator("/media/usb/A/B"), "/media/usb/A/B/");
}

TEST(DriveIndexOf, LongestRootPrefixOnComponentBoundaries) {
    const std::vector<SDrive> drives = {{"/", EDriveType::Fixed},
                                        {"/media/usb/", EDriveType::Removable},
                                        {"/media/usb/inner/", EDriveType::Fixed},
                                        {"/mnt/Data/", EDriveType::Fixed}};
    const struct {
        const char* path;
        Qt::CaseSensitivity cs;
        int expected;
    } cases[] = {
        {"/media/usb/x", Qt::CaseSensitive, 1},
        {"/media/usb", Qt::CaseSensitive, 1},
        {"/media/usb/", Qt::CaseSensitive, 1},
        {"/media/usbx/y", Qt::CaseSensitive, 0},
        {"/media/usb/inner/deep", Qt::CaseSensitive, 2},
        {"/mnt/data/x", Qt::CaseSensitive, 0},
        {"/mnt/data/x", Qt::CaseInsensitive, 3},
        {"relative/path", Qt::CaseSensitive, -1},
        {"", Qt::CaseSensitive, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DriveIndexOf(drives, c.path, c.cs), c.expected) << c.path;
}

TEST(IsPathWithin, ComponentWise) {
    EXPECT_TRUE(IsPathWithin("/home/u/Desktop", "/home/u/Desktop", Qt::CaseSensitive));
    EXPECT_TRUE(IsPathWithin("/home/u/Desktop", "/home/u/Desktop/a", Qt::CaseSensitive));
    EXPECT_FALSE(IsPathWithin("/home/u/Desktop", "/home/u/Desktop2/a", Qt::CaseSensitive));
    EXPECT_FALSE(IsPathWithin("/home/u/Desktop", "/home/u/desktop/a", Qt::CaseSensitive));
    EXPECT_TRUE(IsPathWithin("/home/u/Desktop", "/home/u/desktop/a", Qt::CaseInsensitive));
    EXPECT_EQ(PathRestAfter("/home/u/Desktop", "/home/u/Desktop//a/b/"), "a/b/");
}

TEST(FolderNames, ByteWiseOrderCapitalsFirst) {
    QStringList names = {"alpha", "Zeta", "beta", "Beta", "_x", "\xC3\x84rger", "zulu", "10", "9"};
    SortFolderNames(names);
    const QStringList expected = {"10",   "9",    "Beta",
                                  "Zeta", "_x",   "alpha",
                                  "beta", "zulu", QString::fromUtf8("\xC3\x84rger")};
    EXPECT_EQ(names, expected);
}

TEST(FolderNames, LookupIgnoresCaseButPrefersExact) {
    const QStringList names = {"Photos", "photos", "Music"};
    EXPECT_EQ(FindFolderName(names, "photos"), 1);
    EXPECT_EQ(FindFolderName(names, "Photos"), 0);
    EXPECT_EQ(FindFolderName(names, "PHOTOS"), 0);
    EXPECT_EQ(FindFolderName(names, "music"), 2);
    EXPECT_EQ(FindFolderName(names, "Video"), -1);
}

TEST(FolderListing, OnlyVisibleFoldersAndLinksToFolders) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path();
    ASSERT_TRUE(MakeFolders(base, {"b", "A", ".hidden", "empty"}));
    ASSERT_TRUE(MakeFile(base + "/picture.jpg"));
    ASSERT_TRUE(QFile::link(base + "/A", base + "/linkToA"));
    ASSERT_TRUE(QFile::link(base + "/picture.jpg", base + "/linkToFile"));
    ASSERT_TRUE(QFile::link(base + "/nowhere", base + "/brokenLink"));

    std::optional<QStringList> names = ListSubfolderNames(base);
    ASSERT_TRUE(names);
    SortFolderNames(*names);
    EXPECT_EQ(*names, QStringList({"A", "b", "empty", "linkToA"}));
    EXPECT_TRUE(HasSubfolderEntries(base));
    EXPECT_FALSE(HasSubfolderEntries(base + "/empty"));
    EXPECT_FALSE(ListSubfolderNames(base + "/missing"));
    EXPECT_FALSE(HasSubfolderEntries(base + "/missing"));
    EXPECT_TRUE(IsDirectory(base + "/linkToA"));
    EXPECT_FALSE(IsDirectory(base + "/picture.jpg"));
    EXPECT_TRUE(CanEnterFolder(base + "/A"));
    EXPECT_FALSE(CanEnterFolder(base + "/picture.jpg"));
}

TEST(FolderListing, OnlyHiddenSubfoldersCountAsNone) {
    QTemporaryDir dir;
    ASSERT_TRUE(MakeFolders(dir.path(), {".git", ".cache"}));
    EXPECT_FALSE(HasSubfolderEntries(dir.path()));
    EXPECT_EQ(ListSubfolderNames(dir.path()), QStringList());
}

TEST(VolumeIdTable, MediaChangesAsSeenBySuccessiveReads) {
    CVolumeIdTable table;
    const struct {
        std::optional<int64_t> read;
        bool changed;
        int64_t stored;
    } steps[] = {
        {42, false, 42},                                // first read: learnt
        {42, false, 42},                                // same medium
        {43, true, 43},                                 // another medium
        {std::nullopt, true, CVolumeIdTable::kUnknown}, // drive empty
        {44, false, 44},                                // after unknown: learnt again
    };
    for (const auto& step : steps) {
        EXPECT_EQ(table.CheckMedia(3, step.read), step.changed);
        EXPECT_EQ(table.Get(3), step.stored);
    }
    EXPECT_EQ(table.Get(0), CVolumeIdTable::kUnknown);
    EXPECT_FALSE(table.CheckMedia(26, 1)); // out of range: left alone
    EXPECT_FALSE(table.CheckMedia(-1, std::nullopt));
}

TEST(SystemDrives, RootFirstAndVolumeIdReadable) {
    const std::vector<SDrive> drives = ReadSystemDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().root, "/");
    EXPECT_LE(drives.size(), 26u);
    EXPECT_TRUE(ReadVolumeId("/").has_value());
    EXPECT_FALSE(ReadVolumeId("/no/such/folder/here").has_value());
}
