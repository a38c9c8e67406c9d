#include "tools/portal-sim/portal_sim.h"

#include "tools/portal-sim/media.h"

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
const char* const kHtml = "text/html; charset=utf-8";
const char* const kJson = "application/json; charset=utf-8";

std::string htmlEscape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// JSON string contents the way the portal writes them: slashes escaped too.
std::string jsonEscape(const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string formValue(const std::string& body, const std::string& key) {
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t amp = body.find('&', pos);
        if (amp == std::string::npos)
            amp = body.size();
        const std::string pair = body.substr(pos, amp - pos);
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.substr(0, eq) == key)
            return httplib::detail::decode_url(pair.substr(eq + 1), true);
        pos = amp + 1;
    }
    return {};
}

std::string cookieValue(const httplib::Request& req, const std::string& name) {
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

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           " - Orvana音乐</title></head>\n<body>\n<div class=\"header\"><h2>Orvana音乐</h2>"
           "<a href=\"/\">首页</a> <a href=\"/artist\">歌手</a></div>\n" +
           body + "\n<div class=\"footer\">Orvana sample portal</div>\n</body></html>\n";
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

namespace {

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

// The front page's own frame: no portal navigation, which lives on the other port.
std::string frontPage(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + htmlEscape(title) +
           " - Orvana音乐</title></head>\n<body>\n<h2>Orvana音乐</h2>\n" + body +
           "\n</body></html>\n";
}

const char* const kLoginForm =
    "<form id=\"login\" method=\"post\" action=\"/login\">\n"
    "<p><label>帐号 <input id=\"user\" name=\"user\"></label></p>\n"
    "<p><label>密码 <input id=\"password\" name=\"password\" type=\"password\"></label></p>\n"
    "<p><button id=\"submit\" type=\"submit\">登录</button></p>\n</form>";

} // namespace

struct PortalSim::Impl {
    httplib::Server server;
    std::thread thread;
    httplib::Server front;
    std::thread frontThread;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int stallsBegun = 0;
    std::map<Endpoint, std::deque<std::pair<Fault, int>>> faults;
    std::vector<LoggedRequest> log;
    std::map<std::string, std::string> sessions; // value -> user
    std::map<std::string, std::string> accounts; // user -> password

    void record(const httplib::Request& req) {
        LoggedRequest r;
        r.method = req.method;
        r.path = req.path;
        const std::size_t q = req.target.find('?');
        if (q != std::string::npos)
            r.query = req.target.substr(q + 1);
        r.body = req.body;
        for (const auto& [key, value] : req.headers)
            r.headers.emplace(key, value);
        std::lock_guard lock(mutex);
        log.push_back(std::move(r));
    }

    std::optional<Fault> takeFault(Endpoint endpoint) {
        std::lock_guard lock(mutex);
        auto it = faults.find(endpoint);
        if (it == faults.end() || it->second.empty())
            return std::nullopt;
        auto& [fault, count] = it->second.front();
        const Fault f = fault;
        if (count > 0 && --count == 0)
            it->second.pop_front();
        return f;
    }

    bool hasSession(const httplib::Request& req) { return !sessionUser(req).empty(); }

    // The user whose login cookie req carries, or "".
    std::string sessionUser(const httplib::Request& req) {
        const std::string value = cookieValue(req, kSessionCookie);
        std::lock_guard lock(mutex);
        const auto it = sessions.find(value);
        return value.empty() || it == sessions.end() ? std::string() : it->second;
    }

    // Waits up to `duration`; false when the portal is stopping.
    bool pause(std::chrono::milliseconds duration) {
        {
            std::lock_guard lock(mutex);
            ++stallsBegun;
        }
        return wait(duration);
    }
    bool wait(std::chrono::steady_clock::duration duration) {
        std::unique_lock lock(mutex);
        return !wake.wait_for(lock, duration, [this] { return stopping; });
    }
    // Holds a body back until `sent` bytes are due at `rate` bytes a second since `start`.
    bool pace(std::chrono::steady_clock::time_point start, std::size_t sent, std::size_t rate) {
        if (rate == 0)
            return true;
        const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(double(sent) / double(rate)));
        const auto now = std::chrono::steady_clock::now();
        return due <= now || wait(due - now);
    }
};

