#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvana::portal {

// How an album's cover is written in its page: an absolute address, a relative one, or a
// "blank" placeholder in src with the real address in org_src.
enum class CoverStyle { Absolute, Relative, BlankWithOrgSrc };

// How a download page closes its file link: the end of a JSON string member (`"}`) or the
// same JSON inside an HTML attribute (`&quot`).
enum class LinkEnding { Brace, Quot };

struct Song {
    std::string id;
    std::string title;
    LinkEnding ending = LinkEnding::Brace;
    // When set, the download page offers this address (written with "\/" escapes) instead of
    // the portal's own file; for addresses a client must refuse.
    std::string fileAddress = {};
};

struct Album {
    std::string id;
    std::string title;
    CoverStyle cover = CoverStyle::Absolute;
    // The class text of the album block; anything but "album-info" hides the block from the job.
    std::string blockClass = "album-info";
    std::vector<std::string> songIds;
    // The class text of the album's link in a singer's album list; only "cover" is an album.
    std::string listClass = "cover";
};

struct Singer {
    std::string id;
    std::string name;
    std::string categoryPath; // "/cn/male" ... "/other"
    std::vector<std::string> albumIds;
};

// The portal's whole content. Deterministic: the same build always serves the same bytes.
struct Catalogue {
    std::map<std::string, Song> songs;
    std::map<std::string, Album> albums;
    std::vector<Singer> singers; // in index order

    [[nodiscard]] const Song* song(const std::string& id) const;
    [[nodiscard]] const Album* album(const std::string& id) const;
    [[nodiscard]] const Singer* singer(const std::string& id) const;
};

// IDs of the demo catalogue that tests and the demo name.
inline constexpr const char* kDemoAlbumId = "31258219";
inline constexpr const char* kBlankCoverAlbumId = "31258220";
inline constexpr const char* kUntitledAlbumId = "31258221";
inline constexpr const char* kHiddenBlockAlbumId = "31258222";
inline constexpr const char* kEmptyAlbumId = "31258223";
inline constexpr const char* kDemoSingerId = "18104396";
inline constexpr const char* kNoAlbumSingerId = "18104397";

// The demo catalogue: Chinese titles, titles with characters that file names cannot hold, a
// title that cleans to nothing, equal cleaned titles under different IDs, a repeated song
// link, relative and placeholder covers, both link endings, a singer with two pages and more
// of albums, singers in every category.
[[nodiscard]] Catalogue DemoCatalogue();

// An album of `count` songs under `albumId`, titled "Bench NN", for benchmarks.
void AddBenchAlbum(Catalogue& catalogue, const std::string& albumId, int count);

// A singer `singerId` named `name` with `count` albums of one song each (IDs from
// `firstAlbumId` up), for tests of the album-list pages.
void AddPagedSinger(Catalogue& catalogue, const std::string& singerId, const std::string& name,
                    int firstAlbumId, int count);

// The category paths of the artist index, row order of the category list ("" = all singers).
[[nodiscard]] const std::vector<std::string>& CategoryPaths();

} // namespace orvana::portal
