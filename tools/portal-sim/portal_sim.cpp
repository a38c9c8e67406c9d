#include "tools/portal-sim/portal_sim.h"

#include "tools/portal-sim/media.h"
#include "tools/portal-sim/pages.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace orvana::portal {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// Paced bodies go in smaller pieces, so they flow as over a real link rather than in bursts.
constexpr std::size_t kPacedChunk = 16 * 1024;

using Clock = std::chrono::steady_clock;
using Request = httplib::Request;
using Response = httplib::Response;
// Appends `length` bytes of a body, starting at `offset`, to the string given.
using BytesAt = std::function<void(std::string&, std::size_t, std::size_t)>;

std::string cookieValue(const Request& req, const std::string& name) {
    for (std::size_t i = 0; i < req.get_header_value_count("Cookie"); ++i) {
        const std::string header = req.get_header_value("Cookie", i);
        std::size_t pos = 0;
        while (pos < header.size()) {
            std::size_t end = header.find(';', pos);
            if (end == std::string::npos)
                end = header.size();
            std::string pair = header.substr(pos, end - pos);
            pair.erase(0, pair.find_first_not_of(' '));
            const std::size_t eq = pair.find('=');
            if (eq != std::string::npos && pair.substr(0, eq) == name)
                return pair.substr(eq + 1);
            pos = end + 1;
        }
    }
    return {};
}

void notFound(Response& res) {
    res.status = 404;
    res.set_content(NotFoundPage(), kHtmlType);
}

// The status faults every endpoint knows; true when the answer is made.
bool answerStatusFault(std::optional<Fault> f, Response& res) {
    if (!f)
        return false;
    switch (*f) {
    case Fault::Status500:
        res.status = 500;
        res.set_content("internal error", "text/plain");
        return true;
    case Fault::Status503:
    case Fault::Status429:
        res.status = *f == Fault::Status503 ? 503 : 429;
        res.set_header("Retry-After", "1");
        res.set_content("try again later", "text/plain");
        return true;
    default:
        return false;
    }
}

// What this worker thread serves (a worker serves one connection of one server at a time):
// whether its connection and its request are still counted, and how the answer ends.
struct Serving {
    bool connection = false;
    std::optional<Site> request;
    bool endsInBody = false; // the last piece of a body provider ends the request
    bool closes = false;     // the connection is closed after this answer
};
thread_local Serving t_serving;

// Runs each connection on a worker of its own pool, counting the connections open.
class CountingQueue : public httplib::TaskQueue {
public:
    CountingQueue(std::function<void(int)> count, std::size_t threads)
        : m_count(std::move(count)), m_pool(threads) {}
    void enqueue(std::function<void()> fn) override {
        m_count(+1);
        m_pool.enqueue([this, fn = std::move(fn)] {
            t_serving = Serving{};
            t_serving.connection = true;
            fn();
            if (t_serving.connection)
                m_count(-1);
            t_serving = Serving{};
        });
    }
    void shutdown() override { m_pool.shutdown(); }

private:
    std::function<void(int)> m_count;
    httplib::ThreadPool m_pool;
};

// Now and the most at one time.
struct Gauge {
    int now = 0;
    int peak = 0;
    void add(int delta) {
        now += delta;
        peak = std::max(peak, now);
    }
};

// Binds 127.0.0.1:port and runs server's loop in thread; returns the bound port.
int serveInThread(httplib::Server& server, std::thread& thread, int port) {
    const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(port));
    auto ended = std::make_shared<std::atomic<bool>>(false);
    thread = std::thread([&server, ended] {
        server.listen_after_bind();
        *ended = true;
    });
    // stop() before the server loop runs would be lost and leave it accepting for ever.
    while (!server.is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!server.is_running()) {
        thread.join();
        throw std::runtime_error("cannot serve on 127.0.0.1:" + std::to_string(bound));
    }
    return bound;
}

// The portal's state and its request handlers; PortalSim is its public face.
class Portal {
public:
    Portal(const PortalSim& owner, const Catalogue& catalogue, const PortalOptions& options)
        : m_owner(owner), m_catalogue(catalogue), m_options(options) {}

    void installPortal();
    void installFront();
    void installFileHost();
    void stop();
    void release();

