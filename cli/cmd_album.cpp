#include "cli/cli.h"
#include "cli/job_support.h"
#include "cli/options.h"
#include "jobs/address_check.h"
#include "jobs/down_album.h"
#include "jobs/job_report.h"
#include "jobs/user_texts.h"

#include "json/error.h"

namespace orvana::cli {

namespace {

QString albumUsage() {
    return u"usage: orvana-dl-cli album [OPTIONS] ADDRESS\n\n"
           u"Downloads the album at ADDRESS (an album page address of the portal, or its number)\n"
           u"into a folder named after the album: cover.jpg and one MP3 per song. Songs already\n"
           u"present are skipped.\n"
           u"Status lines go to stderr as they are written; failures follow, then one summary\n"
           u"line (songs stored, present, failed, bytes, time, folder).\n"
           u"Exit: 0 every song is present, 1 a song failed, the album page or the song list\n"
           u"could not be had, or the output folder cannot be made, 2 usage error or refused\n"
           u"address.\n\n" +
           GlobalOptionsHelp();
}

} // namespace

int RunAlbum(const QStringList& args, const CliIo& io) {
    auto prepared = PrepareAddressJob(args, jobs::AddressKind::Album, QStringLiteral("album"),
                                      albumUsage(), io);
    if (const int* code = std::get_if<int>(&prepared))
        return *code;
    AddressJob& job = std::get<AddressJob>(prepared);

    DownloadOutput out(io, job.options);
    const jobs::AlbumSummary summary =
        jobs::DownAlbum(job.id, *job.setup.transport, out.host(), job.setup.settings);
    if (summary.outcome == jobs::JobOutcome::NotStarted)
        return out.end(kExitUsage); // the proxy text was refused; its message is out already

    for (const QString& line : jobs::AlbumFailureLines(summary, jobs::AlbumScope::OwnJob))
        out.line(line);
    out.status(jobs::UserText(jobs::kAlbumDone));
    out.summary(summary.tally(), summary.albumPageMissing ? QString() : summary.folder);
    return out.end(summary.complete() ? kExitOk : kExitFailed);
}

} // namespace orvana::cli
