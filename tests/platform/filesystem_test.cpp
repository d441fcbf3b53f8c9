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

TEST(FileSystem, FallbackFolderEndsWithASeparator) {
    EXPECT_TRUE(GetFallbackFolder().endsWith('/'));
}