    std::string issueSession(const std::string& user);
    std::optional<Fault> takeFault(Endpoint endpoint, const std::string& subject);
    void record(const Request& req);

    // One fault waiting for its requests; an empty target matches every request.
    struct PendingFault {
        Fault fault;
        int count;
        std::string target;
    };
    struct Load {
        Gauge connections;
        Gauge requests;
    };

    httplib::Server server;
    std::thread thread;
    httplib::Server front;
    std::thread frontThread;
    httplib::Server files;
    std::thread filesThread;
    std::atomic<int> filePort{0};

    mutable std::mutex mutex;
    int stallsBegun = 0;
    int holdsBegun = 0;
    std::map<Endpoint, std::deque<PendingFault>> faults;
    std::vector<LoggedRequest> log;
    std::map<std::string, std::string> accounts; // user -> password
    Load loads[2];                               // by Site

private:
    using Handler = void (Portal::*)(const Request&, Response&, std::optional<Fault>);
    enum class Logging { Record, Quiet };
    // One route: answered by `handler`, after the faults of `endpoint` (when it has one).
    struct Route {
        const char* method;
        const char* pattern;
        std::optional<Endpoint> endpoint;
        Handler handler;
    };
    static const Route kPortalRoutes[];
    static const Route kFrontRoutes[];
    static const Route kFileHostRoutes[];

    void install(httplib::Server& s, const Route* routes, std::size_t count, Logging logging);
    void dispatch(const Route& route, Logging logging, const Request& req, Response& res);
    void configureSite(httplib::Server& s, Site site);
    // What every server of the simulator is set to, counted or not.
    static void configureServer(httplib::Server& s);
    // Stops a server that serves on `thread`, and joins the thread; nothing when it never ran.
    static void stopServing(httplib::Server& s, std::thread& thread);
    void count(Site site, Gauge Load::*gauge, int delta);
    // Ends the request this worker serves, and its connection when that closes after it.
    void endRequest();

    void portalHome(const Request& req, Response& res, std::optional<Fault>);
    void portalLoginForm(const Request& req, Response& res, std::optional<Fault>);
    void portalLogin(const Request& req, Response& res, std::optional<Fault>);
    void albumPage(const Request& req, Response& res, std::optional<Fault>);
    void cover(const Request& req, Response& res, std::optional<Fault> f);
    void blankGif(const Request& req, Response& res, std::optional<Fault>);
    void songList(const Request& req, Response& res, std::optional<Fault> f);
    void downloadPage(const Request& req, Response& res, std::optional<Fault> f);
    void songFile(const Request& req, Response& res, std::optional<Fault> f);
    void singerPage(const Request& req, Response& res, std::optional<Fault>);
    void albumList(const Request& req, Response& res, std::optional<Fault> f);
    void artistIndex(const Request& req, Response& res, std::optional<Fault>);
    void missing(const Request& req, Response& res, std::optional<Fault>);

    void frontHome(const Request& req, Response& res, std::optional<Fault>);
    void frontLogin(const Request& req, Response& res, std::optional<Fault>);
    void frontLogout(const Request& req, Response& res, std::optional<Fault>);
    void frontMissing(const Request& req, Response& res, std::optional<Fault>);

    void sendBody(Response& res, std::size_t total, const std::string& type,
                  std::optional<Fault> fault, BytesAt bytesAt);
    // What a fault does at the middle of a body: false ends the transfer there. A stall or a
    // hang waits once (`stalled` remembers it).
    bool passMiddle(Fault fault, bool& stalled);
    void paceWholeBody(Response& res);

    std::string hostOf(const Request& req) const;
    bool hasSession(const Request& req) { return !sessionUser(req).empty(); }
    // The user whose login cookie req carries, or "".
    std::string sessionUser(const Request& req);
    // Waits up to `duration`, counting a stall; false when the portal is stopping.
    bool pause(std::chrono::milliseconds duration);
    bool wait(Clock::duration duration);
    // Waits until the next release(), counting a stall or a hold in `begun`; false when the
    // portal is stopping.
    bool waitForRelease(int& begun);
    // Holds a body back until `sent` bytes are due at `rate` bytes a second since `start`.
    bool pace(Clock::time_point start, std::size_t sent, std::size_t rate);

