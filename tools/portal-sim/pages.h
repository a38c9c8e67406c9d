// The texts the sample portal answers with, as pure functions of the catalogue, so the server
// code only chooses which one to send.
#pragma once

#include "tools/portal-sim/catalogue.h"

#include <string>
#include <utility>
#include <vector>

namespace orvana::portal {

inline constexpr const char* kHtmlType = "text/html; charset=utf-8";
inline constexpr const char* kJsonType = "application/json; charset=utf-8";

[[nodiscard]] std::string HtmlEscape(const std::string& s);
// JSON string contents the way the portal writes them: slashes escaped too.
[[nodiscard]] std::string JsonEscape(const std::string& s);
// The decoded value of `key` in a form body, or "".
[[nodiscard]] std::string FormValue(const std::string& body, const std::string& key);

// A portal page: its frame with the site navigation around `body`.
[[nodiscard]] std::string SitePage(const std::string& title, const std::string& body);
[[nodiscard]] std::string NotFoundPage();
// A front page: no portal navigation, which lives on the other port.
[[nodiscard]] std::string FrontPage(const std::string& title, const std::string& body);
extern const char* const kLoginForm;

// `host` is the "127.0.0.1:PORT" absolute addresses are written with.
[[nodiscard]] std::string AlbumPage(const Album& album, const std::string& host);
// The song-list answer; an unknown album (null) has an empty fragment.
[[nodiscard]] std::string SongListJson(const Catalogue& catalogue, const Album* album);

// One offered file of a download page: its rate ("128kbps") and its address, written with "\/".
using FileLink = std::pair<std::string, std::string>;
enum class FileMarker { Written, Omitted };
[[nodiscard]] std::string DownloadPage(const Song& song, const std::vector<FileLink>& links,
                                       FileMarker marker);

[[nodiscard]] std::string SingerPage(const Singer& singer);
// The album-list page of `singer` from album `start` on (ten at most); `errorCode` is the member
// as written, `"errorCode":22000` for a valid page.
[[nodiscard]] std::string AlbumListJson(const Catalogue& catalogue, const Singer& singer,
                                        std::size_t start, const std::string& host,
                                        const std::string& errorCode);
// The artist index of `category` ("" = all singers).
[[nodiscard]] std::string ArtistIndexPage(const Catalogue& catalogue, const std::string& category,
                                          const std::string& host);

} // namespace orvana::portal
