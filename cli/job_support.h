#pragma once

#include "cli/cli.h"
#include "cli/options.h"
#include "jobs/address_check.h"
#include "jobs/down_album.h"
#include "jobs/job_host.h"
#include "net/mod_down_file.h"

#include <QElapsedTimer>
#include <memory>
#include <optional>
#include <variant>

namespace orvana::cli {

// Refuses, with Error(InvalidArgument), what cannot be used before anything is created or
// fetched: an empty output folder, a portal host that is not HOST[:PORT], a cookie file that
// cannot be read, a proxy text that cannot be read (message kInvalidProxy), a --parallel that
// ParallelOf refuses. The archive is checked when SetUpJob opens it (DownloadArchive::Open).
void CheckGlobalOptions(const GlobalOptions& options);

// path made absolute against the current folder; the empty text stays empty.
[[nodiscard]] QString AbsolutePath(const QString& path);

// Whether a run downloads or only plans (--dry-run): the counts it closes with differ.
enum class RunKind { Download, DryRun };

// Status lines and messages as stderr lines; when stderr is a terminal also a bar (bytes, rate)
// for the song in flight. Used by every download command.
class CliJobHost : public jobs::JobHost {
public:
    enum class Verbosity { Normal, Quiet }; // Quiet: no status lines, no bar
    explicit CliJobHost(const CliIo& io, Verbosity verbosity = Verbosity::Normal,
                        RunKind kind = RunKind::Download);
    ~CliJobHost() override;

    void setStatus(const QString& text) override;
    void showMessage(const QString& text) override { line(text); }
    void songProgress(const jobs::SongRef& song, qint64 received, qint64 total) override;
    // A warning is a line as soon as it comes, whatever the verbosity.
    void warning(const QString& text) override { line(text); }

    // One stderr line, shown whatever the verbosity (failures); clears the bar first.
    void line(const QString& text);
    // A status line of the command itself (the completion text); not shown when quiet.
    void status(const QString& text) { setStatus(text); }
    // The closing line of a download command: songs stored (a dry run: planned), present and
    // failed, bytes, seconds (the time since the host was made), and the folder. Always shown.
    void summary(const jobs::Tally& songs, const QString& folder, double seconds);
    // Seconds since the host was made.
    [[nodiscard]] double seconds() const { return m_started.elapsed() / 1000.0; }

private:
    void clearBar();

    const CliIo& m_io;
    bool m_quiet;
    bool m_terminal;
    RunKind m_kind;
    QElapsedTimer m_started;
    bool m_barShown = false;
    QElapsedTimer m_timer;
    qint64 m_lastDraw = -1;
};

// A dry run's stdout without --json: "planned PATH" for a song that would be fetched, "present
// PATH" for one on disk or in the archive, as each is planned. Absolute paths.
class PlanLinesHost : public jobs::ForwardingHost {
public:
    PlanLinesHost(const CliIo& io, jobs::JobHost& inner) : jobs::ForwardingHost(inner), m_io(io) {}
    void songFinished(const jobs::SongEvent& song) override;

private:
    const CliIo& m_io;
};

class JsonLinesHost;

// What a download command writes: the human lines on stderr, and on stdout the events as JSON
// lines (--json) or a dry run's planned files. Made once the command's options are read.
class DownloadOutput {
public:
    DownloadOutput(const CliIo& io, const GlobalOptions& options);
    ~DownloadOutput();
    DownloadOutput(const DownloadOutput&) = delete;
    DownloadOutput& operator=(const DownloadOutput&) = delete;

    // The host the jobs report to.
    [[nodiscard]] jobs::JobHost& host();
    // A failure line on stderr; a status line of the command (not shown when quiet).
    void line(const QString& text) { m_human.line(text); }
    void status(const QString& text) { m_human.status(text); }
    // One row of a singer list: "INDEX<TAB>ID<TAB>NAME", or its JSON event.
    void singerListed(int index, const QString& id, const QString& name);
    // The closing summary line on stderr; its counts are those end() reports.
    void summary(const jobs::Tally& songs, const QString& folder);
    // Ends the run with exit code: with --json the summary event, always the last line.
    // Returns code.
    [[nodiscard]] int end(int code);

private:
    const CliIo& m_io;
    CliJobHost m_human;
    std::unique_ptr<JsonLinesHost> m_json;
    std::unique_ptr<PlanLinesHost> m_plan;
    jobs::Tally m_songs;
    std::optional<double> m_seconds;
};

// The transport and settings a download command runs its jobs with.
struct JobSetup {
    std::unique_ptr<net::ModDownFile> transport;
    jobs::JobSettings settings;
};

// When SetUpJob makes the output folder: at once, or later through MakeOutputFolder (a command
// that may still refuse the run, or only lists, then creates nothing).
enum class OutputFolder { MakeNow, MakeLater };

// Makes the transport (with the cookie file), the download options and the archive (read-only
// in a dry run, which writes nothing) from the global options, and then the output folder as
// when says (never in a dry run); nullopt, with the reason printed, when the cookies or the
// folder cannot be had. An archive that cannot be used fails with orvana::Error
// (InvalidArgument, naming the file and why) before the folder is made.
[[nodiscard]] std::optional<JobSetup> SetUpJob(const GlobalOptions& options,
                                               const QString& portalHost, const CliIo& io,
                                               OutputFolder when = OutputFolder::MakeNow);

// Makes root (with its parents) and checks that it can be written in; false, with the reason
// printed, when not.
[[nodiscard]] bool MakeOutputFolder(const QString& root, const CliIo& io);

// Before a download: prints the login hint on stderr when the cookies hold no unexpired portal
// login, since the portal then serves only 128 kbps files. The download goes on either way.
// Nothing under --quiet.
void HintLoginBeforeDownload(const JobSetup& setup, const GlobalOptions& options, const CliIo& io);

// Prints the command's usage for --help or the version for --version and gives the exit code;
// nullopt when neither was asked for.
[[nodiscard]] std::optional<int> AnswerHelpOrVersion(const GlobalOptions& options,
                                                     const QString& usage, const CliIo& io);

// A command that downloads what one portal address names: the checked ID and its job setup.
struct AddressJob {
    QString id;
    JobSetup setup;
    GlobalOptions options;
};

// Reads "[OPTIONS] ADDRESS" for the named command: answers --help/--version, checks the address
// (refused: "无法识别的地址", exit 2) and sets the job up. Gives the job, or the exit code to
// return when there is nothing to run.
[[nodiscard]] std::variant<AddressJob, int>
PrepareAddressJob(const QStringList& args, jobs::AddressKind kind, const QString& command,
                  const QString& usage, const CliIo& io);

} // namespace orvana::cli
