// The singer catalogue: category rows, the link rules of get singers, the ticked-singer run.
#include "jobs/catalogue.h"
#include "net/cookie_store.h"
#include "tools/portal-sim/portal_sim.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvana;
using namespace std::chrono_literals;
using portal::Endpoint;
using portal::Fault;

namespace {

const QString kHost = QStringLiteral("music.example:8080");

class StatusHost : public jobs::JobHost {
public:
    void setStatus(const QString& text) override { statuses.append(text); }
    void showMessage(const QString& text) override { messages.append(text); }
    QStringList statuses;
    QStringList messages;
};

} // namespace

TEST(SingerCategories, RowsTextsAndSeparators) {
    ASSERT_EQ(jobs::kSingerCategories.size(), 15u);
    EXPECT_EQ(jobs::kSingerCategories[0].text, u"全部歌手");
    EXPECT_EQ(jobs::kSingerCategories[4].text, u"华语乐队组合");
    EXPECT_EQ(jobs::kSingerCategories[11].text, u"日韩女歌手");
    EXPECT_EQ(jobs::kSingerCategories[14].text, u"其他歌手");
    for (int row = 0; row < 15; ++row) {
        const bool separator = row == 1 || row == 5 || row == 9 || row == 13;
        EXPECT_EQ(jobs::IsSeparatorRow(row), separator) << row;
        EXPECT_EQ(jobs::kSingerCategories[row].text == u"=============", separator) << row;
    }
    EXPECT_FALSE(jobs::IsSeparatorRow(-1));
    EXPECT_FALSE(jobs::IsSeparatorRow(15));
}

TEST(SingerCategories, IndexAddressByRowIndex) {
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 0), u"http://music.example:8080/artist");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 2), u"http://music.example:8080/artist/cn/male");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 8),
              u"http://music.example:8080/artist/western/group");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 12), u"http://music.example:8080/artist/jpkr/group");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 14), u"http://music.example:8080/artist/other");
    // A row without a path, a separator or no selection: the bare index.
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 5), u"http://music.example:8080/artist");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, -1), u"http://music.example:8080/artist");
    EXPECT_EQ(jobs::ArtistIndexAddress(kHost, 15), u"http://music.example:8080/artist");
}

TEST(SingerLinks, ReducesRelativeAndAbsoluteLinksAndKeepsDocumentOrder) {
    const QString page =
        QStringLiteral("<a href=\"/artist\">全部</a><a href=\"/artist/cn/male\">华语男歌手</a>"
                       "<a href=\"http://music.example:8080/artist/200\" title=\"乙\">乙</a>"
                       "<a href=\"/artist/100\" title=\"甲 &amp; 丙\"><img src=\"x.jpg\">甲</a>"
                       "<a href=\"/artist/300?page=2\" title=\"翻页\">下一页</a>"
                       "<a href=\"http://other.example/artist/400\" title=\"别处\">别处</a>"
                       "<a href=\"about:/artist/500\" title=\"戊\">戊</a>");
    const jobs::SingerLists lists = jobs::SingerLinks(page, kHost);
    EXPECT_EQ(lists.ids, (QStringList{u"200"_qs, u"100"_qs, u"500"_qs}));
    EXPECT_EQ(lists.names, (QStringList{u"乙"_qs, u"甲 & 丙"_qs, u"戊"_qs}));
}

TEST(SingerLinks, BlankTextSkippedMissingTitleEmptyNameDuplicatesKept) {
    const QString page =
        QStringLiteral("<a href=\"/artist/1\" title=\"空白\">   </a>"
                       "<a href=\"/artist/2\" title=\"图片\"><img src=\"a.jpg\"></a>"
                       "<a href=\"/artist/3\">没有标题</a>"
                       "<a href=\"/artist/4\" title=\"重复\">重复</a>"
                       "<a href=\"http://music.example:8080/artist/4\" title=\"重复\">重复</a>"
                       "<a href=\"/artist/\" title=\"空号\">空号</a>");
    const jobs::SingerLists lists = jobs::SingerLinks(page, kHost);
    EXPECT_EQ(lists.ids, (QStringList{u"3"_qs, u"4"_qs, u"4"_qs}));
    EXPECT_EQ(lists.names, (QStringList{QString(), u"重复"_qs, u"重复"_qs}));
    EXPECT_EQ(lists.size(), 3);
}

