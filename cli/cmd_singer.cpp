// `orvana-dl-cli singer ADDRESS` and `orvana-dl-cli singers [ROW] [--download ...]`.
#include "cli/cli.h"
#include "cli/job_support.h"
#include "cli/options.h"
#include "jobs/address_check.h"
#include "jobs/catalogue.h"
#include "jobs/down_singer.h"
#include "jobs/job_report.h"
#include "jobs/user_texts.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include <QSet>
#include <variant>

namespace orvana::cli {

namespace {

// The failures of one singer job, as stderr lines.
void reportSinger(DownloadOutput& host, const QString& singerId, const jobs::SingerSummary& s) {
    for (const QString& line : jobs::SingerFailureLines(singerId, s))
        host.line(line);
}

QString singerUsage() {
    return u"usage: orvana-dl-cli singer [OPTIONS] ADDRESS\n\n"
           u"Downloads every album of the singer at ADDRESS (a singer page address of the\n"
           u"portal, or its number) into a folder named after the singer, one folder per album\n"
           u"with cover.jpg and one MP3 per song. Songs already present are skipped.\n"
           u"Exit: 0 every song of every album is present, 1 a song or album failed or the\n"
           u"album list was given up, 2 usage error or refused address.\n\n" +
           GlobalOptionsHelp();
}

QString singersUsage() {
    QString rows;
    for (std::size_t i = 0; i < jobs::kSingerCategories.size(); ++i) {
        const jobs::SingerCategory& c = jobs::kSingerCategories[i];
        if (c.separator)
            continue;
        rows += QStringLiteral("  %1  %2  %3\n")
                    .arg(i, 2)
                    .arg(c.path.isEmpty() ? QStringLiteral("(all)") : c.path.mid(1).toString(),
                         c.text.toString());
    }
    return u"usage: orvana-dl-cli singers [OPTIONS] [ROW] [--download all|I,J,...]\n\n"
           u"Prints the singers of category ROW (a row index or a path, default 0), one line\n"
           u"each: INDEX<TAB>ID<TAB>NAME. With --download, downloads every album of the singers\n"
           u"at the given indexes (or all), in list order.\n"
           u"Exit: 0 done (and every chosen singer complete), 1 the list could not be had or a\n"
           u"download failed, 2 usage error or separator row.\n\nrows:\n" +
           rows + u'\n' + GlobalOptionsHelp();
}

// A row index 0-14, or a category path with or without its leading "/". nullopt: unknown.
std::optional<int> categoryRow(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok && text.at(0).isDigit())
        return n >= 0 && n < int(jobs::kSingerCategories.size()) ? std::optional(n) : std::nullopt;
    const QString path = text.startsWith(u'/') ? text : u'/' + text;
    for (std::size_t i = 0; i < jobs::kSingerCategories.size(); ++i) {
        const jobs::SingerCategory& c = jobs::kSingerCategories[i];
        if (!c.separator && !c.path.isEmpty() && c.path == path)
            return int(i);
    }
    return std::nullopt;
}

// The chosen indexes of --download, in any order; nullopt for "all".
std::optional<QSet<int>> downloadChoice(const QString& text) {
    if (text == u"all")
        return std::nullopt;
    QSet<int> chosen;
    for (const QString& part : text.split(u',')) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n < 0)
            throw Error(ErrorKind::InvalidArgument,
                        u"--download takes all or indexes such as 0,2,5, not: " + text);
        chosen.insert(n);
    }
    return chosen;
}

} // namespace

int RunSinger(const QStringList& args, const CliIo& io) {
    auto prepared = PrepareAddressJob(args, jobs::AddressKind::Singer, QStringLiteral("singer"),
                                      singerUsage(), io);
    if (const int* code = std::get_if<int>(&prepared))
        return *code;
    AddressJob& job = std::get<AddressJob>(prepared);

    DownloadOutput out(io, job.options);
    const jobs::SingerSummary summary =
        jobs::DownSinger(job.id, *job.setup.transport, out.host(), job.setup.settings);
    if (summary.outcome == jobs::JobOutcome::NotStarted)
        return out.end(kExitUsage); // the proxy text was refused; its message is out already
    reportSinger(out, job.id, summary);
    out.status(jobs::UserText(jobs::kSingerDone));
    out.summary(summary.tally(), summary.folder);
    return out.end(summary.complete() ? kExitOk : kExitFailed);
}

