#include "cli/job_support.h"

#include "cli/json_lines_host.h"
#include "jobs/album_folder.h"
#include "jobs/download_archive.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "net/cookie_store.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvana::cli {

void CheckGlobalOptions(const GlobalOptions& options) {
    if (options.output && options.output->isEmpty())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("option -o/--output needs a folder, not an empty text"));
    (void)PortalHostOf(options);
    if (options.cookies) {
        // A user who names a cookie file expects a login; going on without one would fetch
        // low bit-rate files that later runs then keep as present.
        QFile file(*options.cookies);
        if (QFileInfo(*options.cookies).isDir() || !file.open(QIODevice::ReadOnly))
            throw Error(ErrorKind::InvalidArgument,
                        u"cannot read cookie file " + *options.cookies + u": " +
                            (QFileInfo(*options.cookies).isDir() ? QStringLiteral("it is a folder")
                                                                 : file.errorString()));
    }
    if (options.proxy && !net::ParseProxyText(*options.proxy))
        throw Error(ErrorKind::InvalidArgument, jobs::UserText(jobs::kInvalidProxy));
    (void)ParallelOf(options);
}

QString AbsolutePath(const QString& path) {
    return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

CliJobHost::CliJobHost(const CliIo& io, Verbosity verbosity, RunKind kind)
    : m_io(io), m_quiet(verbosity == Verbosity::Quiet),
      m_terminal(verbosity == Verbosity::Normal && IsTerminal(io.err)), m_kind(kind) {
    m_started.start();
}

void CliJobHost::setStatus(const QString& text) {
    if (!m_quiet)
        line(text);
}

void CliJobHost::summary(const jobs::Tally& songs, const QString& folder, double seconds) {
    const bool planned = m_kind == RunKind::DryRun;
    line(QStringLiteral("%1 %2 首, 已存在 %3 首, 失败 %4 首, %5 字节, 用时 %6 秒, 文件夹: %7")
             .arg(planned ? QStringLiteral("计划") : QStringLiteral("已保存"))
             .arg(planned ? songs.planned : songs.stored)
             .arg(songs.present)
             .arg(songs.failed)
             .arg(songs.bytes)
             .arg(QString::number(seconds, 'f', 1),
                  folder.isEmpty() ? QStringLiteral("(无)") : QDir::toNativeSeparators(folder)));
}

CliJobHost::~CliJobHost() {
    clearBar();
}

void CliJobHost::songProgress(const jobs::SongRef&, qint64 received, qint64 total) {
    if (!m_terminal)
        return;
    const qint64 ms = m_timer.elapsed();
    if (m_lastDraw >= 0 && ms - m_lastDraw < 100 && received != total)
        return;
    m_lastDraw = ms;
    const double mib = 1024.0 * 1024.0;
    const double rate = ms > 0 ? received / mib / (ms / 1000.0) : 0.0;
    QString bar;
    if (total > 0) {
        const int filled = int(30 * received / total);
        bar = u'[' + QString(filled, u'#') + QString(30 - filled, u'-') + u"] " +
              QString::number(received / mib, 'f', 1) + u'/' +
              QString::number(total / mib, 'f', 1) + u" MiB";
    } else {
        bar = QString::number(received / mib, 'f', 1) + u" MiB";
    }
    m_io.printErr(u"\r  " + bar + u"  " + QString::number(rate, 'f', 1) + u" MiB/s\x1b[K");
    m_barShown = true;
}

void CliJobHost::line(const QString& text) {
    clearBar();
    m_io.printErr(text + u'\n');
    // Every attempt at a song begins with a status line: the rate counts from there.
    m_timer.start();
    m_lastDraw = -1;
}

void CliJobHost::clearBar() {
    if (m_barShown)
        m_io.printErr(QStringLiteral("\r\x1b[K"));
    m_barShown = false;
}

void PlanLinesHost::songFinished(const jobs::SongEvent& song) {
    jobs::ForwardingHost::songFinished(song);
    QString word;
    if (song.state == jobs::SongState::Planned)
        word = QStringLiteral("planned ");
    else if (song.state == jobs::SongState::Present || song.state == jobs::SongState::Archived)
        word = QStringLiteral("present ");
    else
        return; // a failure has its line on stderr at the album's end
    m_io.print(word + QDir::toNativeSeparators(AbsolutePath(song.path)) + u'\n');
    FlushDevice(m_io.out);
}

DownloadOutput::DownloadOutput(const CliIo& io, const GlobalOptions& options)
    : m_io(io),
      m_human(io, options.quiet ? CliJobHost::Verbosity::Quiet : CliJobHost::Verbosity::Normal,
              options.dryRun ? RunKind::DryRun : RunKind::Download) {
    if (options.json)
        m_json = std::make_unique<JsonLinesHost>(
            io.out, m_human, options.dryRun ? RunKind::DryRun : RunKind::Download);
    else if (options.dryRun)
        m_plan = std::make_unique<PlanLinesHost>(io, m_human);
}

DownloadOutput::~DownloadOutput() = default;

jobs::JobHost& DownloadOutput::host() {
    if (m_json)
        return *m_json;
    if (m_plan)
        return *m_plan;
    return m_human;
}

void DownloadOutput::singerListed(int index, const QString& id, const QString& name) {
    if (m_json)
        return m_json->singerListed(index, id, name);
    // Tabs and line breaks in a name would break the line.
    QString field = name;
    for (QChar& c : field) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    m_io.print(QString::number(index) + u'\t' + id + u'\t' + field + u'\n');
}

void DownloadOutput::summary(const jobs::Tally& songs, const QString& folder) {
    m_songs = songs;
    m_seconds = m_human.seconds();
    m_human.summary(songs, folder, *m_seconds);
}

int DownloadOutput::end(int code) {
    if (m_json)
        m_json->summary(m_songs, m_seconds.value_or(m_human.seconds()), code);
    return code;
}

bool MakeOutputFolder(const QString& root, const CliIo& io) {
    if (const std::optional<QString> error = jobs::MakeFolders(root)) {
        io.printErr(*error + u'\n');
        return false;
    }
    if (::access(QFile::encodeName(root).constData(), W_OK | X_OK) != 0) {
        io.printErr(u"cannot write in folder " + root + u": " +
                    QString::fromLocal8Bit(std::strerror(errno)) + u'\n');
        return false;
    }
    return true;
}

std::optional<JobSetup> SetUpJob(const GlobalOptions& options, const QString& portalHost,
                                 const CliIo& io, OutputFolder when) {
    // Read before the output folder is made: an unreadable cookie file refuses the run, and a
    // refusal leaves nothing behind.
    const auto cookies =
        net::CookieStore::Load(options.cookies.value_or(net::CookieStore::DefaultPath()));
    const QString root = QDir::cleanPath(options.output.value_or(QDir::currentPath()));
    JobSetup setup;
    setup.transport =
        std::make_unique<net::ModDownFile>(std::make_shared<net::TransportSession>(cookies));
    setup.settings.portalHost = portalHost;
    setup.settings.outputRoot = root;
    setup.settings.proxy = {options.proxy.has_value(), options.proxy.value_or(QString())};
    setup.settings.clock = io.clock;
    setup.settings.download.dryRun = options.dryRun;
    setup.settings.download.tags = options.tags;
    setup.settings.download.playlist = options.playlist;
    setup.settings.download.parallel = ParallelOf(options);
    if (options.archive)
        setup.settings.download.archive = jobs::DownloadArchive::Open(
            *options.archive, options.dryRun ? jobs::DownloadArchive::Mode::ReadOnly
                                             : jobs::DownloadArchive::Mode::ReadWrite);
    if (when == OutputFolder::MakeNow && !options.dryRun && !MakeOutputFolder(root, io))
        return std::nullopt;
    return setup;
}

void HintLoginBeforeDownload(const JobSetup& setup, const GlobalOptions& options, const CliIo& io) {
    if (!options.quiet &&
        !jobs::HoldsPortalLogin(*setup.transport->session()->cookies(), setup.settings.portalHost))
        io.printErr(jobs::UserText(jobs::kLoginHint) + u'\n');
}

std::optional<int> AnswerHelpOrVersion(const GlobalOptions& options, const QString& usage,
                                       const CliIo& io) {
    if (options.help) {
        io.print(usage);
        return kExitOk;
    }
    if (options.version) {
        io.print(VersionText() + u'\n');
        return kExitOk;
    }
    return std::nullopt;
}

std::variant<AddressJob, int> PrepareAddressJob(const QStringList& args, jobs::AddressKind kind,
                                                const QString& command, const QString& usage,
                                                const CliIo& io) {
    const QString usageLine = u"usage: orvana-dl-cli " + command + u" [OPTIONS] ADDRESS";
    const CommandArgs given = ParseCommandArgs(args, Globals::Taken, {}, usageLine);
    const GlobalOptions& options = given.global;
    if (const auto code = AnswerHelpOrVersion(options, usage, io))
        return *code;
    const QStringList& rest = given.positional;
    if (rest.size() != 1)
        throw Error(ErrorKind::InvalidArgument, usageLine);
    // Every refusal comes before anything is created.
    CheckGlobalOptions(options);

    const QString portalHost = PortalHostOf(options);
    std::optional<QString> id = jobs::CheckAddress(rest.first(), portalHost, kind);
    if (!id) {
        io.printErr(jobs::UserText(jobs::kUnrecognisedAddress) + u'\n');
        return kExitUsage;
    }
    std::optional<JobSetup> setup = SetUpJob(options, portalHost, io);
    if (!setup)
        return kExitFailed;
    HintLoginBeforeDownload(*setup, options, io);
    return AddressJob{std::move(*id), std::move(*setup), options};
}

} // namespace orvana::cli