TEST(SingerLinks, OnlySpacesMakeALinkTextBlank) {
    // A no-break space, an ideographic space and a vertical tab are text, not spaces.
    const QString page = QStringLiteral("<a href=\"/artist/1\" title=\"a\"> \t </a>"
                                        "<a href=\"/artist/2\" title=\"b\">&nbsp;</a>"
                                        "<a href=\"/artist/3\" title=\"c\">\u3000</a>"
                                        "<a href=\"/artist/4\" title=\"d\">\v</a>"
                                        "<a href=\"/artist/5\" title=\"e\">  </a>");
    // The page's own blanks (the tab) are spaces by the time the text is read.
    EXPECT_EQ(jobs::SingerLinks(page, kHost).ids, (QStringList{u"2"_qs, u"3"_qs, u"4"_qs}));
}

TEST(SingerLinks, CountText) {
    EXPECT_EQ(jobs::SingerCountText(0), u"共获取歌手0位, 请勾选需要下载的歌手");
    EXPECT_EQ(jobs::SingerCountText(12), u"共获取歌手12位, 请勾选需要下载的歌手");
}

namespace {

class CatalogueTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        portal.start();
        transport = std::make_unique<net::ModDownFile>(
            std::make_shared<net::TransportSession>(std::make_shared<net::CookieStore>()));
        host = QString::fromStdString(portal.host());
        settings.portalHost = host;
        settings.outputRoot = dir.path();
    }

    std::vector<std::string> singerPages() const {
        std::vector<std::string> out;
        for (const auto& r : portal.requests("/artist/"))
            out.push_back(r.path);
        return out;
    }

    portal::PortalSim portal{portal::DemoCatalogue(), portal::PortalOptions{1000, 60s}};
    QTemporaryDir dir;
    std::unique_ptr<net::ModDownFile> transport;
    QString host;
    jobs::JobSettings settings;
    StatusHost status;
};

} // namespace

TEST_F(CatalogueTest, GetSingersOfRowZeroAndRowFourteen) {
    const jobs::SingerLists all = jobs::GetSingers(*transport, host, 0);
    const jobs::SingerLists other = jobs::GetSingers(*transport, host, 14);

    const auto requests = portal.requests("/artist");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests.at(0).method, "GET");
    EXPECT_EQ(requests.at(0).path, "/artist");
    EXPECT_EQ(requests.at(0).query, "");
    EXPECT_EQ(requests.at(1).path, "/artist/other");

    // Every singer of the portal, absolute and relative links alike; the blank link is not one.
    EXPECT_EQ(all.size(), int(portal.catalogue().singers.size()));
    EXPECT_EQ(all.ids.at(0), u"18104396");
    EXPECT_EQ(all.names.at(0), u"夜航星乐队");
    EXPECT_EQ(all.ids.at(1), u"18104397");
    EXPECT_FALSE(all.ids.contains(u"99999999"_qs));
    EXPECT_EQ(other.ids, QStringList{u"18105010"_qs});
    EXPECT_EQ(other.names, QStringList{u"Other/Voice"_qs});
}

TEST_F(CatalogueTest, FailedIndexFetchIsAnErrorNamingTheAddress) {
    portal.addFault(Endpoint::ArtistIndex, Fault::Status500);
    try {
        (void)jobs::GetSingers(*transport, host, 4);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(u"/artist/cn/group")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(u"500")) << e.message().toStdString();
    }
}

TEST_F(CatalogueTest, TickedRunDownloadsTickedRowsInRowOrderThenSaysDone) {
    const jobs::SingerLists lists{{u"甲"_qs, u"乙"_qs, u"丙"_qs, u"丁"_qs},
                                  {u"18105010"_qs, u"18104397"_qs, u"18105001"_qs, u"18104397"_qs}};
    std::vector<int> asked;
    QStringList done;
    const jobs::TickedRunSummary run = jobs::DownloadTickedSingers(
        jobs::RowsOf(lists,
                     [&asked](int row) {
                         asked.push_back(row);
                         return row != 1;
                     }),
        *transport, status, settings, {},
        [&done](const QString& id, const jobs::SingerSummary&) { done.append(id); });

    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(run.ids, (QStringList{u"18105010"_qs, u"18105001"_qs, u"18104397"_qs}));
    EXPECT_EQ(done, run.ids);
    EXPECT_EQ(singerPages(), (std::vector<std::string>{"/artist/18105010", "/artist/18105001",
                                                       "/artist/18104397"}));
    EXPECT_TRUE(run.complete());
    EXPECT_EQ(status.statuses.last(), u"所选专辑已下载完毕.");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{u"OtherVoice"_qs, u"无专辑歌手"_qs, u"雨桐"_qs}));
}

