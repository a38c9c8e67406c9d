// orvana-portal-sim: the sample portal as a process, for the demo, the benchmark and manual tries.
#include "tools/portal-sim/portal_sim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

void usage() {
    std::cerr << "usage: orvana-portal-sim [--port N] [--front-port N] [--print-port]\n"
                 "                         [--song-bytes N] [--bench-album ID:COUNT]\n"
                 "                         [--stall-seconds S] [--latency-ms N] [--rate-kib N]\n"
                 "                         [--bench-singer ID:ALBUMS:FIRST_ALBUM_ID]\n"
                 "                         [--fault ENDPOINT=KIND[:COUNT]]...\n"
                 "Serves the sample portal on 127.0.0.1 until SIGINT or SIGTERM, and its front\n"
                 "page (login form; account demo, password orvana320) on a second port.\n"
                 "Port 0 (the default) takes any free port. --print-port prints the portal's\n"
                 "port on the first line of stdout and the front page's on the second.\n"
                 "--latency-ms: every answer starts N ms late; --rate-kib: bodies are paced to\n"
                 "N KiB/s per connection. --bench-album: COUNT from 1 to 10000 songs.\n"
                 "ENDPOINT: album-page cover song-list download-page song-file singer-page\n"
                 "          album-list artist-index\n"
                 "KIND: 500 503 429 refuse empty one-byte drop stall no-link bad-json\n"
                 "      spaced-code encoded\n"
                 "COUNT: how many requests meet the fault (default 1, -1 = all)\n";
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

} // namespace

int main(int argc, char** argv) {
    using namespace orvana::portal;
    int port = 0;
    int frontPort = 0;
    bool printPort = false;
    PortalOptions options;
    Catalogue catalogue = DemoCatalogue();
    struct PendingFault {
        Endpoint endpoint;
        Fault fault;
        int count;
    };
    std::vector<PendingFault> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        if (arg == "--print-port") {
            printPort = true;
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--port" && value(v) && parseSize(v, n) && n >= 0 && n < 65536) {
            port = int(n);
        } else if (arg == "--front-port" && value(v) && parseSize(v, n) && n >= 0 && n < 65536) {
            frontPort = int(n);
        } else if (arg == "--song-bytes" && value(v) && parseSize(v, n) && n > 0) {
            options.songBytes = std::size_t(n);
        } else if (arg == "--stall-seconds" && value(v) && parseSize(v, n) && n >= 0) {
            options.stall = std::chrono::seconds(n);
        } else if (arg == "--bench-album" && value(v) && v.find(':') != std::string::npos &&
                   parseSize(v.substr(v.find(':') + 1), n) && n > 0 && n <= 10000) {
            AddBenchAlbum(catalogue, v.substr(0, v.find(':')), int(n));
        } else if (arg == "--bench-singer" && value(v)) {
            // ID:ALBUMS:FIRST_ALBUM_ID, a singer of ALBUMS one-song albums numbered from FIRST.
            const std::size_t a = v.find(':');
            const std::size_t b = a == std::string::npos ? a : v.find(':', a + 1);
            long long albums = 0;
            long long first = 0;
            if (b == std::string::npos || !parseSize(v.substr(a + 1, b - a - 1), albums) ||
                !parseSize(v.substr(b + 1), first) || albums < 1 || albums > 10000 || first < 1 ||
                first > 1'000'000'000) {
                std::cerr << "orvana-portal-sim: bad bench singer: " << v << "\n";
                return 2;
            }
            AddPagedSinger(catalogue, v.substr(0, a), "Bench Singer", int(first), int(albums));
        } else if (arg == "--latency-ms" && value(v) && parseSize(v, n) && n >= 0 && n <= 60'000) {
            options.latency = std::chrono::milliseconds(n);
        } else if (arg == "--rate-kib" && value(v) && parseSize(v, n) && n >= 0 &&
                   n <= 16 * 1024 * 1024) {
            options.rateBytesPerSecond = std::size_t(n) * 1024;
        } else if (arg == "--fault" && value(v) && v.find('=') != std::string::npos) {
            const std::string endpoint = v.substr(0, v.find('='));
            std::string kind = v.substr(v.find('=') + 1);
            long long count = 1;
            if (const auto colon = kind.find(':'); colon != std::string::npos) {
                if (!parseSize(kind.substr(colon + 1), count))
                    count = 0;
                kind.resize(colon);
            }
            const auto e = EndpointFromName(endpoint);
            const auto f = FaultFromName(kind);
            if (!e || !f || count == 0) {
                std::cerr << "orvana-portal-sim: bad fault: " << v << "\n";
                return 2;
            }
            faults.push_back({*e, *f, int(count)});
        } else {
            std::cerr << "orvana-portal-sim: bad argument: " << arg << "\n";
            usage();
            return 2;
        }
    }

    // Block the stop signals before any thread starts, then wait for one of them here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    PortalSim portal(std::move(catalogue), options);
    for (const PendingFault& f : faults)
        portal.addFault(f.endpoint, f.fault, f.count);
    try {
        portal.start(port);
        portal.startFront(frontPort);
    } catch (const std::exception& e) {
        std::cerr << "orvana-portal-sim: " << e.what() << "\n";
        return 1;
    }
    if (printPort)
        std::cout << portal.port() << "\n" << portal.frontPort() << std::endl;
    else
        std::cerr << "orvana-portal-sim: serving http://" << portal.host()
                  << "/ (front page http://" << portal.frontHost() << "/)\n";

    int signal = 0;
    sigwait(&stopSignals, &signal);
    portal.stop();
    return 0;
}
