#pragma once

// Watcher threads of the folder tree: one per watched drive, told about folder-name changes
// (a folder created, deleted or renamed) in the folders the tree shows, never about files.

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>

// A manual-reset stop signal shared by all watchers of one tree: once signalled, it stays
// signalled, so one signal ends every watcher.
class CStopEvent {
public:
    CStopEvent();
    ~CStopEvent();
    CStopEvent(const CStopEvent&) = delete;
    CStopEvent& operator=(const CStopEvent&) = delete;

    void Signal();
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

class CFolderWatcher {
public:
    // Called on the watcher's own thread with the drive index after a folder change.
    using ChangeCallback = std::function<void(int drive)>;

    // Starts the thread at idle priority. It watches root at once and ends on its own when
    // root cannot be watched. The stop event must outlive the watcher.
    CFolderWatcher(int drive, const std::string& root, const CStopEvent& stop,
                   ChangeCallback onChange);
    // Waits for the thread to end; the stop event must have been signalled before.
    ~CFolderWatcher();
    CFolderWatcher(const CFolderWatcher&) = delete;
    CFolderWatcher& operator=(const CFolderWatcher&) = delete;

    // Watches exactly these folders besides the root from now on. Called on the owner's
    // thread only; the watcher thread merely reads the events.
    void SetFolders(const std::set<std::string>& folders);

    int Drive() const { return m_drive; }
    // Whether the root could be watched (false: the thread ended at once).
    bool IsWatching() const { return m_inotifyFd >= 0; }
    // How many folders are watched now, the root included.
    int WatchedFolderCount() const { return static_cast<int>(m_watched.size()); }

    // Watcher threads of the whole process that have not ended yet.
    static int RunningCount() { return s_running.load(); }

private:
    void Run();
    // Reads every pending event; true when one of them concerns a folder.
    bool DrainEvents();
    int AddWatch(const std::string& folder);

    int m_drive;
    std::string m_root;
    int m_stopFd;
    ChangeCallback m_onChange;
    int m_inotifyFd = -1;
    std::map<std::string, int> m_watched; // folder -> watch descriptor (owner's thread only)
    std::thread m_thread;

    static std::atomic<int> s_running;
};
