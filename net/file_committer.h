#pragma once

#include "net/file_store.h"

#include <QSet>
#include <QString>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvana::net {

// Names finished song files on threads of its own (fdatasync, then link, as CommitSongFile),
// so the next transfer runs while the disk catches up. Several commits run at once: the file
// system then makes their syncs durable in one journal commit instead of one each. A thread is
// started only when a file finds every thread busy, and each file wakes one thread. Owned and
// called by one thread; the done callbacks run on that thread, inside wait(). Nothing is named
// before its data is on disk.
class FileCommitter {
public:
    // The path written (the "noTitle" fallback when the name was refused), or the error.
    using Done = std::function<void(const QString& path, std::exception_ptr error)>;

    // At most maxPending files wait for their commit (submit blocks beyond that); up to
    // `threads` of them are committed at once.
    explicit FileCommitter(std::size_t maxPending = 16, int threads = 4);
    // Waits for the outstanding commits; their callbacks are not called.
    ~FileCommitter();
    FileCommitter(const FileCommitter&) = delete;
    FileCommitter& operator=(const FileCommitter&) = delete;

    enum class Naming {
        Song,   // CommitSongFile: the name, or the "noTitle" fallback when it is refused
        Exactly // the name alone, replacing a file that stands there
    };

    // Takes a complete file to be named folder + "/" + name.
    void submit(std::unique_ptr<AtomicFile> file, const QString& folder, const QString& name,
                Done done, Naming naming = Naming::Song);

    // Waits for every submitted commit, syncs each folder that got a file (once), then calls
    // the callbacks in submission order. A callback that throws stops the rest (they are
    // dropped). Returns how many commits were handled.
    int wait();

    // Calls the callbacks of the commits that have finished, in submission order, up to the
    // first one still running; does not wait. Their folders are synced by the next wait().
    // Returns how many callbacks ran.
    int reap();

    [[nodiscard]] bool idle() const;

private:
    struct Job {
        std::unique_ptr<AtomicFile> file;
        QString folder;
        QString name;
        Naming naming = Naming::Song;
        Done done;
        QString path;
        std::exception_ptr error;
        bool finished = false;
    };
    void work();
    static void commit(Job& job);
    // Lock held: pops the leading finished jobs, adding their folders to m_reapedFolders.
    std::deque<std::shared_ptr<Job>> takeFinished();
    // Calls the callbacks in order; returns how many jobs there were.
    static int deliver(const std::deque<std::shared_ptr<Job>>& done);

    const std::size_t m_maxPending;
    const std::size_t m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;             // a job to start, or stopping: threads wait here
    std::condition_variable m_finished;         // a job finished: submit and wait() wait here
    std::deque<std::shared_ptr<Job>> m_jobs;    // submission order; finished ones wait for wait()
    std::deque<std::shared_ptr<Job>> m_toStart; // submitted, not yet taken by a thread
    QSet<QString> m_reapedFolders;              // folders of reaped commits, synced by wait()
    std::size_t m_unfinished = 0;
    std::size_t m_idleThreads = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads; // started and joined by the owner thread
};

} // namespace orvana::net
