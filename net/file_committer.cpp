#include "net/file_committer.h"

#include <utility>

namespace orvana::net {

FileCommitter::FileCommitter(std::size_t maxPending, int threads)
    : m_maxPending(std::max<std::size_t>(1, maxPending)) {
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

FileCommitter::~FileCommitter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void FileCommitter::submit(std::unique_ptr<AtomicFile> file, const QString& folder,
                           const QString& name, Done done, Naming naming) {
    auto job = std::make_shared<Job>();
    job->file = std::move(file);
    job->folder = folder;
    job->name = name;
    job->done = std::move(done);
    job->naming = naming;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_unfinished < m_maxPending; });
    m_jobs.push_back(std::move(job));
    ++m_unfinished;
    lock.unlock();
    m_changed.notify_all();
}

void FileCommitter::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Job> next;
        m_changed.wait(lock, [&] {
            for (const auto& job : m_jobs)
                if (!job->started) {
                    next = job;
                    return true;
                }
            return m_stopping;
        });
        if (!next)
            return; // stopping, and every commit is started (the others finish them)
        next->started = true;
        lock.unlock();
        try {
            if (next->naming == Naming::Song) {
                next->path = CommitSongFile(*next->file, next->folder, next->name);
            } else {
                next->path = next->folder + u'/' + next->name;
                (void)next->file->commit(next->path, CommitMode::ReplaceExisting);
            }
        } catch (...) {
            next->error = std::current_exception();
        }
        // An uncommitted file is dropped here, on this thread, freeing its space.
        next->file.reset();
        lock.lock();
        next->finished = true;
        --m_unfinished;
        m_changed.notify_all();
    }
}

int FileCommitter::wait() {
    std::deque<std::shared_ptr<Job>> done;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_unfinished == 0; });
        done.swap(m_jobs);
    }
    QSet<QString> folders = std::exchange(m_reapedFolders, {});
    for (const auto& job : done)
        if (!job->error)
            folders.insert(job->folder);
    for (const QString& folder : std::as_const(folders))
        SyncFolder(folder);
    for (const auto& job : done)
        if (job->done)
            job->done(job->path, job->error);
    return int(done.size());
}

int FileCommitter::reap() {
    std::deque<std::shared_ptr<Job>> done;
    {
        std::lock_guard lock(m_mutex);
        while (!m_jobs.empty() && m_jobs.front()->finished) {
            if (!m_jobs.front()->error)
                m_reapedFolders.insert(m_jobs.front()->folder);
            done.push_back(std::move(m_jobs.front()));
            m_jobs.pop_front();
        }
    }
    for (const auto& job : done)
        if (job->done)
            job->done(job->path, job->error);
    return int(done.size());
}

bool FileCommitter::idle() const {
    std::lock_guard lock(m_mutex);
    return m_jobs.empty();
}

} // namespace orvana::net