PortalSim::PortalSim(Catalogue catalogue, PortalOptions options)
    : m_catalogue(std::move(catalogue)), m_options(options), m_impl(std::make_unique<Impl>()) {
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

void PortalSim::addFault(Endpoint endpoint, Fault fault, int count) {
    if (count == 0)
        return;
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[endpoint].emplace_back(fault, count);
}

void PortalSim::clearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

std::string PortalSim::issueSession(const std::string& user) {
    // Deterministic per user so the demo's cookie file stays valid across restarts.
    std::uint64_t hash = 1469598103934665603ULL;
    for (char c : user) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char text[20];
    std::snprintf(text, sizeof text, "s%016llx", static_cast<unsigned long long>(hash));
    std::lock_guard lock(m_impl->mutex);
    m_impl->sessions[text] = user;
    return text;
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

void PortalSim::clearRequests() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->log.clear();
}

void PortalSim::stop() {
    if (!m_impl->thread.joinable() && !m_impl->frontThread.joinable())
        return;
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->wake.notify_all();
    if (m_impl->thread.joinable()) {
        m_impl->server.stop();
        m_impl->thread.join();
    }
    if (m_impl->frontThread.joinable()) {
        m_impl->front.stop();
        m_impl->frontThread.join();
    }
}

int PortalSim::startFront(int port) {
    Impl* d = m_impl.get();
    httplib::Server& s = d->front;
    s.set_keep_alive_timeout(1);
    s.set_tcp_nodelay(true);

    s.Get("/", [d](const httplib::Request& req, httplib::Response& res) {
        const std::string user = d->sessionUser(req);
        if (user.empty()) {
            res.set_content(frontPage("登录", kLoginForm), kHtml);
            return;
        }
        res.set_content(frontPage("已登录", "<p id=\"status\">已登录: " + htmlEscape(user) +
                                                "</p>\n<p><a id=\"logout\" href=\"/logout\">"
                                                "退出登录</a></p>"),
                        kHtml);
    });
    s.Post("/login", [this, d](const httplib::Request& req, httplib::Response& res) {
        const std::string user = formValue(req.body, "user");
        const std::string password = formValue(req.body, "password");
        bool known = false;
        {
            std::lock_guard lock(d->mutex);
            const auto it = d->accounts.find(user);
            known = it != d->accounts.end() && it->second == password;
        }
        if (!known) {
            res.status = 403;
            res.set_content(frontPage("登录失败", "<p id=\"error\">帐号或密码错误</p>\n"
                                                  "<p><a href=\"/\">重新登录</a></p>"),
                            kHtml);
            return;
        }
        // No Domain attribute: host-only on 127.0.0.1, which the portal's port shares.
        res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + issueSession(user) +
                                         "; Path=/; HttpOnly");
        res.set_redirect("/", 303);
    });
    s.Get("/logout", [d](const httplib::Request& req, httplib::Response& res) {
        const std::string value = cookieValue(req, kSessionCookie);
        {
            std::lock_guard lock(d->mutex);
            d->sessions.erase(value);
        }
        res.set_header("Set-Cookie", std::string(kSessionCookie) +
                                         "=; Path=/; HttpOnly; Max-Age=0; "
                                         "Expires=Thu, 01 Jan 1970 00:00:00 GMT");
        res.set_redirect("/", 303);
    });
    s.Get(".*", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(frontPage("404", "<p>页面不存在</p>"), kHtml);
    });

    m_frontPort = serveInThread(s, d->frontThread, port);
    return m_frontPort;
}