namespace {

// What `singers` was asked for, once its arguments are read and checked.
struct SingersRequest {
    GlobalOptions options;
    int row = 0;
    bool download = false;
    std::optional<QSet<int>> chosen; // --download's indexes; nullopt: all
};

// Reads the arguments of `singers`: the request, or the exit code when there is nothing to run
// (help, version, a separator row). Fails with Error(InvalidArgument) for a usage error.
std::variant<SingersRequest, int> readSingersArgs(const QStringList& args, const CliIo& io) {
    const QString usageLine = QStringLiteral("usage: orvana-dl-cli singers [OPTIONS] [ROW] "
                                             "[--download all|I,J,...]");
    const QCommandLineOption downloadOption(QStringLiteral("download"), QString(),
                                            QStringLiteral("WHICH"));
    const CommandArgs given = ParseCommandArgs(args, Globals::Taken, {downloadOption}, usageLine);
    if (const auto code = AnswerHelpOrVersion(given.global, singersUsage(), io))
        return *code;
    SingersRequest request;
    request.options = given.global;
    request.download = given.values.contains(QStringLiteral("download"));
    const QStringList& positional = given.positional;
    if (positional.size() > 1)
        throw Error(ErrorKind::InvalidArgument, usageLine);
    if (request.download)
        request.chosen = downloadChoice(given.values.value(QStringLiteral("download")));
    else
        request.options.archive.reset(); // a listing stores nothing: no archive to make

    const QString rowText = positional.isEmpty() ? QStringLiteral("0") : positional.first();
    const std::optional<int> row = rowText.isEmpty() ? std::nullopt : categoryRow(rowText);
    if (!row)
        throw Error(ErrorKind::InvalidArgument,
                    u"unknown category: " + rowText + u" (see singers --help)");
    if (jobs::IsSeparatorRow(*row)) {
        io.printErr(jobs::UserText(jobs::kChooseValidCategory) + u'\n');
        return kExitUsage;
    }
    request.row = *row;
    CheckGlobalOptions(request.options);
    return request;
}

// The singer download of the chosen rows of lists, once the list is printed.
int downloadChosen(const SingersRequest& request, JobSetup& setup, const jobs::SingerLists& lists,
                   DownloadOutput& out, const CliIo& io) {
    HintLoginBeforeDownload(setup, request.options, io);
    const std::optional<QSet<int>>& chosen = request.chosen;
    for (int i : chosen.value_or(QSet<int>())) {
        if (i >= lists.size()) {
            io.printErr(QStringLiteral("--download: no singer at index %1 (the list has %2)\n")
                            .arg(i)
                            .arg(lists.size()));
            return out.end(kExitUsage);
        }
    }
    if (!request.options.dryRun && !MakeOutputFolder(setup.settings.outputRoot, io))
        return out.end(kExitFailed);
    const jobs::TickedRunSummary run = jobs::DownloadTickedSingers(
        jobs::RowsOf(lists, [&chosen](int i) { return !chosen || chosen->contains(i); }),
        *setup.transport, out.host(), setup.settings, {},
        [&out](const QString& id, const jobs::SingerSummary& s) { reportSinger(out, id, s); });
    if (run.outcome() == jobs::JobOutcome::NotStarted)
        return out.end(kExitUsage); // the proxy text was refused; its message is out already
    out.summary(run.tally(), setup.settings.outputRoot);
    return out.end(run.complete() ? kExitOk : kExitFailed);
}

} // namespace

int RunSingers(const QStringList& args, const CliIo& io) {
    auto read = readSingersArgs(args, io);
    if (const int* code = std::get_if<int>(&read))
        return *code;
    const SingersRequest& request = std::get<SingersRequest>(read);
    const QString portalHost = PortalHostOf(request.options);
    // The folder is made only for a download whose rows all exist: a listing or a refused
    // index leaves no folder behind (a new archive, opened before anything is fetched, stays).
    std::optional<JobSetup> setup =
        SetUpJob(request.options, portalHost, io, OutputFolder::MakeLater);
    if (!setup)
        return kExitFailed;

    DownloadOutput out(io, request.options);
    // A proxy that cannot be read refuses the run before the list is even fetched.
    if (request.download && !jobs::ApplyJobProxy(*setup->transport, out.host(), setup->settings))
        return out.end(kExitUsage);
    jobs::SingerLists lists;
    try {
        lists = jobs::GetSingers(*setup->transport, portalHost, request.row);
    } catch (const Error& e) {
        const QString text = u"无法获取歌手列表: " + e.message();
        out.host().jobError({{}, {}, text});
        out.line(text);
        return out.end(kExitFailed);
    }
    for (int i = 0; i < lists.size(); ++i)
        out.singerListed(i, lists.ids.at(i), lists.names.at(i));
    out.status(jobs::SingerCountText(lists.size()));
    if (!request.download)
        return out.end(kExitOk);
    return downloadChosen(request, *setup, lists, out, io);
}

} // namespace orvana::cli
