#pragma once

#include "tools/portal-sim/catalogue.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvana::portal {

// The portal's endpoints, as far as faults are concerned.
enum class Endpoint {
    AlbumPage,    // GET /album/ID
    Cover,        // GET /cover/ID.jpg (also reached as //cover/ID.jpg)
    SongList,     // POST /data/music/songlist?hotbar=1&moduleName=album
    DownloadPage, // GET /song/ID/download
    SongFile,     // GET /file/ID/128.mp3 or /file/ID/320.mp3
    SingerPage,   // GET /artist/ID
    AlbumList,    // GET /data/user/getalbums?start=N&vesk_uid=ID&order=hot
    ArtistIndex,  // GET /artist and /artist/<category>
};

enum class Fault {
    Status500,       // "500 Internal Server Error"
    Status503,       // 503 with "Retry-After: 1"
    Status429,       // 429 with "Retry-After: 1"
    Refuse,          // album list: a page without the valid-page mark
    EmptyBody,       // song file: 200 with no body
    OneByteBody,     // song file: 200 with one byte
    DropMidBody,     // song file or cover: the connection is closed after half the announced body
    StallMidBody,    // song file or cover: half the body, nothing for the stall time, the rest
    OmitFileLink,    // download page without the file link marker
    MalformedJson,   // song list or album list: text that does not parse
    SpacedErrorCode, // album list: the whole page, but written `"errorCode": 22000` (a space)
    EncodedBody,     // song file: a body sent with "Content-Encoding: gzip" that nobody asked for
    NotMpeg,         // song file: plain text as long as the song, not one MPEG frame in it
    HangMidBody,     // song file or cover: half the body, then nothing until release() or stop()
    Hold             // any endpoint: the request is logged, then its whole answer waits until
                     // release() (then it is the normal answer) or stop() (then a 503)
};
// A hung or held answer stays in flight, and keeps its worker, until release() or stop(), even
// when its client has gone.

// The servers whose load is measured: the portal's port and the file host's.
enum class Site { Portal, FileHost };

// Connections and requests open now, and the most of each at one time since start or the last
// resetPeaks(). A request counts from when it has been read (latency, holds and hangs
// included) until just before the last piece of its answer goes out, so a client that has a
// whole answer never finds it still counted. A connection counts from its accept until the
// answer that closes it ("Connection: close") or, for one kept alive, until the portal sees it
// closed: a client that drops a kept-alive connection and opens another at once may be seen
// one over for a moment. So peakRequests is the exact reading of a cap on parallel transfers.
struct SiteLoad {
    int connections = 0;
    int requests = 0;
    int peakConnections = 0;
    int peakRequests = 0;
};

struct PortalOptions {
    std::size_t songBytes = 64 * 1024;
    std::chrono::milliseconds stall{30000};
    // A distant portal: every answer starts this late, and every body is paced to this many
    // bytes a second (0: as fast as the connection goes). Answers on one connection come one
    // after another, so the rate is per connection.
    std::chrono::milliseconds latency{0};
    std::size_t rateBytesPerSecond = 0;
};

// One request as the portal saw it.
struct LoggedRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // raw, as sent
    std::string body;
    std::multimap<std::string, std::string> headers; // names as sent
    int port = 0; // where it came in: the portal's port or the file host's

    // First value of a header (case-insensitive name), or "" when absent.
    [[nodiscard]] std::string header(const std::string& name) const;
};

// A stand-in for the music portal: a real HTTP server on 127.0.0.1 (never another address),
// serving the catalogue with the page shapes the jobs read. Start/stop from one thread; the
// fault, log, load and release calls are thread-safe. Stopping ends stalls, hangs and holds at
// once. The portal and the file host each serve up to 32 connections at a time (a held or hung
// answer keeps its worker); further ones are accepted and wait.
class PortalSim {
public:
    explicit PortalSim(Catalogue catalogue = DemoCatalogue(), PortalOptions options = {});
    ~PortalSim();
    PortalSim(const PortalSim&) = delete;
    PortalSim& operator=(const PortalSim&) = delete;

