#pragma once

#include "jobs/down_singer.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace orvana::jobs {

// One row of the singer category list.
struct SingerCategory {
    QStringView text; // as the list shows it
    QStringView path; // appended to portal base + "/artist"; empty for row 0 and separators
    bool separator;
};

inline constexpr QStringView kCategorySeparator = u"=============";

// The category rows in list order; the row index is what the window and the CLI select.
inline constexpr std::array<SingerCategory, 15> kSingerCategories = {{
    {u"全部歌手", u"", false},
    {kCategorySeparator, u"", true},
    {u"华语男歌手", u"/cn/male", false},
    {u"华语女歌手", u"/cn/female", false},
    {u"华语乐队组合", u"/cn/group", false},
    {kCategorySeparator, u"", true},
    {u"欧美男歌手", u"/western/male", false},
    {u"欧美女歌手", u"/western/female", false},
    {u"欧美乐队组合", u"/western/group", false},
    {kCategorySeparator, u"", true},
    {u"日韩男歌手", u"/jpkr/male", false},
    {u"日韩女歌手", u"/jpkr/female", false},
    {u"日韩乐队组合", u"/jpkr/group", false},
    {kCategorySeparator, u"", true},
    {u"其他歌手", u"/other", false},
}};

// Whether row is a separator, which cannot be chosen. Rows outside the table are not.
[[nodiscard]] bool IsSeparatorRow(int row);

// The artist index address of row: portal base + "/artist" + the row's path. A row without
// a path (row 0, a separator, -1 for no selection, any other index) gives the bare index.
[[nodiscard]] QString ArtistIndexAddress(const QString& portalHost, int row);

// The rows of the singer lists, kept in step: names[i] is the singer whose ID is ids[i].
struct SingerLists {
    QStringList names;
    QStringList ids;

    [[nodiscard]] int size() const { return int(ids.size()); }
};

// The singers an artist index page links to, in document order, duplicates kept: a link whose
// href, less every portal base + "/artist/", "/artist/" and "about:", is a numeric ID and whose
// visible text is not blank. The name is the link's title (empty when it has none). Pure.
[[nodiscard]] SingerLists SingerLinks(const QString& pageText, const QString& portalHost);

// Fetches the index page of row and reads its singers. Fails with orvana::Error (the
// transport's, naming address and reason) when the page cannot be had; the caller's lists stay
// as they were.
[[nodiscard]] SingerLists GetSingers(net::ModDownFile& transport, const QString& portalHost,
                                     int row);

// "共获取歌手" + count + "位, 请勾选需要下载的歌手".
[[nodiscard]] QString SingerCountText(int count);

// What a ticked-singer run did, singer by singer in row order.
struct TickedRunSummary {
    QStringList ids; // the singers run, in order
    QList<SingerSummary> singers;
    bool cancelled = false;

    // The songs of every singer.
    [[nodiscard]] Tally tally() const;
    [[nodiscard]] bool complete() const;
    // NotStarted when the last singer run did not start (a refused proxy text: nothing was
    // downloaded, no later singer ran), else Cancelled or Finished.
    [[nodiscard]] JobOutcome outcome() const;
};

// The rows of a ticked run as the front end holds them: how many (read once, when the run
// starts) and, for the row the loop has reached, its singer ID when the row is ticked, else
// nullopt. Asked row by row as the loop gets there, so a tick changed meanwhile counts.
struct TickedRowSource {
    int count = 0;
    std::function<std::optional<QString>(int row)> tickedId;
    // The proxy controls as they stand when a singer's job starts; null: the run's settings.
    std::function<net::ProxySetting()> proxyAtStart;
};

// The rows of lists, ticked where isTicked(row) says so when the loop asks.
[[nodiscard]] TickedRowSource RowsOf(const SingerLists& lists,
                                     std::function<bool(int row)> isTicked);

// One DownSinger per ticked row, in row order. At the end (unless cancelled, or the proxy text
// was refused: that singer's outcome is NotStarted and no later singer runs) the status line
// reads "所选专辑已下载完毕.". singerDone, when set, is called after each singer's job. Never
// throws.
using SingerDone = std::function<void(const QString& singerId, const SingerSummary& summary)>;
[[nodiscard]] TickedRunSummary DownloadTickedSingers(const TickedRowSource& rows,
                                                     net::ModDownFile& transport, JobHost& host,
                                                     const JobSettings& settings,
                                                     const AlbumListSettings& listSettings = {},
                                                     const SingerDone& singerDone = {});

} // namespace orvana::jobs