    const PortalSim& m_owner;
    const Catalogue& m_catalogue;
    const PortalOptions& m_options;
    std::condition_variable m_wake;
    bool m_stopping = false;
    int m_releases = 0;
    std::map<std::string, std::string> m_sessions; // value -> user
};

const Portal::Route Portal::kPortalRoutes[] = {
    {"GET", "/", std::nullopt, &Portal::portalHome},
    {"GET", "/login", std::nullopt, &Portal::portalLoginForm},
    {"POST", "/login", std::nullopt, &Portal::portalLogin},
    {"GET", R"(/album/(\d+))", Endpoint::AlbumPage, &Portal::albumPage},
    {"GET", R"(/+cover/(\d+)\.jpg)", Endpoint::Cover, &Portal::cover},
    {"GET", "/images/blank.gif", std::nullopt, &Portal::blankGif},
    {"POST", "/data/music/songlist", Endpoint::SongList, &Portal::songList},
    {"GET", R"(/song/(\d+)/download)", Endpoint::DownloadPage, &Portal::downloadPage},
    {"GET", R"(/file/(\d+)/(128|320)\.mp3)", Endpoint::SongFile, &Portal::songFile},
    {"GET", R"(/artist/(\d+))", Endpoint::SingerPage, &Portal::singerPage},
    {"GET", "/data/user/getalbums", Endpoint::AlbumList, &Portal::albumList},
    {"GET", "/artist", Endpoint::ArtistIndex, &Portal::artistIndex},
    {"GET", R"(/artist/(cn|western|jpkr)/(male|female|group))", Endpoint::ArtistIndex,
     &Portal::artistIndex},
    {"GET", "/artist/other", Endpoint::ArtistIndex, &Portal::artistIndex},
    {"GET", ".*", std::nullopt, &Portal::missing},
    {"POST", ".*", std::nullopt, &Portal::missing},
};

// Song files only, as a host that keeps nothing else.
const Portal::Route Portal::kFileHostRoutes[] = {
    {"GET", R"(/file/(\d+)/(128|320)\.mp3)", Endpoint::SongFile, &Portal::songFile},
    {"GET", ".*", std::nullopt, &Portal::missing},
    {"POST", ".*", std::nullopt, &Portal::missing},
};

const Portal::Route Portal::kFrontRoutes[] = {
    {"GET", "/", std::nullopt, &Portal::frontHome},
    {"POST", "/login", std::nullopt, &Portal::frontLogin},
    {"GET", "/logout", std::nullopt, &Portal::frontLogout},
    {"GET", ".*", std::nullopt, &Portal::frontMissing},
};

void Portal::install(httplib::Server& s, const Route* routes, std::size_t count, Logging logging) {
    for (const Route* route = routes; route != routes + count; ++route) {
        auto handler = [this, route, logging](const Request& req, Response& res) {
            dispatch(*route, logging, req, res);
        };
        if (std::string(route->method) == "POST")
            s.Post(route->pattern, handler);
        else
            s.Get(route->pattern, handler);
    }
}

// What a fault of `endpoint` is aimed at in `req` (see PortalSim::addFault).
std::string subjectOf(Endpoint endpoint, const Request& req) {
    switch (endpoint) {
    case Endpoint::SongList:
        return FormValue(req.body, "id");
    case Endpoint::AlbumList:
        return req.get_param_value("vesk_uid");
    case Endpoint::ArtistIndex:
        return req.path;
    default:
        return req.matches.size() > 1 ? std::string(req.matches[1]) : std::string();
    }
}

void Portal::dispatch(const Route& route, Logging logging, const Request& req, Response& res) {
    if (logging == Logging::Record)
        record(req);
    std::optional<Fault> fault;
    if (route.endpoint) {
        fault = takeFault(*route.endpoint, subjectOf(*route.endpoint, req));
        if (fault == Fault::Hold) {
            if (!waitForRelease(holdsBegun)) {
                res.status = 503;
                res.set_content("the portal is stopping", "text/plain");
                return;
            }
            fault.reset();
        }
        if (answerStatusFault(fault, res))
            return;
    }
    (this->*route.handler)(req, res, fault);
}