    // Binds 127.0.0.1:port (0 = any free port) and serves in a thread of its own. Returns the
    // bound port; throws std::runtime_error when the port cannot be bound.
    int start(int port = 0);
    // The front page, the login window's start page, on a port of its own (0 = any free port),
    // served as start() serves: "/" shows the login form (or the logged-in page), POST "/login"
    // checks the account and sets the login cookie, "/logout" removes it. The cookie is
    // host-only on 127.0.0.1, so it reaches the portal's port too. Throws as start() does.
    int startFront(int port = 0);
    // A file host on a port of its own (0 = any free port), as a portal keeps its songs on
    // another host: from then on download pages link the song files there. It serves
    // /file/ID/128.mp3 and /file/ID/320.mp3 as the portal does (faults, latency, rate, log);
    // the portal's own /file/ addresses keep working. Throws as start() does.
    int startFileHost(int port = 0);
    // Stops every server.
    void stop();

    [[nodiscard]] int port() const { return m_port; }
    // "127.0.0.1:PORT", the host value a client puts in its portal base.
    [[nodiscard]] std::string host() const;
    [[nodiscard]] int frontPort() const { return m_frontPort; }
    // "127.0.0.1:PORT" of the front page.
    [[nodiscard]] std::string frontHost() const;
    // 0 until startFileHost().
    [[nodiscard]] int fileHostPort() const;

    // An account the front page accepts besides the demo account.
    void addAccount(const std::string& user, const std::string& password);
    static constexpr const char* kDemoUser = "demo";
    static constexpr const char* kDemoPassword = "orvana320";
    [[nodiscard]] const Catalogue& catalogue() const { return m_catalogue; }
    [[nodiscard]] const PortalOptions& options() const { return m_options; }

    // The next `count` requests to `endpoint` meet `fault` (count < 0: every request). Faults of
    // one endpoint are used up in the order they were added. With an `id`, only requests for it
    // meet the fault, the others pass it by: the album ID of an album page, cover or song list,
    // the song ID of a download page or song file, the singer ID of a singer page or album list,
    // the path of an artist index ("/artist", "/artist/cn/male").
    void addFault(Endpoint endpoint, Fault fault, int count = 1, const std::string& id = {});
    void clearFaults();
    // Lets every answer held or hung so far go on; later ones wait for the next release, so wait
    // for holdsBegun() or stallsBegun() before releasing.
    void release();

    // A session value as the login page would set it; with it the download pages offer 320 kbps.
    std::string issueSession(const std::string& user);
    static constexpr const char* kSessionCookie = "orvana_session";

    // Every request to the portal's port and to the file host, in the order they came (the front
    // page's are not logged).
    [[nodiscard]] std::vector<LoggedRequest> requests() const;
    // Requests whose path starts with `prefix`.
    [[nodiscard]] std::vector<LoggedRequest> requests(const std::string& prefix) const;
    void clearRequests();
    // How many stalls and hangs have begun so far (the transfer is mid-body from then on).
    [[nodiscard]] int stallsBegun() const;
    // How many held answers have begun waiting so far.
    [[nodiscard]] int holdsBegun() const;

    [[nodiscard]] SiteLoad load(Site site = Site::Portal) const;
    // Peaks start again from the connections and requests open now.
    void resetPeaks();

private:
    struct Impl;
    Catalogue m_catalogue;
    PortalOptions m_options;
    int m_port = 0;
    int m_frontPort = 0;
    std::unique_ptr<Impl> m_impl;
};

// Parses "song-file", "album-list" ... and "500", "stall" ... as the command line writes them.
[[nodiscard]] std::optional<Endpoint> EndpointFromName(const std::string& name);
[[nodiscard]] std::optional<Fault> FaultFromName(const std::string& name);

} // namespace orvana::portal