int PortalSim::start(int port) {
    Impl* d = m_impl.get();
    httplib::Server& s = d->server;
    s.set_keep_alive_timeout(1);
    // Headers and body go out as separate writes; without this, Nagle and delayed ACKs add
    // 40 ms to every answer on a kept-alive connection.
    s.set_tcp_nodelay(true);
    const Catalogue* cat = &m_catalogue;
    const PortalOptions opts = m_options;

    auto hostOf = [this](const httplib::Request& req) {
        std::string h = req.get_header_value("Host");
        return h.empty() ? host() : h;
    };
    // The status faults every endpoint knows; true when the answer is made.
    auto statusFault = [](std::optional<Fault> f, httplib::Response& res) {
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
    };
    auto notFound = [](httplib::Response& res) {
        res.status = 404;
        res.set_content(page("404", "<p>页面不存在</p>"), kHtml);
    };
    // Streams `total` bytes made by `bytesAt`, obeying drop and stall faults.
    auto stream = [d, opts](httplib::Response& res, std::size_t total, const char* type,
                            std::optional<Fault> fault,
                            std::function<void(std::string&, std::size_t, std::size_t)> bytesAt) {
        const std::size_t half = total / 2;
        auto stalled = std::make_shared<bool>(false);
        auto begun = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
        res.set_content_provider(
            total, type,
            [d, opts, fault, half, stalled, begun, bytesAt](std::size_t offset, std::size_t length,
                                                            httplib::DataSink& sink) {
                if (!*begun)
                    *begun = std::chrono::steady_clock::now();
                std::size_t take =
                    std::min(length, opts.rateBytesPerSecond > 0 ? kPacedChunk : kChunk);
                if (fault && offset < half)
                    take = std::min(take, half - offset);
                if (fault && offset >= half) {
                    if (*fault == Fault::DropMidBody)
                        return false;
                    if (*fault == Fault::StallMidBody && !*stalled) {
                        *stalled = true;
                        if (!d->pause(opts.stall))
                            return false;
                    }
                }
                std::string chunk;
                chunk.reserve(take);
                bytesAt(chunk, offset, take);
                // A piece leaves when the whole so far is due at the rate.
                return d->pace(**begun, offset + take, opts.rateBytesPerSecond) &&
                       sink.write(chunk.data(), chunk.size());
            });
    };

    s.Get("/", [d](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        res.set_content(page("首页", "<h1>Orvana音乐</h1><p><a href=\"/login\">登录</a></p>"),
                        kHtml);
    });
    s.Get("/login", [d](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        res.set_content(page("登录", "<form method=\"post\" action=\"/login\">"
                                     "<input name=\"user\"> <input name=\"password\" "
                                     "type=\"password\"> <button type=\"submit\">登录</button>"
                                     "</form>"),
                        kHtml);
    });
    s.Post("/login", [this, d](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        const std::string user = formValue(req.body, "user");
        if (user.empty()) {
            res.status = 403;
            res.set_content(page("登录", "<p>请输入帐号</p>"), kHtml);
            return;
        }
        res.set_header("Set-Cookie",
                       std::string(kSessionCookie) + "=" + issueSession(user) + "; Path=/");
        res.set_redirect("/");
    });

    s.Get(R"(/album/(\d+))", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        if (statusFault(d->takeFault(Endpoint::AlbumPage), res))
            return;
        const Album* album = cat->album(req.matches[1]);
        if (!album)
            return notFound(res);
        const std::string h = hostOf(req);
        std::string img;
        switch (album->cover) {
        case CoverStyle::Absolute:
            img = "<img src=\"http://" + h + "/cover/" + album->id + ".jpg\" alt=\"\">";
            break;
        case CoverStyle::Relative:
            img = "<img src=\"/cover/" + album->id + ".jpg\" alt=\"\">";
            break;
        case CoverStyle::BlankWithOrgSrc:
            img = "<img src=\"http://" + h + "/images/blank.gif\" org_src=\"http://" + h +
                  "/cover/" + album->id + ".jpg\" alt=\"\">";
            break;
        }
        const std::string body = "<div class=\"nav\"><h2>专辑</h2></div>\n<div class=\"" +
                                 album->blockClass + "\">\n  <h2>" + htmlEscape(album->title) +
                                 "</h2>\n  " + img + "\n  <p class=\"intro\">共" +
                                 std::to_string(album->songIds.size()) + "首歌曲</p>\n</div>";
        res.set_content(page(album->title, body), kHtml);
    });

    s.Get(R"(/+cover/(\d+)\.jpg)", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        const std::optional<Fault> f = d->takeFault(Endpoint::Cover);
        if (statusFault(f, res))
            return;
        if (!cat->album(req.matches[1]))
            return notFound(res);
        const std::string bytes = CoverBytes(req.matches[1]);
        stream(res, bytes.size(), "image/jpeg", f,
               [bytes](std::string& out, std::size_t off, std::size_t len) {
                   out.append(bytes, off, len);
               });
    });
    s.Get("/images/blank.gif", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        res.set_content(std::string("GIF89a", 6), "image/gif");
    });

    s.Post("/data/music/songlist", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        const std::optional<Fault> f = d->takeFault(Endpoint::SongList);
        if (statusFault(f, res))
            return;
        if (f == Fault::MalformedJson) {
            res.set_content("{\"errorCode\":22000,\"data\":{\"html\":\"<a href=\\\"\\/song\\/1",
                            kJson);
            return;
        }
        const Album* album = cat->album(formValue(req.body, "id"));
        std::string html;
        if (album) {
            html = "<div class=\"song-list\"><ul>";
            int n = 0;
            for (const std::string& id : album->songIds) {
                const Song* song = cat->song(id);
                html += "<li><span class=\"num\">" + std::to_string(++n) +
                        "</span><a href=\"/song/" + id + "\" title=\"" + htmlEscape(song->title) +
                        "\" target=\"_blank\">" + htmlEscape(song->title) +
                        "</a> <a class=\"singer\" href=\"/artist/" + kDemoSingerId +
                        "\">歌手</a></li>";
            }
            html += "</ul><a class=\"more\" href=\"/album/" + album->id + "\">更多</a></div>";
        }
        res.set_content("{\"errorCode\":22000,\"data\":{\"html\":\"" + jsonEscape(html) + "\"}}",
                        kJson);
    });

    s.Get(R"(/song/(\d+)/download)", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        const std::optional<Fault> f = d->takeFault(Endpoint::DownloadPage);
        if (statusFault(f, res))
            return;
        const Song* song = cat->song(req.matches[1]);
        if (!song)
            return notFound(res);
        std::vector<std::pair<std::string, std::string>> links; // rate, escaped link
        const std::string base = "http:\\/\\/" + hostOf(req) + "\\/file\\/" + song->id + "\\/";
        links.emplace_back("128kbps",
                           song->fileAddress.empty() ? base + "128.mp3" : song->fileAddress);
        if (song->fileAddress.empty() && d->hasSession(req))
            links.emplace_back("320kbps", base + "320.mp3");
        std::string info;
        const bool quot = song->ending == LinkEnding::Quot;
        const std::string q = quot ? "&quot;" : "\"";
        for (const auto& [rate, link] : links) {
            if (!info.empty())
                info += ",";
            info += "{" + q + "rate" + q + ":" + q + rate + q + "," + q + "link" + q + ":" + q;
            if (f != Fault::OmitFileLink)
                info += "\\/data\\/music\\/file?link=" + link;
            info += q + "}";
        }
        std::string body = "<h1>" + htmlEscape(song->title) + "</h1>\n";
        if (quot)
            body += "<div class=\"download\" data-info=\"[" + info + "]\">下载</div>";
        else
            body += "<script type=\"text/javascript\">var downloadInfo = [" + info + "];</script>";
        res.set_content(page(song->title, body), kHtml);
    });

    s.Get(R"(/file/(\d+)/(128|320)\.mp3)",
          [=](const httplib::Request& req, httplib::Response& res) {
              d->record(req);
              const std::optional<Fault> f = d->takeFault(Endpoint::SongFile);
              if (statusFault(f, res))
                  return;
              const Song* song = cat->song(req.matches[1]);
              if (!song)
                  return notFound(res);
              const int kbps = req.matches[2] == "320" ? 320 : 128;
              if (kbps == 320 && !d->hasSession(req)) {
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
              stream(res, SongLength(kbps, opts.songBytes), "audio/mpeg", f,
                     [id, kbps](std::string& out, std::size_t off, std::size_t len) {
                         AppendSongBytes(out, id, kbps, off, len);
                     });
          });

    s.Get(R"(/artist/(\d+))", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        if (statusFault(d->takeFault(Endpoint::SingerPage), res))
            return;
        const Singer* singer = cat->singer(req.matches[1]);
        if (!singer)
            return notFound(res);
        res.set_content(page(singer->name, "<div class=\"nav\"><h2>歌手</h2></div>\n"
                                           "<div id=\"baseInfo\"><h2>" +
                                               htmlEscape(singer->name) + "</h2><p>共" +
                                               std::to_string(singer->albumIds.size()) +
                                               "张专辑</p></div>"),
                        kHtml);
    });

    s.Get("/data/user/getalbums", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        const std::optional<Fault> f = d->takeFault(Endpoint::AlbumList);
        if (statusFault(f, res))
            return;
        if (f == Fault::Refuse) {
            res.set_content("{\"errorCode\":21000,\"msg\":\"busy\"}", kJson);
            return;
        }
        if (f == Fault::MalformedJson) {
            res.set_content("{\"errorCode\":22000,\"data\":{\"html\":\"<div class=\\\"album-info",
                            kJson);
            return;
        }
        const Singer* singer = cat->singer(req.get_param_value("vesk_uid"));
        if (!singer) {
            res.set_content("{\"errorCode\":22001,\"msg\":\"no such user\"}", kJson);
            return;
        }
        std::size_t start = 0;
        try {
            start = std::stoul(req.get_param_value("start"));
        } catch (const std::exception&) {
        }
        std::string html;
        const std::string h = hostOf(req);
        for (std::size_t i = start; i < singer->albumIds.size() && i < start + 10; ++i) {
            const Album* album = cat->album(singer->albumIds[i]);
            // org_src is read as written (no "about:" form), so the portal writes it absolute.
            const std::string cover = album->cover == CoverStyle::BlankWithOrgSrc
                                          ? "<img src=\"/images/blank.gif\" org_src=\"http://" + h +
                                                "/cover/" + album->id + ".jpg\">"
                                          : "<img src=\"/cover/" + album->id + ".jpg\">";
            html += "<li><a class=\"" + album->listClass + "\" href=\"/album/" + album->id +
                    "\" title=\"" + htmlEscape(album->title) + "\">" + cover +
                    "</a><a class=\"name\" href=\"/album/" + album->id + "\">" +
                    htmlEscape(album->title) + "</a></li>";
        }
        if (!html.empty())
            html = "<div class=\"album-info\"><ul>" + html + "</ul></div>";
        // A spaced error code is no valid page to the job, however good the rest.
        const std::string code =
            f == Fault::SpacedErrorCode ? "\"errorCode\": 22000" : "\"errorCode\":22000";
        res.set_content("{" + code + ",\"data\":{\"html\":\"" + jsonEscape(html) + "\"}}", kJson);
    });

    auto artistIndex = [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        if (statusFault(d->takeFault(Endpoint::ArtistIndex), res))
            return;
        const std::string category = req.path.substr(std::string("/artist").size());
        std::string body = "<div class=\"categories\">";
        for (const std::string& p : CategoryPaths())
            body += "<a href=\"/artist" + p + "\">" + (p.empty() ? "全部" : p) + "</a> ";
        body += "</div>\n<ul class=\"singers\">";
        bool absolute = false;
        for (const Singer& singer : cat->singers) {
            if (!category.empty() && singer.categoryPath != category)
                continue;
            // Some links absolute, some relative: both must reduce to the ID.
            const std::string href =
                (absolute ? "http://" + hostOf(req) : std::string()) + "/artist/" + singer.id;
            absolute = !absolute;
            body += "<li><a href=\"" + href + "\" title=\"" + htmlEscape(singer.name) + "\">" +
                    htmlEscape(singer.name) + "</a></li>";
        }
        body += "</ul>\n<p><a href=\"/artist/99999999\">   </a> <a href=\"/artist" + category +
                "?page=2\">下一页</a></p>";
        res.set_content(page("歌手", body), kHtml);
    };
    s.Get("/artist", artistIndex);
    s.Get(R"(/artist/(cn|western|jpkr)/(male|female|group))", artistIndex);
    s.Get("/artist/other", artistIndex);

    s.Get(".*", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        notFound(res);
    });
    s.Post(".*", [=](const httplib::Request& req, httplib::Response& res) {
        d->record(req);
        notFound(res);
    });

    if (opts.latency.count() > 0)
        s.set_pre_routing_handler([d, opts](const httplib::Request&, httplib::Response&) {
            (void)d->wait(opts.latency);
            return httplib::Server::HandlerResponse::Unhandled;
        });
    if (opts.rateBytesPerSecond > 0)
        // Whole answers (pages, lists) are paced too: they become providers of their own body.
        s.set_post_routing_handler([d, opts](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty())
                return;
            auto body = std::make_shared<std::string>(std::move(res.body));
            res.body.clear();
            const std::string type = res.get_header_value("Content-Type");
            res.headers.erase("Content-Type");
            auto begun = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
            res.set_content_provider(body->size(), type,
                                     [d, opts, body, begun](std::size_t offset, std::size_t length,
                                                            httplib::DataSink& sink) {
                                         if (!*begun)
                                             *begun = std::chrono::steady_clock::now();
                                         const std::size_t take = std::min(length, kPacedChunk);
                                         // A piece leaves when the whole so far is due.
                                         return d->pace(**begun, offset + take,
                                                        opts.rateBytesPerSecond) &&
                                                sink.write(body->data() + offset, take);
                                     });
        });

    m_port = serveInThread(s, d->thread, port);
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
                                                       {"encoded", Fault::EncodedBody}};
    auto it = names.find(name);
    return it == names.end() ? std::nullopt : std::optional(it->second);
}

} // namespace orvana::portal
