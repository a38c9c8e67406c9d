// The --json event writer on its own: exact lines, escaping, counts and the progress throttle.
#include "cli/json_lines_host.h"

#include <QBuffer>
#include <QDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace Qt::StringLiterals;

namespace {

// Counts what reaches the inner host, which writes the human lines.
class CountingHost : public jobs::JobHost {
public:
    void setStatus(const QString& text) override { statuses << text; }
    void showMessage(const QString&) override {}
    void songProgress(const jobs::SongRef&, qint64, qint64) override { ++progress; }
    void songFinished(const jobs::SongEvent&) override { ++songs; }
    QStringList statuses;
    int progress = 0;
    int songs = 0;
};

class JsonLinesHostTest : public testing::Test {
protected:
    void SetUp() override { buffer.open(QIODevice::WriteOnly); }
    // The lines written since the last call.
    QStringList taken() {
        const QString text = QString::fromUtf8(buffer.data());
        buffer.buffer().clear();
        buffer.seek(0);
        return text.split(u'\n', Qt::SkipEmptyParts);
    }

    QBuffer buffer;
    CountingHost inner;
    qint64 now = 0;
    cli::JsonLinesHost host{&buffer, inner, cli::RunKind::Download, [this] {
                                return now;
                            }};
};

const jobs::AlbumInfo kAlbum{u"31258219"_s, u"专辑"_s, u"/music/专辑"_s};

} // namespace

TEST_F(JsonLinesHostTest, EveryEventIsOneLineWithItsFieldsInOrder) {
    host.albumStarted({u"7"_s, u"A"_s, u"out/A"_s});
    host.songFinished({kAlbum,
                       u"1001"_s,
                       u"晴天"_s,
                       jobs::SongState::Saved,
                       u"/music/专辑/晴天.mp3"_s,
                       3000,
                       {}});
    host.songFinished({kAlbum, u"1002"_s, u"雨"_s, jobs::SongState::Failed, u"/music/专辑/雨.mp3"_s,
                       0, u"尝试 5 次均失败: 500"_s});
    host.songFinished({kAlbum, u"1003"_s, u"x"_s, jobs::SongState::Archived, {}, 0, {}});
    host.jobError({kAlbum, {}, u"无法获取歌曲列表"_s});
    host.jobError({{}, u"18105010"_s, u"无法获取歌手页面: 18105010"_s});
    host.albumFinished(kAlbum, {1, 2, 1, 3000, 0});
    host.singerListed(0, u"18104396"_s, u"夜航星乐队"_s);
    host.summary({1, 2, 1, 3000, 0}, 1.23456, 1);
    const QString absolute = QDir::current().absoluteFilePath(u"out/A"_s);
    EXPECT_EQ(
        taken(),
        (QStringList{
            uR"({"event":"album","id":"7","title":"A","folder":")"_s + absolute + u"\"}",
            uR"({"event":"song","album":"31258219","id":"1001","title":"晴天","state":"saved","path":"/music/专辑/晴天.mp3","bytes":3000})"_s,
            uR"({"event":"song","album":"31258219","id":"1002","title":"雨","state":"failed","path":"/music/专辑/雨.mp3","bytes":0,"reason":"尝试 5 次均失败: 500"})"_s,
            uR"({"event":"song","album":"31258219","id":"1003","title":"x","state":"archived","path":"","bytes":0})"_s,
            uR"({"event":"error","album":"31258219","message":"无法获取歌曲列表"})"_s,
            uR"({"event":"error","album":"","singer":"18105010","message":"无法获取歌手页面: 18105010"})"_s,
            uR"({"event":"album-done","id":"31258219","saved":1,"present":2,"failed":1,"bytes":3000})"_s,
            uR"({"event":"singer","index":0,"id":"18104396","name":"夜航星乐队"})"_s,
            uR"({"event":"summary","saved":1,"present":2,"failed":1,"bytes":3000,"seconds":1.235,"exit":1})"_s,
        }));
    // The human side still hears of every song.
    EXPECT_EQ(inner.songs, 3);
}

TEST_F(JsonLinesHostTest, TextsAreEscapedSoEveryLineIsValidUtf8Json) {
    QString title = u"a\"b\\c\x01\n\t\x7f"_s;
    title += QChar(0xD83C);           // a high surrogate alone
    title += u'x';                    //
    title += QChar(0xDFB5);           // a low surrogate alone
    title += QString::fromUcs4(U"🎵"); // a pair: written as it is
    host.songFinished({kAlbum, u"1"_s, title, jobs::SongState::Saved, u"/a"_s, 1, {}});
    const QByteArray line = buffer.data();
    EXPECT_EQ(line, QByteArray(R"({"event":"song","album":"31258219","id":"1","title":)"
                               R"("a\"b\\c\u0001\u000a\u0009)"
                               "\x7f"
                               R"(\ud83cx\udfb5)"
                               "\xf0\x9f\x8e\xb5"
                               R"(","state":"saved","path":"/a","bytes":1})"
                               "\n"));
}

TEST_F(JsonLinesHostTest, ProgressIsThrottledPerSongAndUnknownTotalsAreNull) {
    host.songProgress({u"7"_s, u"1"_s}, 10, 100);
    now = 50;
    host.songProgress({u"7"_s, u"1"_s}, 20, 100); // too soon for song 1
    host.songProgress({u"7"_s, u"2"_s}, 5, -1);   // song 2 has a clock of its own
    now = 100;
    host.songProgress({u"7"_s, u"1"_s}, 30, 100);
    now = 150;
    host.songProgress({u"7"_s, u"1"_s}, 40, 100);
    // A song done: its next attempt (or a song of that ID in another album) starts afresh.
    host.songFinished({{u"7"_s, {}, {}}, u"1"_s, {}, jobs::SongState::Failed, {}, 0, u"x"_s});
    host.songProgress({u"7"_s, u"1"_s}, 1, 100);
    EXPECT_EQ(
        taken(),
        (QStringList{
            uR"({"event":"progress","album":"7","id":"1","bytes":10,"total":100})"_s,
            uR"({"event":"progress","album":"7","id":"2","bytes":5,"total":null})"_s,
            uR"({"event":"progress","album":"7","id":"1","bytes":30,"total":100})"_s,
            uR"({"event":"song","album":"7","id":"1","title":"","state":"failed","path":"","bytes":0,"reason":"x"})"_s,
            uR"({"event":"progress","album":"7","id":"1","bytes":1,"total":100})"_s,
        }));
    // The terminal bar has a throttle of its own: it is given every call.
    EXPECT_EQ(inner.progress, 6);
}

TEST_F(JsonLinesHostTest, ADryRunCountsWhatItPlanned) {
    cli::JsonLinesHost dry(&buffer, inner, cli::RunKind::DryRun, [] { return 0; });
    dry.songFinished({kAlbum, u"1"_s, u"t"_s, jobs::SongState::Planned, u"/m/t.mp3"_s, 0, {}});
    dry.albumFinished(kAlbum, {0, 1, 0, 0, 5});
    dry.summary({0, 1, 0, 0, 5}, 0, 0);
    EXPECT_EQ(
        taken(),
        (QStringList{
            uR"({"event":"song","album":"31258219","id":"1","title":"t","state":"planned","path":"/m/t.mp3","bytes":0})"_s,
            uR"({"event":"album-done","id":"31258219","saved":0,"planned":5,"present":1,"failed":0,"bytes":0})"_s,
            uR"({"event":"summary","saved":0,"planned":5,"present":1,"failed":0,"bytes":0,"seconds":0.000,"exit":0})"_s,
        }));
}
