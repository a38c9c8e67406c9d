// A small portal of a test's own on 127.0.0.1, for answers the sample portal does not give:
// singer 1 with album 7, whose one song is 70. Its answers are members a test may change.
#pragma once

#include "tests/net/test_server.h"

#include <QString>
#include <chrono>
#include <map>
#include <string>

namespace orvana::test_support {

inline const std::string kAlbumLink =
    R"(<div class=\"album-info\"><a class=\"cover\" href=\"\/album\/7\" title=\"专辑七\">)"
    R"(<img src=\"\/c.jpg\"><\/a><\/div>)";
inline const std::string kSongLink = R"(<a href=\"\/song\/70\" title=\"歌七十\">x<\/a>)";

// One singer (1) with album 7, whose one song is 70. Answers go out as bytes of no compressible
// type: the server would gzip text, and a test of sizes must see the sizes it sets.
class MiniPortal {
public:
    MiniPortal() {
        auto& s = server.server();
        s.Get("/artist/1", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"(<div id="baseInfo"><h2>歌手一</h2></div>)", "text/html");
        });
        s.Get("/data/user/getalbums", [this](const httplib::Request& req, httplib::Response& res) {
            const auto it = albumLists.find(std::stoi(req.get_param_value("start")));
            res.set_content(it == albumLists.end() ? R"({"errorCode":22000,"data":{"html":""}})"
                                                   : it->second,
                            kType);
        });
        s.Get("/album/7", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(albumPage, kType);
        });
        s.Get("/c.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("cover", "image/jpeg");
        });
        s.Post("/data/music/songlist", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(songList, kType);
        });
        s.Get("/song/70/download", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"u":"\/data\/music\/file?link=http:\/\/127.0.0.1:)" +
                                std::to_string(server.port()) + R"(\/f\/70.mp3"})",
                            "text/html");
        });
        s.Get("/f/70.mp3", [this](const httplib::Request&, httplib::Response& res) {
            if (songChunks <= 1)
                return res.set_content(song, "audio/mpeg");
            // Trickled: one piece, then a pause, so a client sees bytes arrive over time.
            res.set_content_provider(
                song.size(), "audio/mpeg",
                [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    const std::size_t piece = (song.size() + songChunks - 1) / songChunks;
                    const std::size_t take = std::min(piece, song.size() - offset);
                    if (offset > 0 && !server.pause(songPause))
                        return false;
                    return sink.write(song.data() + offset, take);
                });
        });
        server.start();
    }

    [[nodiscard]] QString host() const { return QStringLiteral("127.0.0.1:%1").arg(server.port()); }
    net::test::TestServer server;
    std::map<int, std::string> albumLists;
    std::string songList = R"({"data":{"html":")" + kSongLink + R"("}})";
    static constexpr const char* kType = "application/octet-stream";
    std::string albumPage = R"(<div class="album-info"><h2>专辑七</h2><img src="/c.jpg"></div>)";
    std::string song = "song seventy";
    std::size_t songChunks = 1;
    std::chrono::milliseconds songPause{150};
};

} // namespace orvana::test_support
