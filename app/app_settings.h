#pragma once

#include <QString>

class QSettings;

namespace orvana::app {

// The one place that decides where the window's jobs talk to and write. Each reads its
// environment variable first, then the setting, then the build default. Window thread.

// ORVANA_PORTAL_HOST, else setting "portal/host", else the build's portal host.
[[nodiscard]] QString PortalHost(const QSettings& settings);

// ORVANA_FRONT_HOST, else setting "portal/frontHost", else "www." + the portal host's name
// (its port kept). The login window opens this host.
[[nodiscard]] QString FrontHost(const QSettings& settings);

// ORVANA_OUTPUT, else setting "download/folder", else the user's music folder + "/Orvana".
// Not created here: the window makes it when a job starts.
[[nodiscard]] QString DownloadFolder(const QSettings& settings);

// The download options the settings file may turn on; the window has no control for them.
// "download/tags" and "download/m3u" (true/false), "download/archive" (true: the download
// archive at DownloadArchive::DefaultPath()), "download/parallel" (songs at a time, 1 to 4;
// anything else counts as 1). All off by default.
struct DownloadPreferences {
    bool tags = false;
    bool playlist = false;
    bool archive = false;
    int parallel = 1;
};
[[nodiscard]] DownloadPreferences LoadDownloadPreferences(const QSettings& settings);

// What the window remembers between runs; a fresh profile gives the defaults the window shows.
struct RememberedInputs {
    bool proxyEnabled = false;
    QString proxyText;
    QString singerAddress;
    QString albumAddress;
};

// The first-run contents of the inputs for this portal host: proxy not ticked, "127.0.0.1:8081",
// portal base + "/artist/18104396" and portal base + "/album/31258219".
[[nodiscard]] RememberedInputs DefaultInputs(const QString& portalHost);

// Reads the remembered inputs; missing keys keep the defaults' values, and so does an address
// on a host other than portalHost.
[[nodiscard]] RememberedInputs LoadInputs(const QSettings& settings, const QString& portalHost);
void SaveInputs(QSettings& settings, const RememberedInputs& inputs);

} // namespace orvana::app
