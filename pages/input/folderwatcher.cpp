#include "pages/input/folderwatcher.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

std::atomic<int> CFolderWatcher::s_running{0};

CStopEvent::CStopEvent() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CStopEvent::~CStopEvent() {
    if (m_fd >= 0)
        close(m_fd);
}

void CStopEvent::Signal() {
    // The counter is never read back, so the descriptor stays readable for every watcher.
    const uint64_t one = 1;
    if (m_fd >= 0) [[maybe_unused]]
        const ssize_t written = write(m_fd, &one, sizeof one);
}

namespace {

// Only changes of folder names; IN_ONLYDIR refuses to watch anything but a folder.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Lets a burst of folder operations arrive before the next notification.
constexpr int kPauseAfterChangeMs = 10;

} // namespace

CFolderWatcher::CFolderWatcher(int drive, const std::string& root, const CStopEvent& stop,
                               ChangeCallback onChange)
    : m_drive(drive), m_root(root), m_stopFd(stop.Fd()), m_onChange(std::move(onChange)) {
    m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd >= 0) {
        const int wd = AddWatch(m_root);
        if (wd < 0) {
            close(m_inotifyFd);
            m_inotifyFd = -1;
        } else {
            m_watched[m_root] = wd;
        }
    }
    ++s_running;
    m_thread = std::thread([this] { Run(); });
}

CFolderWatcher::~CFolderWatcher() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_inotifyFd >= 0)
        close(m_inotifyFd);
}

int CFolderWatcher::AddWatch(const std::string& folder) {
    return inotify_add_watch(m_inotifyFd, folder.c_str(), kWatchMask);
}

void CFolderWatcher::SetFolders(const std::set<std::string>& folders) {
    if (m_inotifyFd < 0)
        return;
    // Adding a watch that exists returns its descriptor again, and a folder deleted and made
    // anew gets a fresh one, so the whole set is re-added instead of trusting old entries.
    std::map<std::string, int> next;
    for (const std::string& folder : folders) {
        const int wd = AddWatch(folder);
        if (wd >= 0)
            next[folder] = wd;
    }
    const int rootWd = AddWatch(m_root);
    if (rootWd >= 0)
        next[m_root] = rootWd;
    std::set<int> kept;
    for (const auto& entry : next)
        kept.insert(entry.second);
    for (const auto& entry : m_watched) {
        if (!kept.count(entry.second))
            inotify_rm_watch(m_inotifyFd, entry.second);
    }
    m_watched = std::move(next);
}

bool CFolderWatcher::DrainEvents() {
    alignas(inotify_event) char buffer[4096];
    bool folderChanged = false;
    for (;;) {
        const ssize_t length = read(m_inotifyFd, buffer, sizeof buffer);
        if (length <= 0)
            return folderChanged; // EAGAIN: nothing more pending
        for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            const uint32_t mask = event->mask;
            if (((mask & IN_ISDIR) &&
                 (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))) ||
                (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW)))
                folderChanged = true;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void CFolderWatcher::Run() {
    // Folder browsing must never compete with the user's work.
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);

    if (m_inotifyFd >= 0) {
        pollfd fds[2] = {{m_inotifyFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        for (;;) {
            const int ready = poll(fds, 2, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0 || fds[1].revents != 0)
                break;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                break;
            if ((fds[0].revents & POLLIN) && DrainEvents()) {
                m_onChange(m_drive);
                // The pause, cut short by the stop event.
                if (poll(&fds[1], 1, kPauseAfterChangeMs) > 0)
                    break;
            }
        }
    }
    --s_running;
}
