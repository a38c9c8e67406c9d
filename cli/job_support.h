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

// Status lines and messages as stderr lines; when stderr is a terminal also a bar (bytes, rate)
// for the song in flight. Used by every download command.
class CliJobHost : public jobs::JobHost {
public:
    enum class Verbosity { Normal, Quiet }; // Quiet: no status lines, no bar
    explicit CliJobHost(const CliIo& io, Verbosity verbosity = Verbosity::Normal);
    ~CliJobHost() override;

    void setStatus(const QString& text) override;
    void showMessage(const QString& text) override { line(text); }
    void songProgress(const jobs::SongRef& song, qint64 received, qint64 total) override;

    // One stderr line, shown whatever the verbosity (failures); clears the bar first.
    void line(const QString& text);
    // A status line of the command itself (the completion text); not shown when quiet.
    void status(const QString& text) { setStatus(text); }
    // The closing line of a download command: songs stored, present and failed, bytes, the
    // time since the host was made, and the folder. Always shown.
    void summary(const jobs::Tally& songs, const QString& folder);

private:
    void clearBar();

    const CliIo& m_io;
    bool m_quiet;
    bool m_terminal;
    QElapsedTimer m_started;
    bool m_barShown = false;
    QElapsedTimer m_timer;
    qint64 m_lastDraw = -1;
};

// The transport and settings a download command runs its jobs with.
struct JobSetup {
    std::unique_ptr<net::ModDownFile> transport;
    jobs::JobSettings settings;
};

// When SetUpJob makes the output folder: at once, or later through MakeOutputFolder (a command
// that may still refuse the run, or only lists, then creates nothing).
enum class OutputFolder { MakeNow, MakeLater };

// Makes the transport (with the cookie file) from the global options, and the output folder as
// when says; nullopt, with the reason printed, when the cookies or the folder cannot be had.
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
    CliJobHost::Verbosity verbosity = CliJobHost::Verbosity::Normal;
};

// Reads "[OPTIONS] ADDRESS" for the named command: answers --help/--version, checks the address
// (refused: "无法识别的地址", exit 2) and sets the job up. Gives the job, or the exit code to
// return when there is nothing to run.
[[nodiscard]] std::variant<AddressJob, int>
PrepareAddressJob(const QStringList& args, jobs::AddressKind kind, const QString& command,
                  const QString& usage, const CliIo& io);

} // namespace orvana::cli