void Portal::count(Site site, Gauge Load::*gauge, int delta) {
    std::lock_guard lock(mutex);
    (loads[int(site)].*gauge).add(delta);
}

void Portal::endRequest() {
    if (!t_serving.request)
        return;
    const Site site = *t_serving.request;
    t_serving.request.reset();
    count(site, &Load::requests, -1);
    if (t_serving.closes && t_serving.connection) {
        t_serving.connection = false;
        count(site, &Load::connections, -1);
    }
}

// What the portal's port and the file host share: workers that count connections, requests
// counted in flight, latency and pacing. A request ends just before its answer's last piece
// is written (so a client that has the whole answer never sees it still counted), a connection
// that the answer closes ends with it; otherwise a connection ends when the portal has closed it.
void Portal::configureSite(httplib::Server& s, Site site) {
    configureServer(s);
    s.new_task_queue = [this, site] {
        return new CountingQueue(
            [this, site](int delta) { count(site, &Load::connections, delta); }, 32);
    };
    s.set_pre_routing_handler([this, site](const Request&, Response&) {
        t_serving.request = site;
        t_serving.endsInBody = false;
        count(site, &Load::requests, +1);
        if (m_options.latency.count() > 0)
            (void)wait(m_options.latency);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_post_routing_handler([this](const Request&, Response& res) {
        if (m_options.rateBytesPerSecond > 0)
            paceWholeBody(res);
        t_serving.closes = res.get_header_value("Connection") == "close";
        if (!t_serving.endsInBody)
            endRequest();
    });
    // After the answer is written or has failed; it ends what is still counted.
    s.set_logger([this](const Request&, const Response&) { endRequest(); });
}

void Portal::installPortal() {
    configureSite(server, Site::Portal);
    install(server, kPortalRoutes, std::size(kPortalRoutes), Logging::Record);
}

void Portal::installFileHost() {
    configureSite(files, Site::FileHost);
    install(files, kFileHostRoutes, std::size(kFileHostRoutes), Logging::Record);
}

void Portal::configureServer(httplib::Server& s) {
    s.set_keep_alive_timeout(1);
    // Headers and body go out as separate writes; without this, Nagle and delayed ACKs add
    // 40 ms to every answer on a kept-alive connection.
    s.set_tcp_nodelay(true);
}

void Portal::installFront() {
    configureServer(front);
    install(front, kFrontRoutes, std::size(kFrontRoutes), Logging::Quiet);
}

void Portal::stop() {
    {
        std::lock_guard lock(mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    stopServing(server, thread);
    stopServing(front, frontThread);
    stopServing(files, filesThread);
}

void Portal::stopServing(httplib::Server& s, std::thread& thread) {
    if (thread.joinable()) {
        s.stop();
        thread.join();
    }
}

void Portal::release() {
    {
        std::lock_guard lock(mutex);
        ++m_releases;
    }
    m_wake.notify_all();
}

// Sends `total` bytes made by `bytesAt` as the body, paced to the rate; a drop, stall or hang
// fault acts at the middle of the body.
void Portal::sendBody(Response& res, std::size_t total, const std::string& type,
                      std::optional<Fault> fault, BytesAt bytesAt) {
    const std::size_t half = total / 2;
    const std::size_t rate = m_options.rateBytesPerSecond;
    auto stalled = std::make_shared<bool>(false);
    auto begun = std::make_shared<std::optional<Clock::time_point>>();
    t_serving.endsInBody = true;
    res.set_content_provider(total, type,
                             [this, total, rate, fault, half, stalled, begun, bytesAt](
                                 std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 if (!*begun)
                                     *begun = Clock::now();
                                 std::size_t take =
                                     std::min(length, rate > 0 ? kPacedChunk : kChunk);
                                 if (fault && offset < half)
                                     take = std::min(take, half - offset);
                                 if (fault && offset >= half && !passMiddle(*fault, *stalled))
                                     return false;
                                 std::string chunk;
                                 chunk.reserve(take);
                                 bytesAt(chunk, offset, take);
                                 // A piece leaves when the whole so far is due at the rate.
                                 if (!pace(**begun, offset + take, rate))
                                     return false;
                                 if (offset + take == total)
                                     endRequest();
                                 return sink.write(chunk.data(), chunk.size());
                             });
}

bool Portal::passMiddle(Fault fault, bool& stalled) {
    if (fault == Fault::DropMidBody)
        return false;
    if (stalled || (fault != Fault::StallMidBody && fault != Fault::HangMidBody))
        return true;
    stalled = true;
    return fault == Fault::StallMidBody ? pause(m_options.stall) : waitForRelease(stallsBegun);
}

// Whole answers (pages, lists) are paced too: they become providers of their own body.
void Portal::paceWholeBody(Response& res) {
    if (res.body.empty())
        return;
    auto body = std::make_shared<std::string>(std::move(res.body));
    res.body.clear();
    const std::string type = res.get_header_value("Content-Type");
    res.headers.erase("Content-Type");
    sendBody(res, body->size(), type, std::nullopt,
             [body](std::string& out, std::size_t offset, std::size_t length) {
                 out.append(*body, offset, length);
             });
}

void Portal::record(const Request& req) {
    LoggedRequest r;
    r.method = req.method;
    r.path = req.path;
    const std::size_t q = req.target.find('?');
    if (q != std::string::npos)
        r.query = req.target.substr(q + 1);
    r.body = req.body;
    for (const auto& [key, value] : req.headers)
        r.headers.emplace(key, value);
    r.port = req.local_port;
    std::lock_guard lock(mutex);
    log.push_back(std::move(r));
}

std::optional<Fault> Portal::takeFault(Endpoint endpoint, const std::string& subject) {
    std::lock_guard lock(mutex);
    auto it = faults.find(endpoint);
    if (it == faults.end())
        return std::nullopt;
    std::deque<PendingFault>& pending = it->second;
    const auto match = std::find_if(pending.begin(), pending.end(), [&](const PendingFault& p) {
        return p.target.empty() || p.target == subject;
    });
    if (match == pending.end())
        return std::nullopt;
    const Fault f = match->fault;
    if (match->count > 0 && --match->count == 0)
        pending.erase(match);
    return f;
}

std::string Portal::issueSession(const std::string& user) {
    // Deterministic per user so the demo's cookie file stays valid across restarts.
    std::uint64_t hash = 1469598103934665603ULL;
    for (char c : user) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[20];
    std::snprintf(text, sizeof text, "s%016llx", static_cast<unsigned long long>(hash));
    std::lock_guard lock(mutex);
    m_sessions[text] = user;
    return text;
}

std::string Portal::sessionUser(const Request& req) {
    const std::string value = cookieValue(req, PortalSim::kSessionCookie);
    std::lock_guard lock(mutex);
    const auto it = m_sessions.find(value);
    return value.empty() || it == m_sessions.end() ? std::string() : it->second;
}

std::string Portal::hostOf(const Request& req) const {
    std::string h = req.get_header_value("Host");
    return h.empty() ? m_owner.host() : h;
}

bool Portal::pause(std::chrono::milliseconds duration) {
    {
        std::lock_guard lock(mutex);
        ++stallsBegun;
    }
    return wait(duration);
}

bool Portal::wait(Clock::duration duration) {
    std::unique_lock lock(mutex);
    return !m_wake.wait_for(lock, duration, [this] { return m_stopping; });
}

bool Portal::waitForRelease(int& begun) {
    std::unique_lock lock(mutex);
    ++begun;
    const int releases = m_releases;
    m_wake.wait(lock, [&] { return m_stopping || m_releases != releases; });
    return !m_stopping;
}

bool Portal::pace(Clock::time_point start, std::size_t sent, std::size_t rate) {
    if (rate == 0)
        return true;
    const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(double(sent) / double(rate)));
    const auto now = Clock::now();
    return due <= now || wait(due - now);
}

// The portal's own pages.

void Portal::portalHome(const Request&, Response& res, std::optional<Fault>) {
    res.set_content(SitePage("首页", "<h1>Orvana音乐</h1><p><a href=\"/login\">登录</a></p>"),
                    kHtmlType);
}

void Portal::portalLoginForm(const Request&, Response& res, std::optional<Fault>) {
    res.set_content(SitePage("登录", "<form method=\"post\" action=\"/login\">"
                                     "<input name=\"user\"> <input name=\"password\" "
                                     "type=\"password\"> <button type=\"submit\">登录</button>"
                                     "</form>"),
                    kHtmlType);
}

void Portal::portalLogin(const Request& req, Response& res, std::optional<Fault>) {
    const std::string user = FormValue(req.body, "user");
    if (user.empty()) {
        res.status = 403;
        res.set_content(SitePage("登录", "<p>请输入帐号</p>"), kHtmlType);
        return;
    }
    res.set_header("Set-Cookie",
                   std::string(PortalSim::kSessionCookie) + "=" + issueSession(user) + "; Path=/");
    res.set_redirect("/");
}

void Portal::albumPage(const Request& req, Response& res, std::optional<Fault>) {
    const Album* album = m_catalogue.album(req.matches[1]);
    if (!album)
        return notFound(res);
    res.set_content(AlbumPage(*album, hostOf(req)), kHtmlType);
}

void Portal::cover(const Request& req, Response& res, std::optional<Fault> f) {
    if (!m_catalogue.album(req.matches[1]))
        return notFound(res);
    const std::string bytes = CoverBytes(req.matches[1]);
    sendBody(res, bytes.size(), "image/jpeg", f,
             [bytes](std::string& out, std::size_t off, std::size_t len) {
                 out.append(bytes, off, len);
             });
}

void Portal::blankGif(const Request&, Response& res, std::optional<Fault>) {
    res.set_content(std::string("GIF89a", 6), "image/gif");
}

void Portal::songList(const Request& req, Response& res, std::optional<Fault> f) {
    if (f == Fault::MalformedJson) {
        res.set_content("{\"errorCode\":22000,\"data\":{\"html\":\"<a href=\\\"\\/song\\/1",
                        kJsonType);
        return;
    }
    res.set_content(SongListJson(m_catalogue, m_catalogue.album(FormValue(req.body, "id"))),
                    kJsonType);
}

void Portal::downloadPage(const Request& req, Response& res, std::optional<Fault> f) {
    const Song* song = m_catalogue.song(req.matches[1]);
    if (!song)
        return notFound(res);
    std::vector<FileLink> links;
    const int filePortNow = filePort;
    const std::string host = filePortNow ? "127.0.0.1:" + std::to_string(filePortNow) : hostOf(req);
    const std::string base = "http:\\/\\/" + host + "\\/file\\/" + song->id + "\\/";
    links.emplace_back("128kbps", song->fileAddress.empty() ? base + "128.mp3" : song->fileAddress);
    if (song->fileAddress.empty() && hasSession(req))
        links.emplace_back("320kbps", base + "320.mp3");
    const FileMarker marker = f == Fault::OmitFileLink ? FileMarker::Omitted : FileMarker::Written;
    res.set_content(DownloadPage(*song, links, marker), kHtmlType);
}

void Portal::songFile(const Request& req, Response& res, std::optional<Fault> f) {
    const Song* song = m_catalogue.song(req.matches[1]);
    if (!song)
        return notFound(res);
    const int kbps = req.matches[2] == "320" ? 320 : 128;
    if (kbps == 320 && !hasSession(req)) {
        res.status = 403;
        res.set_content("login required", "text/plain");
        return;
    }
    if (f == Fault::EncodedBody) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(std::string(2000, '\x1f'), "audio/mpeg");
        return;
    }
    if (f == Fault::EmptyBody || f == Fault::OneByteBody) {
        res.set_content(f == Fault::EmptyBody ? std::string() : std::string(1, '\xFF'),
                        "audio/mpeg");
        return;
    }
    const std::string id = song->id;
    const std::size_t length = SongLength(kbps, m_options.songBytes);
    if (f == Fault::NotMpeg)
        return sendBody(res, length, "audio/mpeg", std::nullopt,
                        [id](std::string& out, std::size_t off, std::size_t len) {
                            AppendPlainBytes(out, id, off, len);
                        });
    sendBody(res, length, "audio/mpeg", f,
             [id, kbps](std::string& out, std::size_t off, std::size_t len) {
                 AppendSongBytes(out, id, kbps, off, len);
             });
}

void Portal::singerPage(const Request& req, Response& res, std::optional<Fault>) {
    const Singer* singer = m_catalogue.singer(req.matches[1]);
    if (!singer)
        return notFound(res);
    res.set_content(SingerPage(*singer), kHtmlType);
}

void Portal::albumList(const Request& req, Response& res, std::optional<Fault> f) {
    if (f == Fault::Refuse) {
        res.set_content("{\"errorCode\":21000,\"msg\":\"busy\"}", kJsonType);
        return;
    }
    if (f == Fault::MalformedJson) {
        res.set_content("{\"errorCode\":22000,\"data\":{\"html\":\"<div class=\\\"album-info",
                        kJsonType);
        return;
    }
    const Singer* singer = m_catalogue.singer(req.get_param_value("vesk_uid"));
    if (!singer) {
        res.set_content("{\"errorCode\":22001,\"msg\":\"no such user\"}", kJsonType);
        return;
    }
    std::size_t start = 0;
    try {
        start = std::stoul(req.get_param_value("start"));
    } catch (const std::exception&) {
    }
    // A spaced error code is no valid page to the job, however good the rest.
    const std::string code =
        f == Fault::SpacedErrorCode ? "\"errorCode\": 22000" : "\"errorCode\":22000";
    res.set_content(AlbumListJson(m_catalogue, *singer, start, hostOf(req), code), kJsonType);
}

void Portal::artistIndex(const Request& req, Response& res, std::optional<Fault>) {
    const std::string category = req.path.substr(std::string("/artist").size());
    res.set_content(ArtistIndexPage(m_catalogue, category, hostOf(req)), kHtmlType);
}

void Portal::missing(const Request&, Response& res, std::optional<Fault>) {
    notFound(res);
}

// The front page's port.

void Portal::frontHome(const Request& req, Response& res, std::optional<Fault>) {
    const std::string user = sessionUser(req);
    if (user.empty()) {
        res.set_content(FrontPage("登录", kLoginForm), kHtmlType);
        return;
    }
    res.set_content(FrontPage("已登录", "<p id=\"status\">已登录: " + HtmlEscape(user) +
                                            "</p>\n<p><a id=\"logout\" href=\"/logout\">"
                                            "退出登录</a></p>"),
                    kHtmlType);
}

void Portal::frontLogin(const Request& req, Response& res, std::optional<Fault>) {
    const std::string user = FormValue(req.body, "user");
    const std::string password = FormValue(req.body, "password");
    bool known = false;
    {
        std::lock_guard lock(mutex);
        const auto it = accounts.find(user);
        known = it != accounts.end() && it->second == password;
    }
    if (!known) {
        res.status = 403;
        res.set_content(FrontPage("登录失败", "<p id=\"error\">帐号或密码错误</p>\n"
                                              "<p><a href=\"/\">重新登录</a></p>"),
                        kHtmlType);
        return;
    }
    // No Domain attribute: host-only on 127.0.0.1, which the portal's port shares.
    res.set_header("Set-Cookie", std::string(PortalSim::kSessionCookie) + "=" + issueSession(user) +
                                     "; Path=/; HttpOnly");
    res.set_redirect("/", 303);
}

void Portal::frontLogout(const Request& req, Response& res, std::optional<Fault>) {
    const std::string value = cookieValue(req, PortalSim::kSessionCookie);
    {
        std::lock_guard lock(mutex);
        m_sessions.erase(value);
    }
    res.set_header("Set-Cookie", std::string(PortalSim::kSessionCookie) +
                                     "=; Path=/; HttpOnly; Max-Age=0; "
                                     "Expires=Thu, 01 Jan 1970 00:00:00 GMT");
    res.set_redirect("/", 303);
}

void Portal::frontMissing(const Request&, Response& res, std::optional<Fault>) {
    res.status = 404;
    res.set_content(FrontPage("404", "<p>页面不存在</p>"), kHtmlType);
}

} // namespace

std::string LoggedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return value;
    }
    return {};
}

