// orvana-portal-sim: the sample portal as a process, for the demo, the benchmark and manual tries.
#include "tools/portal-sim/portal_sim.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace orvana::portal;

void usage() {
    std::cerr << "usage: orvana-portal-sim [--port N] [--front-port N] [--print-port]\n"
                 "                         [--file-port N] [--print-peaks]\n"
                 "                         [--song-bytes N] [--bench-album ID:COUNT]\n"
                 "                         [--stall-seconds S] [--latency-ms N] [--rate-kib N]\n"
                 "                         [--bench-singer ID:ALBUMS:FIRST_ALBUM_ID]\n"
                 "                         [--fault ENDPOINT=KIND[:COUNT[:ID]]]...\n"
                 "Serves the sample portal on 127.0.0.1 until SIGINT or SIGTERM, and its front\n"
                 "page (login form; account demo, password orvana320) on a second port.\n"
                 "Port 0 (the default) takes any free port. --print-port prints the portal's\n"
                 "port on the first line of stdout and the front page's on the second.\n"
                 "--file-port: song files also come from a file host on that port, which the\n"
                 "download pages link to (--print-port prints it on a third line).\n"
                 "--print-peaks: on exit, prints the most connections and requests open at one\n"
                 "time, one line per host. SIGUSR1 releases held and hung answers.\n"
                 "--latency-ms: every answer starts N ms late; --rate-kib: bodies are paced to\n"
                 "N KiB/s per connection. --bench-album: COUNT from 1 to 10000 songs.\n"
                 "ENDPOINT: album-page cover song-list download-page song-file singer-page\n"
                 "          album-list artist-index\n"
                 "KIND: 500 503 429 refuse empty one-byte drop stall no-link bad-json\n"
                 "      spaced-code encoded not-mpeg hang hold\n"
                 "COUNT: how many requests meet the fault (default 1, -1 = all)\n"
                 "ID: only requests for this album, song or singer ID (or artist index path)\n";
}

