#include "platform/filesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(FileSystem, PatternsIgnoreCase) {
    struct {
        const char* name;
        const char* pattern;
        bool match;
    } const rows[] = {
        {"a.jpg", "*.jpg", true},
        {"PHOTO.JPEG", "*.jpeg", true},
        {"a.jpg.txt", "*.jpg", false},
        {".jpg", "*.jpg", false},
        {"x", "*", true},
        {"x", "*.*", true},
        {"Readme", "README", true},
        {"ajpg", "*.jpg", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(MatchesPattern(r.name, r.pattern), r.match) << r.name << " " << r.pattern;
}

TEST(FileSystem, ListingExistenceAndFolderCreation) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    for (const char* name : {"a.JPG", "b.png", "c.txt"}) {
        QFile file(root + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(root).mkdir("folder.jpg"));
    QStringList files = ListFolder(root, {"*.jpg", "*.png"}, CListKind::Files);
    files.sort();
    EXPECT_EQ(files, (QStringList{"a.JPG", "b.png"}));
    EXPECT_EQ(ListFolder(root, {"*"}, CListKind::Folders), QStringList{"folder.jpg"});
    EXPECT_TRUE(ListFolder(root + "missing", {"*"}, CListKind::All).isEmpty());
    EXPECT_TRUE(FileExists(root + "c.txt"));
    EXPECT_FALSE(FileExists(root + "folder.jpg"));
    EXPECT_TRUE(FolderExists(root + "folder.jpg"));
    EXPECT_TRUE(HasSubfolders(root));
    EXPECT_FALSE(HasSubfolders(root + "folder.jpg"));

    EXPECT_EQ(MakeFolder(root + "new folder"), CMakeFolderResult::Created);
    EXPECT_EQ(MakeFolder(root + "new folder"), CMakeFolderResult::AlreadyExists);
    EXPECT_EQ(MakeFolder(root + "missing/deeper"), CMakeFolderResult::NotFound);
    EXPECT_EQ(MakeFolder(root + "c.txt/x"), CMakeFolderResult::UnknownError);
}

TEST(FileSystem, MountInfoBecomesDrives) {
    const QString text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                         "23 22 0:5 / /proc rw - proc proc rw\n"
                         "30 22 8:17 / /media/anna/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
                         "31 22 11:0 / /media/anna/CDROM ro - iso9660 /dev/sr0 ro\n"
                         "32 22 0:40 / /mnt/share rw - cifs //server/share rw\n"
                         "33 22 0:41 / /mnt/ram rw - tmpfs tmpfs rw\n"
                         "34 22 8:2 / /mnt/data rw shared:5 master:1 - ext4 /dev/sda2 rw\n"
                         "35 22 8:2 / /mnt/data rw - ext4 /dev/sda2 rw\n"
                         "broken line\n";
    const std::vector<CDriveInfo> drives = ParseMountInfo(text);
    const std::vector<CDriveInfo> expected = {
        {"/", CDriveType::Fixed},
        {"/media/anna/USB STICK/", CDriveType::Removable},
        {"/media/anna/CDROM/", CDriveType::CdRom},
        {"/mnt/share/", CDriveType::Remote},
        {"/mnt/ram/", CDriveType::RamDisk},
        {"/mnt/data/", CDriveType::Fixed},
    };
    EXPECT_EQ(drives, expected);
    EXPECT_EQ(DriveOfPath(drives, "/mnt/data/photos/a.jpg"), 5);
    EXPECT_EQ(DriveOfPath(drives, "/home/anna/"), 0);
    EXPECT_EQ(DriveOfPath(drives, "/mnt/share"), 3);
    EXPECT_EQ(DriveOfPath({}, "/x"), -1);

    QString many;
    for (int i = 0; i < 40; ++i)
        many += QString("%1 1 0:1 / /mnt/d%1 rw - ext4 x rw\n").arg(i);
    EXPECT_EQ(ParseMountInfo(many).size(), 26u);
    EXPECT_EQ(ParseMountInfo("").front().root, QStringLiteral("/"));
    EXPECT_GE(GetVolumeId("/"), 0);
    EXPECT_EQ(GetVolumeId("/no/such/folder"), -1);
    EXPECT_TRUE(GetFallbackFolder().endsWith('/'));
}
