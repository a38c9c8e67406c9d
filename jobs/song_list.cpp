#include "jobs/song_list.h"

#include "jobs/album_folder.h"
#include "jobs/portal.h"
#include "net/html_document.h"

#include "json/parser.h"
#include <QHash>
#include <QSet>

namespace orvana::jobs {

ListAnswer ReadListAnswer(const QString& text) {
    ListAnswer answer;
    const std::optional<json::Value> root = json::Parse(text);
    answer.parserMessages = !json::ParseErrors().isEmpty();
    if (!root)
        return answer;
    const auto top = root->dictionary();
    if (!top)
        return answer;
    const auto data = top->Item(QStringLiteral("data")).dictionary();
    if (!data)
        return answer;
    const json::Value html = data->Item(QStringLiteral("html"));
    if (html.isString())
        answer.html = html.toString();
    return answer;
}

namespace {

// Hands out the file names of one album's songs in list order.
class SongNamer {
public:
    explicit SongNamer(QString folder) : m_folder(std::move(folder)) {}

    QString pathFor(const QString& title, const QString& songId) {
        const QString base = FileNameOf(title, songId);
        if (base.isEmpty())
            return {};
        int n = m_songsPerName.value(base) + 1;
        QString name = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
        while (m_usedNames.contains(name))
            name = base + QStringLiteral(" (%1)").arg(++n);
        m_songsPerName.insert(base, n);
        m_usedNames.insert(name);
        return m_folder + u'/' + name + u".mp3";
    }

private:
    QString m_folder;
    QSet<QString> m_usedNames;
    QHash<QString, int> m_songsPerName;
};

QString attributeOf(const net::HtmlElement& link, QString (net::HtmlElement::*read)() const) {
    try {
        return (link.*read)();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace

SongList PlanSongs(const ListAnswer& answer, const QString& folder) {
    SongList list;
    if (!answer.html) {
        list.missing = true;
        return list;
    }
    net::HtmlDocument doc;
    try {
        doc.Clear();
        doc.write(*answer.html);
    } catch (const std::exception&) {
        list.missing = true;
        return list;
    }
    const net::HtmlElementList links = doc.links();
    const int count = links.Length();
    SongNamer namer(folder);
    QSet<QString> seenIds;
    for (int i = 0; i < count; ++i) {
        const net::HtmlElement link = links.item(i);
        const QString href = attributeOf(link, &net::HtmlElement::href);
        if (!href.contains(u"/song/"))
            continue;
        QString songId = href;
        songId.remove(QStringLiteral("about:"));
        songId.remove(QStringLiteral("/song/"));
        if (seenIds.contains(songId))
            continue;
        seenIds.insert(songId);
        PlannedSong song;
        song.songId = songId;
        song.title = attributeOf(link, &net::HtmlElement::title);
        song.path = namer.pathFor(song.title, songId);
        song.position = int(list.songs.size()) + 1;
        song.idNotNumeric = !IsNumericId(songId);
        list.songs.append(song);
    }
    // An answer cut short before its first song is no list; a clean one is an empty album.
    if (list.songs.isEmpty())
        list.missing = answer.parserMessages;
    return list;
}

} // namespace orvana::jobs
