#pragma once

#include "jobs/album_steps.h"
#include "jobs/album_summary.h"
#include "jobs/job_host.h"
#include "jobs/song_list.h"
#include "jobs/user_texts.h"
#include "net/mod_down_file.h"

#include <QString>

namespace orvana::jobs {

// Applies the job's proxy setting to the transport. A ticked text that cannot be read shows
// kInvalidProxy and gives false: the job must not start (never a direct connection instead).
[[nodiscard]] bool ApplyJobProxy(net::ModDownFile& transport, JobHost& host,
                                 const JobSettings& settings);

// Downloads album albumId into settings.outputRoot: the album folder, "cover.jpg" and one MP3
// per song; songs whose file exists are skipped. Never throws.
[[nodiscard]] AlbumSummary DownAlbum(const QString& albumId, net::ModDownFile& transport,
                                     JobHost& host, const JobSettings& settings);

} // namespace orvana::jobs