struct PortalSim::Impl : Portal {
    using Portal::Portal;
};

PortalSim::PortalSim(Catalogue catalogue, PortalOptions options)
    : m_catalogue(std::move(catalogue)), m_options(options),
      m_impl(std::make_unique<Impl>(*this, m_catalogue, m_options)) {
    m_impl->accounts[kDemoUser] = kDemoPassword;
}

PortalSim::~PortalSim() {
    stop();
}

std::string PortalSim::host() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string PortalSim::frontHost() const {
    return "127.0.0.1:" + std::to_string(m_frontPort);
}

void PortalSim::addAccount(const std::string& user, const std::string& password) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->accounts[user] = password;
}

void PortalSim::addFault(Endpoint endpoint, Fault fault, int count, const std::string& id) {
    if (count == 0)
        return;
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[endpoint].push_back({fault, count, id});
}

void PortalSim::release() {
    m_impl->release();
}

void PortalSim::clearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::string PortalSim::issueSession(const std::string& user) {
    return m_impl->issueSession(user);
}

std::vector<LoggedRequest> PortalSim::requests() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->log;
}

std::vector<LoggedRequest> PortalSim::requests(const std::string& prefix) const {
    std::vector<LoggedRequest> out;
    std::lock_guard lock(m_impl->mutex);
    for (const LoggedRequest& r : m_impl->log) {
        if (r.path.compare(0, prefix.size(), prefix) == 0)
            out.push_back(r);
    }
    return out;
}

