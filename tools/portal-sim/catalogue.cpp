#include "tools/portal-sim/catalogue.h"

namespace orvana::portal {

const Song* Catalogue::song(const std::string& id) const {
    auto it = songs.find(id);
    return it == songs.end() ? nullptr : &it->second;
}

const Album* Catalogue::album(const std::string& id) const {
    auto it = albums.find(id);
    return it == albums.end() ? nullptr : &it->second;
}

const Singer* Catalogue::singer(const std::string& id) const {
    for (const Singer& s : singers) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

const std::vector<std::string>& CategoryPaths() {
    static const std::vector<std::string> paths = {"",
                                                   "/cn/male",
                                                   "/cn/female",
                                                   "/cn/group",
                                                   "/western/male",
                                                   "/western/female",
                                                   "/western/group",
                                                   "/jpkr/male",
                                                   "/jpkr/female",
                                                   "/jpkr/group",
                                                   "/other"};
    return paths;
}

namespace {

void addAlbum(Catalogue& c, Album album, const std::vector<Song>& songs) {
    for (const Song& s : songs) {
        c.songs.emplace(s.id, s);
        album.songIds.push_back(s.id);
    }
    c.albums.emplace(album.id, std::move(album));
}

std::string twoDigits(int n) {
    return std::string(1, char('0' + n / 10)) + char('0' + n % 10);
}

// The demo album and the small albums of one rule each.
void addDemoAlbums(Catalogue& c) {
    // The demo album: every naming rule the store has to get right.
    addAlbum(c, {kDemoAlbumId, "夜航星: 第一辑 <Live>.", CoverStyle::Relative, "album-info", {}},
             {
                 {"1001", "晴天的海", LinkEnding::Brace},
                 {"1002", "A/B: Side?", LinkEnding::Quot},
                 {"1003", "???", LinkEnding::Brace},
                 {"1004", "同名曲", LinkEnding::Quot},
                 {"1005", "同名曲.", LinkEnding::Brace},
                 {"1006", "Rock & Roll <Remix>", LinkEnding::Quot},
                 {"1007", " 同名曲 ", LinkEnding::Brace},
                 {"1008", "最后一首 \"再见\"", LinkEnding::Brace},
             });
    // The same song listed twice: the second listing must not download it again.
    c.albums[kDemoAlbumId].songIds.push_back("1001");

    addAlbum(c, {kBlankCoverAlbumId, "空白封面", CoverStyle::BlankWithOrgSrc, "album-info", {}},
             {{"2001", "第一首", LinkEnding::Brace}, {"2002", "第二首", LinkEnding::Quot}});
    addAlbum(c, {kUntitledAlbumId, "...", CoverStyle::Absolute, "album-info", {}},
             {{"2101", "无名之歌", LinkEnding::Brace}});
    addAlbum(c, {kHiddenBlockAlbumId, "隐藏的专辑", CoverStyle::Absolute, "album-info wide", {}},
             {{"2201", "藏起来的歌", LinkEnding::Brace}});
    addAlbum(c, {kEmptyAlbumId, "没有歌的专辑", CoverStyle::Absolute, "album-info", {}}, {});
}

// A singer whose album list runs over two pages (10 + 2, then the demo album).
void addDemoSinger(Catalogue& c) {
    Singer night{kDemoSingerId, "夜航星乐队", "/cn/group", {}};
    for (int i = 1; i <= 12; ++i) {
        const std::string albumId = std::to_string(31259000 + i);
        std::vector<Song> songs;
        for (int k = 1; k <= 2; ++k) {
            songs.push_back({std::to_string(3000000 + i * 10 + k),
                             "第" + twoDigits(i) + "张 歌" + std::to_string(k),
                             k % 2 ? LinkEnding::Brace : LinkEnding::Quot});
        }
        addAlbum(c,
                 {albumId,
                  "专辑 " + twoDigits(i) + (i == 3 ? " *精选*" : ""),
                  i % 3 == 0 ? CoverStyle::BlankWithOrgSrc
                             : (i % 2 ? CoverStyle::Relative : CoverStyle::Absolute),
                  "album-info",
                  {}},
                 songs);
        night.albumIds.push_back(albumId);
    }
    night.albumIds.push_back(kDemoAlbumId);
    c.singers.push_back(night);
    c.singers.push_back({kNoAlbumSingerId, "无专辑歌手", "/cn/female", {}});
}

// One singer in every other category, each with one small album.
void addCategorySingers(Catalogue& c) {
    const auto& paths = CategoryPaths();
    // Empty names: categories already held by the singers above.
    const char* names[] = {"",           "雨桐",        "",         "",       "River Lane",
                           "Ann Marie",  "The Kettles", "山田太郎", "김하늘", "Neon Tide",
                           "Other/Voice"};
    for (size_t i = 1; i < paths.size(); ++i) {
        if (names[i][0] == 0)
            continue;
        const std::string singerId = std::to_string(18105000 + int(i));
        const std::string albumId = std::to_string(31260000 + int(i));
        addAlbum(
            c,
            {albumId, std::string(names[i]) + " 首张专辑", CoverStyle::Absolute, "album-info", {}},
            {{std::to_string(4000000 + int(i)), std::string(names[i]) + " 之歌",
              LinkEnding::Brace}});
        c.singers.push_back({singerId, names[i], paths[i], {albumId}});
    }
}

} // namespace

Catalogue DemoCatalogue() {
    Catalogue c;
    addDemoAlbums(c);
    addDemoSinger(c);
    addCategorySingers(c);
    return c;
}

void AddBenchAlbum(Catalogue& catalogue, const std::string& albumId, int count) {
    std::vector<Song> songs;
    for (int i = 1; i <= count; ++i) {
        // Two digits up to 99 (the numbers scripts count with), all digits beyond.
        const std::string number = i < 100 ? twoDigits(i) : std::to_string(i);
        songs.push_back({albumId + number, "Bench " + number, LinkEnding::Brace});
    }
    addAlbum(catalogue, {albumId, "Bench Album", CoverStyle::Relative, "album-info", {}}, songs);
}

void AddPagedSinger(Catalogue& catalogue, const std::string& singerId, const std::string& name,
                    int firstAlbumId, int count) {
    Singer singer{singerId, name, "/other", {}};
    for (int i = 0; i < count; ++i) {
        const std::string albumId = std::to_string(firstAlbumId + i);
        addAlbum(catalogue,
                 {albumId,
                  name + " 专辑 " + std::to_string(i + 1),
                  CoverStyle::Absolute,
                  "album-info",
                  {}},
                 {{albumId + "01", "歌 " + std::to_string(i + 1), LinkEnding::Brace}});
        singer.albumIds.push_back(albumId);
    }
    catalogue.singers.push_back(std::move(singer));
}

} // namespace orvana::portal