bool parseSize(const std::string& text, long long& out) {
    try {
        std::size_t used = 0;
        out = std::stoll(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

struct PendingFault {
    Endpoint endpoint;
    Fault fault;
    int count;
    std::string id;
};

struct Config {
    int port = 0;
    int frontPort = 0;
    std::optional<int> filePort;
    bool printPort = false;
    bool printPeaks = false;
    PortalOptions options;
    Catalogue catalogue = DemoCatalogue();
    std::vector<PendingFault> faults;
};

// What an option with a value did: taken, not understood, or refused with its own message.
enum class Outcome { Used, BadArgument, Reported };

// An option that takes a whole number within [low, high].
struct NumberOption {
    const char* name;
    long long low;
    long long high;
    void (*set)(Config&, long long);
};

const NumberOption kNumberOptions[] = {
    {"--port", 0, 65535,
     [](Config& c, long long n) {
         c.port = int(n);
     }},
    {"--file-port", 0, 65535,
     [](Config& c, long long n) {
         c.filePort = int(n);
     }},
    {"--front-port", 0, 65535,
     [](Config& c, long long n) {
         c.frontPort = int(n);
     }},
    {"--song-bytes", 1, LLONG_MAX,
     [](Config& c, long long n) {
         c.options.songBytes = std::size_t(n);
     }},
    {"--stall-seconds", 0, LLONG_MAX,
     [](Config& c, long long n) {
         c.options.stall = std::chrono::seconds(n);
     }},
    {"--latency-ms", 0, 60'000,
     [](Config& c, long long n) {
         c.options.latency = std::chrono::milliseconds(n);
     }},
    {"--rate-kib", 0, 16 * 1024 * 1024,
     [](Config& c, long long n) {
         c.options.rateBytesPerSecond = std::size_t(n) * 1024;
     }},
};

Outcome addBenchAlbum(Config& c, const std::string& v) {
    long long n = 0;
    if (v.find(':') == std::string::npos || !parseSize(v.substr(v.find(':') + 1), n) || n <= 0 ||
        n > 10000)
        return Outcome::BadArgument;
    AddBenchAlbum(c.catalogue, v.substr(0, v.find(':')), int(n));
    return Outcome::Used;
}

// ID:ALBUMS:FIRST_ALBUM_ID, a singer of ALBUMS one-song albums numbered from FIRST.
Outcome addBenchSinger(Config& c, const std::string& v) {
    const std::size_t a = v.find(':');
    const std::size_t b = a == std::string::npos ? a : v.find(':', a + 1);
    long long albums = 0;
    long long first = 0;
    if (b == std::string::npos || !parseSize(v.substr(a + 1, b - a - 1), albums) ||
        !parseSize(v.substr(b + 1), first) || albums < 1 || albums > 10000 || first < 1 ||
        first > 1'000'000'000) {
        std::cerr << "orvana-portal-sim: bad bench singer: " << v << "\n";
        return Outcome::Reported;
    }
    AddPagedSinger(c.catalogue, v.substr(0, a), "Bench Singer", int(first), int(albums));
    return Outcome::Used;
}

// ENDPOINT=KIND[:COUNT[:ID]]
Outcome addFault(Config& c, const std::string& v) {
    if (v.find('=') == std::string::npos)
        return Outcome::BadArgument;
    const std::string endpoint = v.substr(0, v.find('='));
    std::string kind = v.substr(v.find('=') + 1);
    long long count = 1;
    std::optional<std::string> id;
    if (const auto colon = kind.find(':'); colon != std::string::npos) {
        std::string countText = kind.substr(colon + 1);
        kind.resize(colon);
        if (const auto second = countText.find(':'); second != std::string::npos) {
            id = countText.substr(second + 1);
            countText.resize(second);
        }
        if (!parseSize(countText, count))
            count = 0;
    }
    const auto e = EndpointFromName(endpoint);
    const auto f = FaultFromName(kind);
    if (!e || !f || count == 0 || (id && id->empty())) {
        std::cerr << "orvana-portal-sim: bad fault: " << v << "\n";
        return Outcome::Reported;
    }
    c.faults.push_back({*e, *f, int(count), id.value_or(std::string())});
    return Outcome::Used;
}

Outcome applyOption(Config& c, const std::string& arg, const std::string& v) {
    for (const NumberOption& option : kNumberOptions) {
        if (arg != option.name)
            continue;
        long long n = 0;
        if (!parseSize(v, n) || n < option.low || n > option.high)
            return Outcome::BadArgument;
        option.set(c, n);
        return Outcome::Used;
    }
    if (arg == "--bench-album")
        return addBenchAlbum(c, v);
    if (arg == "--bench-singer")
        return addBenchSinger(c, v);
    if (arg == "--fault")
        return addFault(c, v);
    return Outcome::BadArgument;
}

// Reads the command line into `c`; an exit code when the run ends here.
std::optional<int> parseArguments(int argc, char** argv, Config& c) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--print-port" || arg == "--print-peaks") {
            (arg == "--print-port" ? c.printPort : c.printPeaks) = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        const Outcome o = i + 1 < argc ? applyOption(c, arg, argv[++i]) : Outcome::BadArgument;
        if (o == Outcome::Reported)
            return 2;
        if (o == Outcome::BadArgument) {
            std::cerr << "orvana-portal-sim: bad argument: " << arg << "\n";
            usage();
            return 2;
        }
    }
    return std::nullopt;
}

// Starts the servers of `c`; false when a port cannot be had (said on stderr).
bool startServers(PortalSim& portal, const Config& c) {
    try {
        portal.start(c.port);
        portal.startFront(c.frontPort);
        if (c.filePort)
            portal.startFileHost(*c.filePort);
    } catch (const std::exception& e) {
        std::cerr << "orvana-portal-sim: " << e.what() << "\n";
        return false;
    }
    return true;
}

void printPeaks(const PortalSim& portal) {
    const auto line = [&](const char* name, Site site) {
        const SiteLoad load = portal.load(site);
        std::cout << name << " peak connections=" << load.peakConnections
                  << " requests=" << load.peakRequests << "\n";
    };
    line("portal", Site::Portal);
    if (portal.fileHostPort() != 0)
        line("file-host", Site::FileHost);
    std::cout.flush();
}

int serve(Config& c) {
    // Block the signals before any thread starts, then wait for them here.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    PortalSim portal(std::move(c.catalogue), c.options);
    for (const PendingFault& f : c.faults)
        portal.addFault(f.endpoint, f.fault, f.count, f.id);
    if (!startServers(portal, c))
        return 1;
    if (c.printPort) {
        std::cout << portal.port() << "\n" << portal.frontPort() << "\n";
        if (c.filePort)
            std::cout << portal.fileHostPort() << "\n";
        std::cout.flush();
    } else {
        std::cerr << "orvana-portal-sim: serving http://" << portal.host()
                  << "/ (front page http://" << portal.frontHost() << "/";
        if (c.filePort)
            std::cerr << ", file host http://127.0.0.1:" << portal.fileHostPort() << "/";
        std::cerr << ")\n";
    }

    int signal = 0;
    while (sigwait(&signals, &signal) == 0 && signal == SIGUSR1)
        portal.release();
    portal.stop();
    if (c.printPeaks)
        printPeaks(portal);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Config config;
    if (const std::optional<int> code = parseArguments(argc, argv, config))
        return *code;
    return serve(config);
}
