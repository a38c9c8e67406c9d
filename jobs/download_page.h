#pragma once

#include <QString>
#include <optional>

namespace orvana::jobs {

// The marker that opens a file link in a song's download page (slashes escaped as "\/").
inline constexpr QStringView kFileLinkMarker = u"\\/data\\/music\\/file?link=";

// Cuts the song file address out of a download page: the text after the last marker, up to the
// first `"}` after it, or when there is none, the first "&quot" after it; every "\/" becomes
// "/". nullopt when the page has no marker, or no end mark follows the last one. Pure; any input.
[[nodiscard]] std::optional<QString> CutFileAddress(const QString& page);

} // namespace orvana::jobs
