#pragma once

#include <QString>

namespace orvana::jobs {

// Values of the build that a front end shows before any job runs. Qt Core alone, so the
// command-line tool answers --help without loading the transport.

// The portal host this build talks to when nothing else is given (a value of the build).
[[nodiscard]] QString DefaultPortalHost();

// Songs of one album fetched at the same time: at most this many.
inline constexpr int kMaxParallelSongs = 4;

} // namespace orvana::jobs
