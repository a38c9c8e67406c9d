#include "jobs/job_host.h"

#include <algorithm>
#include <thread>

namespace orvana::jobs {

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
