// `orvana-dl-cli --json`: the event stream of whole runs against the sample portal, and what
// stays on stderr.
#include "tests/support/cli_portal_test.h"
#include "tools/portal-sim/media.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

using namespace orvana;
using namespace Qt::StringLiterals;
using portal::Endpoint;
using portal::Fault;

namespace {

struct Stream {
    QStringList events;   // every line but progress, "seconds" written T
    QStringList progress; // the progress lines
};

// The stdout of a --json run; every line must be one JSON object naming its event.
Stream readStream(const QString& out) {
    static const QRegularExpression seconds(uR"("seconds":\d+\.\d{3},)"_s);
    Stream s;
    for (QString line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8());
        EXPECT_TRUE(doc.isObject() && doc.object().contains(u"event"_s)) << line.toStdString();
        if (line.startsWith(uR"({"event":"progress",)"_s)) {
            s.progress << line;
            continue;
        }
        s.events << line.replace(seconds, uR"("seconds":T,)"_s);
    }
    EXPECT_TRUE(out.isEmpty() || out.endsWith(u'\n'));
    return s;
}

QString songLine(const QString& folder, const QString& id, const QString& title,
                 const QString& state, const QString& file, qint64 bytes,
                 const QString& reason = {}) {
    QString line = uR"({"event":"song","album":"31258219","id":")"_s + id + uR"(","title":")"_s +
                   title + uR"(","state":")"_s + state + uR"(","path":")"_s + folder + u'/' + file +
                   uR"(","bytes":)"_s + QString::number(bytes);
    if (!reason.isEmpty())
        line += uR"(,"reason":")"_s + reason + u'"';
    return line + u'}';
}

qint64 songSize(const char* id) {
    return qint64(portal::SongBody(id, 128, 3000).size());
}

class EventsCliTest : public test_support::CliPortalTest {
protected:
    QString folder() const { return output() + u"/夜航星 第一辑 Live"_s; }
};

} // namespace

TEST_F(EventsCliTest, AnAlbumRunIsItsEventsInOrderEndingWithTheSummaryAndItsExitCode) {
    portal.addFault(Endpoint::DownloadPage, Fault::OmitFileLink, -1, "1003");
    const test_support::DownloadRun r = run({u"album"_s, u"31258219"_s, u"--json"_s});
    EXPECT_EQ(r.code, 1);
    Stream s = readStream(r.out);
    // Songs are told in list order, though a saved one is known only once named and the failure
    // after it at once.
    ASSERT_EQ(s.events.size(), 11) << r.out.toStdString();
    const QString f = folder();
    const qint64 stored = songSize("1001") + songSize("1002") + songSize("1004") +
                          songSize("1005") + songSize("1006") + songSize("1007") + songSize("1008");
    EXPECT_EQ(
        s.events,
        (QStringList{
            uR"({"event":"album","id":"31258219","title":"夜航星: 第一辑 <Live>.","folder":")"_s +
                f + u"\"}",
            songLine(f, u"1001"_s, u"晴天的海"_s, u"saved"_s, u"晴天的海.mp3"_s, songSize("1001")),
            songLine(f, u"1002"_s, u"A/B: Side?"_s, u"saved"_s, u"AB Side.mp3"_s, songSize("1002")),
            songLine(f, u"1003"_s, u"???"_s, u"failed"_s, u"1003.mp3"_s, 0,
                     u"下载页中没有歌曲文件地址"_s),
            songLine(f, u"1004"_s, u"同名曲"_s, u"saved"_s, u"同名曲.mp3"_s, songSize("1004")),
            songLine(f, u"1005"_s, u"同名曲."_s, u"saved"_s, u"同名曲 (2).mp3"_s, songSize("1005")),
            songLine(f, u"1006"_s, u"Rock & Roll <Remix>"_s, u"saved"_s, u"Rock & Roll Remix.mp3"_s,
                     songSize("1006")),
            songLine(f, u"1007"_s, u" 同名曲 "_s, u"saved"_s, u"同名曲 (3).mp3"_s,
                     songSize("1007")),
            songLine(f, u"1008"_s, u"最后一首 \\\"再见\\\""_s, u"saved"_s, u"最后一首 再见.mp3"_s,
                     songSize("1008")),
            uR"({"event":"album-done","id":"31258219","saved":7,"present":0,"failed":1,"bytes":%1})"_s
                .arg(stored),
            uR"({"event":"summary","saved":7,"present":0,"failed":1,"bytes":%1,"seconds":T,"exit":1})"_s
                .arg(stored),
        }));
    // Each song fetched had its progress told, before its own song line, within its size.
    static const QRegularExpression progress(
        uR"x(^\{"event":"progress","album":"31258219",)x"
        uR"x("id":"(\d+)","bytes":(\d+),"total":(\d+|null)\}$)x"_s);
    QSet<QString> progressed;
    for (const QString& line : s.progress) {
        const QRegularExpressionMatch m = progress.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_LE(m.captured(2).toLongLong(), songSize(m.captured(1).toLatin1().constData()));
        EXPECT_LT(r.out.indexOf(line),
                  r.out.indexOf(uR"("id":")"_s + m.captured(1) + u"\",\"title\""))
            << line.toStdString();
        progressed.insert(m.captured(1));
    }
    EXPECT_EQ(progressed.size(), 7);
    // The human lines are where they always were.
    EXPECT_TRUE(r.err.endsWith(u"下载失败: ??? (下载页中没有歌曲文件地址)\n指定专辑下载完毕.\n"_s))
        << r.err.toStdString();
    EXPECT_TRUE(r.summary.startsWith(u"已保存 7 首, 已存在 0 首, 失败 1 首, "_s));
}