TEST_F(CatalogueTest, NothingTickedOrEmptyListsStillSayDone) {
    const jobs::SingerLists lists{{u"甲"_qs}, {u"18105010"_qs}};
    const jobs::TickedRunSummary none = jobs::DownloadTickedSingers(
        jobs::RowsOf(lists, [](int) { return false; }), *transport, status, settings);
    const jobs::TickedRunSummary empty = jobs::DownloadTickedSingers(
        jobs::RowsOf({}, [](int) { return true; }), *transport, status, settings);

    EXPECT_TRUE(none.singers.isEmpty());
    EXPECT_TRUE(empty.singers.isEmpty());
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_EQ(status.statuses, QStringList(2, u"所选专辑已下载完毕."_qs));
}

TEST_F(CatalogueTest, CancelledRunStopsAtTheNextRowWithoutTheDoneText) {
    auto cancel = std::make_shared<net::CancelToken>();
    settings.cancel = cancel;
    const jobs::SingerLists lists{{u"甲"_qs, u"乙"_qs}, {u"18104397"_qs, u"18105010"_qs}};
    const jobs::TickedRunSummary run = jobs::DownloadTickedSingers(
        jobs::RowsOf(lists, [](int) { return true; }), *transport, status, settings, {},
        [&cancel](const QString&, const jobs::SingerSummary&) { cancel->cancel(); });

    EXPECT_TRUE(run.cancelled);
    EXPECT_FALSE(run.complete());
    EXPECT_EQ(run.ids, QStringList{u"18104397"_qs});
    EXPECT_FALSE(status.statuses.contains(u"所选专辑已下载完毕."_qs));
}

TEST_F(CatalogueTest, ProxyIsReadAtEachSingersStart) {
    const jobs::SingerLists lists{{u"甲"_qs, u"乙"_qs}, {u"18105010"_qs, u"18104397"_qs}};
    jobs::TickedRowSource rows = jobs::RowsOf(lists, [](int) { return true; });
    int asked = 0;
    // Ticked with a text that cannot be read by the time the second singer starts.
    rows.proxyAtStart = [&asked] {
        return ++asked == 1 ? net::ProxySetting{} : net::ProxySetting{true, u"ftp://x:1"_qs};
    };
    const jobs::TickedRunSummary run =
        jobs::DownloadTickedSingers(rows, *transport, status, settings);

    EXPECT_EQ(asked, 2);
    ASSERT_EQ(run.singers.size(), 2);
    EXPECT_EQ(run.singers[0].outcome, jobs::JobOutcome::Finished);
    EXPECT_EQ(run.singers[1].outcome, jobs::JobOutcome::NotStarted);
    EXPECT_EQ(status.messages, QStringList{u"代理地址无效"_qs});
    EXPECT_EQ(singerPages(), std::vector<std::string>{"/artist/18105010"});
}

TEST_F(CatalogueTest, RefusedProxyEndsTheRunAfterOneMessageWithoutTheDoneText) {
    settings.proxy = {true, u"ftp://x:1"_qs};
    const jobs::SingerLists lists{{u"甲"_qs, u"乙"_qs}, {u"18104397"_qs, u"18105010"_qs}};
    const jobs::TickedRunSummary run = jobs::DownloadTickedSingers(
        jobs::RowsOf(lists, [](int) { return true; }), *transport, status, settings);

    EXPECT_EQ(run.singers.size(), 1);
    EXPECT_EQ(status.messages, QStringList{u"代理地址无效"_qs});
    EXPECT_EQ(status.statuses, QStringList());
    EXPECT_TRUE(portal.requests().empty());
}
