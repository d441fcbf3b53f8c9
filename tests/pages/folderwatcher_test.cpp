#include "pages/input/folderwatcher.h"
#include "qtestapp.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Waits until the count moved past `before` or the time is up.
bool WaitForCall(const std::atomic<int>& calls, int before, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (calls.load() > before)
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return calls.load() > before;
}

struct WatchedFolder : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/";
        ASSERT_TRUE(MakeFolders(dir.path(), {"sub"}));
        watcher = std::make_unique<CFolderWatcher>(7, QFile::encodeName(root).toStdString(), stop,
                                                   [this](int drive) {
                                                       lastDrive = drive;
                                                       ++calls;
                                                   });
        ASSERT_TRUE(watcher->IsWatching());
    }
    void TearDown() override {
        stop.Signal();
        watcher.reset();
    }

    QTemporaryDir dir;
    QString root;
    CStopEvent stop;
    std::atomic<int> calls{0};
    std::atomic<int> lastDrive{-1};
    std::unique_ptr<CFolderWatcher> watcher;
};

} // namespace

TEST_F(WatchedFolder, FolderCreatedRenamedAndDeletedAreReported) {
    const struct {
        const char* what;
        std::function<bool()> act;
    } steps[] = {
        {"create", [&] { return QDir().mkdir(root + "new"); }},
        {"rename", [&] { return QDir().rename(root + "new", root + "renamed"); }},
        {"delete", [&] { return QDir().rmdir(root + "renamed"); }},
    };
    for (const auto& step : steps) {
        const int before = calls.load();
        ASSERT_TRUE(step.act()) << step.what;
        EXPECT_TRUE(WaitForCall(calls, before, 1000ms)) << step.what;
        EXPECT_EQ(lastDrive.load(), 7);
        std::this_thread::sleep_for(30ms); // let the pause after the report pass
    }
}

TEST_F(WatchedFolder, FilesAloneAreNotReported) {
    for (const char* name : {"a.jpg", "b.PNG", "c.gif"})
        ASSERT_TRUE(MakeFile(root + name));
    ASSERT_TRUE(QFile::rename(root + "a.jpg", root + "d.jpg"));
    ASSERT_TRUE(QFile::remove(root + "b.PNG"));
    EXPECT_FALSE(WaitForCall(calls, 0, 300ms));
}

TEST_F(WatchedFolder, SubfoldersOnlyWhenAskedFor) {
    ASSERT_TRUE(QDir().mkdir(root + "sub/inner"));
    EXPECT_FALSE(WaitForCall(calls, 0, 200ms));

    watcher->SetFolders({QFile::encodeName(root + "sub").toStdString()});
    EXPECT_EQ(watcher->WatchedFolderCount(), 2);
    ASSERT_TRUE(QDir().rmdir(root + "sub/inner"));
    EXPECT_TRUE(WaitForCall(calls, 0, 1000ms));

    std::this_thread::sleep_for(30ms);
    watcher->SetFolders({});
    EXPECT_EQ(watcher->WatchedFolderCount(), 1); // the root stays
    const int before = calls.load();
    ASSERT_TRUE(QDir().mkdir(root + "sub/again"));
    EXPECT_FALSE(WaitForCall(calls, before, 200ms));
}

TEST(FolderWatcher, UnwatchableRootEndsAtOnceAndIsStillAwaited) {
    const int before = CFolderWatcher::RunningCount();
    CStopEvent stop;
    {
        CFolderWatcher watcher(0, "/no/such/folder/", stop, [](int) {});
        EXPECT_FALSE(watcher.IsWatching());
        const auto end = std::chrono::steady_clock::now() + 1s;
        while (CFolderWatcher::RunningCount() > before && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(CFolderWatcher::RunningCount(), before);
        watcher.SetFolders({"/tmp"}); // harmless on a watcher that ended
        stop.Signal();
    }
    EXPECT_EQ(CFolderWatcher::RunningCount(), before);
}

TEST(FolderWatcher, OneStopSignalEndsEveryWatcher) {
    QTemporaryDir dir;
    const int before = CFolderWatcher::RunningCount();
    CStopEvent stop;
    std::vector<std::unique_ptr<CFolderWatcher>> watchers;
    for (int i = 0; i < 4; ++i)
        watchers.push_back(std::make_unique<CFolderWatcher>(
            i, QFile::encodeName(dir.path()).toStdString(), stop, [](int) {}));
    EXPECT_EQ(CFolderWatcher::RunningCount(), before + 4);
    stop.Signal();
    watchers.clear();
    EXPECT_EQ(CFolderWatcher::RunningCount(), before);
}