TEST_F(EventsCliTest, FailuresThatAreNoSongsAreErrorEvents) {
    portal.addFault(Endpoint::SongList, Fault::Status500);
    const Stream list = readStream(run({u"album"_s, u"31258219"_s, u"--json"_s}).out);
    ASSERT_EQ(list.events.size(), 4);
    EXPECT_EQ(list.events[1],
              uR"({"event":"error","album":"31258219","message":"无法获取歌曲列表"})"_s);
    EXPECT_EQ(
        list.events[2],
        uR"({"event":"album-done","id":"31258219","saved":0,"present":0,"failed":0,"bytes":0})"_s);

    // Without its page the album has no folder: the error, then the summary, nothing else.
    portal.addFault(Endpoint::AlbumPage, Fault::Status500, -1);
    const test_support::DownloadRun page = run({u"album"_s, u"31258219"_s, u"--json"_s});
    const Stream s = readStream(page.out);
    ASSERT_EQ(s.events.size(), 2) << page.out.toStdString();
    EXPECT_TRUE(s.events[0].startsWith(
        uR"({"event":"error","album":"31258219","message":"无法获取专辑页面: )"_s))
        << s.events[0].toStdString();
    EXPECT_EQ(
        s.events[1],
        uR"({"event":"summary","saved":0,"present":0,"failed":0,"bytes":0,"seconds":T,"exit":1})"_s);

    // A singer's own failure names the singer, not an album; the singer's albums still come
    // (in a folder named after the ID), so every song is there.
    portal.addFault(Endpoint::SingerPage, Fault::Status500);
    const Stream singer = readStream(run({u"singer"_s, u"18105010"_s, u"--json"_s}).out);
    ASSERT_FALSE(singer.events.isEmpty());
    EXPECT_EQ(
        singer.events[0],
        uR"({"event":"error","album":"","singer":"18105010","message":"无法获取歌手页面: 18105010"})"_s);
    EXPECT_EQ(singer.events.size(), 5);
    EXPECT_TRUE(singer.events.last().endsWith(uR"("seconds":T,"exit":0})"_s))
        << singer.events.join(u'\n').toStdString();
}

TEST_F(EventsCliTest, QuietKeepsTheStreamAndQuietsOnlyStderr) {
    const test_support::DownloadRun loud = run({u"album"_s, u"31258220"_s, u"--json"_s});
    const test_support::DownloadRun quiet = run({u"album"_s, u"31258221"_s, u"--json"_s, u"-q"_s});
    EXPECT_EQ(loud.code, 0);
    EXPECT_EQ(quiet.code, 0);
    EXPECT_TRUE(loud.err.contains(u"正在下载MP3: 第一首 ..."_s));
    EXPECT_EQ(quiet.err, QString());
    EXPECT_TRUE(quiet.summary.startsWith(u"已保存 1 首"_s)) << quiet.summary.toStdString();
    const Stream s = readStream(quiet.out);
    ASSERT_EQ(s.events.size(), 4);
    EXPECT_TRUE(s.events[1].contains(uR"("id":"2101","title":"无名之歌","state":"saved")"_s));
    EXPECT_TRUE(s.events[3].endsWith(uR"("exit":0})"_s));
}

TEST_F(EventsCliTest, ASingerListIsEventsToo) {
    const test_support::DownloadRun r = run({u"singers"_s, u"4"_s, u"--json"_s});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(
        readStream(r.out).events,
        (QStringList{
            uR"({"event":"singer","index":0,"id":"18104396","name":"夜航星乐队"})"_s,
            uR"({"event":"summary","saved":0,"present":0,"failed":0,"bytes":0,"seconds":T,"exit":0})"_s,
        }));
    EXPECT_EQ(r.err, u"共获取歌手1位, 请勾选需要下载的歌手\n"_s);

    // A refused index comes after the list: the summary still closes the stream.
    const test_support::DownloadRun refused =
        run({u"singers"_s, u"4"_s, u"--download"_s, u"3"_s, u"--json"_s});
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(readStream(refused.out).events.last().endsWith(uR"("exit":2})"_s));
    EXPECT_FALSE(QFileInfo::exists(output()));
}
