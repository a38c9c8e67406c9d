#include "jobs/job_host.h"

#include <algorithm>
#include <thread>

namespace orvana::jobs {

Tally& Tally::operator+=(const Tally& other) {
    stored += other.stored;
    present += other.present;
    failed += other.failed;
    bytes += other.bytes;
    planned += other.planned;
    return *this;
}

void JobHost::songProgress(const SongRef&, qint64, qint64) {}
void JobHost::albumStarted(const AlbumInfo&) {}
void JobHost::songFinished(const SongEvent&) {}
void JobHost::jobError(const JobError&) {}
void JobHost::albumFinished(const AlbumInfo&, const Tally&) {}
void JobHost::warning(const QString&) {}

void JobClock::sleep(std::chrono::milliseconds duration, const net::CancelToken* cancel) {
    // Short slices, so a cancel from the window ends the pause promptly.
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!(cancel && cancel->isCancelled())) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(20)));
    }
}

} // namespace orvana::jobs
