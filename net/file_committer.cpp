#include "net/file_committer.h"

#include <utility>

namespace orvana::net {

FileCommitter::FileCommitter(std::size_t maxPending, int threads)
    : m_maxPending(std::max<std::size_t>(1, maxPending)),
      m_maxThreads(std::size_t(std::max(1, threads))) {}

FileCommitter::~FileCommitter() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
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
    m_finished.wait(lock, [this] { return m_unfinished < m_maxPending; });
    // Every thread busy (or none yet): one more, while there may be more. Made before the job is
    // queued, so a thread that cannot be made leaves no job that nobody takes.
    if (m_idleThreads == 0 && m_threads.size() < m_maxThreads) {
        lock.unlock();
        m_threads.emplace_back([this] { work(); });
        lock.lock();
    }
    m_jobs.push_back(job);
    m_toStart.push_back(std::move(job));
    ++m_unfinished;
    lock.unlock();
    m_work.notify_one();
}

void FileCommitter::commit(Job& job) {
    try {
        if (job.naming == Naming::Song) {
            job.path = CommitSongFile(*job.file, job.folder, job.name);
        } else {
            job.path = job.folder + u'/' + job.name;
            (void)job.file->commit(job.path, CommitMode::ReplaceExisting);
        }
    } catch (...) {
        job.error = std::current_exception();
    }
    // An uncommitted file is dropped here, on this thread, freeing its space.
    job.file.reset();
}

void FileCommitter::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_toStart.empty()) {
            if (m_stopping)
                return; // every commit is started (the others finish them)
            ++m_idleThreads;
            m_work.wait(lock, [this] { return !m_toStart.empty() || m_stopping; });
            --m_idleThreads;
            continue;
        }
        const std::shared_ptr<Job> next = std::move(m_toStart.front());
        m_toStart.pop_front();
        lock.unlock();
        commit(*next);
        lock.lock();
        next->finished = true;
        --m_unfinished;
        // Only the owner thread waits for a finished commit.
        m_finished.notify_one();
    }
}

std::deque<std::shared_ptr<FileCommitter::Job>> FileCommitter::takeFinished() {
    std::deque<std::shared_ptr<Job>> done;
    while (!m_jobs.empty() && m_jobs.front()->finished) {
        if (!m_jobs.front()->error)
            m_reapedFolders.insert(m_jobs.front()->folder);
        done.push_back(std::move(m_jobs.front()));
        m_jobs.pop_front();
    }
    return done;
}

int FileCommitter::deliver(const std::deque<std::shared_ptr<Job>>& done) {
    for (const auto& job : done)
        if (job->done)
            job->done(job->path, job->error);
    return int(done.size());
}

int FileCommitter::wait() {
    std::deque<std::shared_ptr<Job>> done;
    {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_unfinished == 0; });
        done = takeFinished(); // every job has finished: all of them
    }
    const QSet<QString> folders = std::exchange(m_reapedFolders, {});
    for (const QString& folder : folders)
        SyncFolder(folder);
    return deliver(done);
}

int FileCommitter::reap() {
    std::deque<std::shared_ptr<Job>> done;
    {
        std::lock_guard lock(m_mutex);
        done = takeFinished();
    }
    return deliver(done);
}

bool FileCommitter::idle() const {
    std::lock_guard lock(m_mutex);
    return m_jobs.empty();
}

} // namespace orvana::net
