#include "cli/job_support.h"

#include "jobs/album_folder.h"
#include "jobs/portal.h"
#include "jobs/user_texts.h"
#include "net/cookie_store.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvana::cli {

namespace {

bool isTerminal(QIODevice* device) {
    auto* file = qobject_cast<QFile*>(device);
    return file && file->handle() >= 0 && isatty(file->handle());
}

} // namespace

CliJobHost::CliJobHost(const CliIo& io, Verbosity verbosity)
    : m_io(io), m_quiet(verbosity == Verbosity::Quiet),
      m_terminal(verbosity == Verbosity::Normal && isTerminal(io.err)) {
    m_started.start();
}

void CliJobHost::setStatus(const QString& text) {
    if (!m_quiet)
        line(text);
}

void CliJobHost::summary(const jobs::Tally& songs, const QString& folder) {
    line(QStringLiteral("已保存 %1 首, 已存在 %2 首, 失败 %3 首, %4 字节, 用时 %5 秒, 文件夹: %6")
             .arg(songs.stored)
             .arg(songs.present)
             .arg(songs.failed)
             .arg(songs.bytes)
             .arg(QString::number(m_started.elapsed() / 1000.0, 'f', 1),
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
    if (when == OutputFolder::MakeNow && !MakeOutputFolder(root, io))
        return std::nullopt;
    JobSetup setup;
    setup.transport =
        std::make_unique<net::ModDownFile>(std::make_shared<net::TransportSession>(cookies));
    setup.settings.portalHost = portalHost;
    setup.settings.outputRoot = root;
    setup.settings.proxy = {options.proxy.has_value(), options.proxy.value_or(QString())};
    setup.settings.clock = io.clock;
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
    return AddressJob{std::move(*id), std::move(*setup),
                      options.quiet ? CliJobHost::Verbosity::Quiet : CliJobHost::Verbosity::Normal};
}

} // namespace orvana::cli