int PortalSim::stallsBegun() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->stallsBegun;
}

int PortalSim::holdsBegun() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->holdsBegun;
}

SiteLoad PortalSim::load(Site site) const {
    std::lock_guard lock(m_impl->mutex);
    const Portal::Load& l = m_impl->loads[int(site)];
    return {l.connections.now, l.requests.now, l.connections.peak, l.requests.peak};
}

void PortalSim::resetPeaks() {
    std::lock_guard lock(m_impl->mutex);
    for (Portal::Load& l : m_impl->loads) {
        l.connections.peak = l.connections.now;
        l.requests.peak = l.requests.now;
    }
}

void PortalSim::clearRequests() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->log.clear();
}

void PortalSim::stop() {
    if (!m_impl->thread.joinable() && !m_impl->frontThread.joinable() &&
        !m_impl->filesThread.joinable())
        return;
    m_impl->stop();
}

int PortalSim::startFront(int port) {
    m_impl->installFront();
    m_frontPort = serveInThread(m_impl->front, m_impl->frontThread, port);
    return m_frontPort;
}

int PortalSim::startFileHost(int port) {
    m_impl->installFileHost();
    m_impl->filePort = serveInThread(m_impl->files, m_impl->filesThread, port);
    return m_impl->filePort;
}

int PortalSim::fileHostPort() const {
    return m_impl->filePort;
}

int PortalSim::start(int port) {
    m_impl->installPortal();
    m_port = serveInThread(m_impl->server, m_impl->thread, port);
    return m_port;
}

std::optional<Endpoint> EndpointFromName(const std::string& name) {
    static const std::map<std::string, Endpoint> names = {
        {"album-page", Endpoint::AlbumPage}, {"cover", Endpoint::Cover},
        {"song-list", Endpoint::SongList},   {"download-page", Endpoint::DownloadPage},
        {"song-file", Endpoint::SongFile},   {"singer-page", Endpoint::SingerPage},
        {"album-list", Endpoint::AlbumList}, {"artist-index", Endpoint::ArtistIndex}};
    auto it = names.find(name);
    return it == names.end() ? std::nullopt : std::optional(it->second);
}

std::optional<Fault> FaultFromName(const std::string& name) {
    static const std::map<std::string, Fault> names = {{"500", Fault::Status500},
                                                       {"503", Fault::Status503},
                                                       {"429", Fault::Status429},
                                                       {"refuse", Fault::Refuse},
                                                       {"empty", Fault::EmptyBody},
                                                       {"one-byte", Fault::OneByteBody},
                                                       {"drop", Fault::DropMidBody},
                                                       {"stall", Fault::StallMidBody},
                                                       {"no-link", Fault::OmitFileLink},
                                                       {"bad-json", Fault::MalformedJson},
                                                       {"spaced-code", Fault::SpacedErrorCode},
                                                       {"encoded", Fault::EncodedBody},
                                                       {"not-mpeg", Fault::NotMpeg},
                                                       {"hang", Fault::HangMidBody},
                                                       {"hold", Fault::Hold}};
    auto it = names.find(name);
    return it == names.end() ? std::nullopt : std::optional(it->second);
}

} // namespace orvana::portal
