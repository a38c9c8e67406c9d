#include "jobs/download_page.h"

#include <gtest/gtest.h>

using orvana::jobs::CutFileAddress;

TEST(CutFileAddress, TakesTheLastLinkClosedByQuoteBrace) {
    const QString page =
        QStringLiteral(R"(x={"link":"\/data\/music\/file?link=http:\/\/h\/file\/1\/128.mp3"},)"
                       R"({"link":"\/data\/music\/file?link=http:\/\/h\/file\/1\/320.mp3"}];)");
    EXPECT_EQ(CutFileAddress(page), QStringLiteral("http://h/file/1/320.mp3"));
}

TEST(CutFileAddress, CutsAtQuotEntityWhenNoQuoteBraceFollows) {
    const QString page = QStringLiteral(
        R"(<div data-info="{&quot;link&quot;:&quot;\/data\/music\/file?link=http:\/\/h\/a.mp3&quot;}">)");
    EXPECT_EQ(CutFileAddress(page), QStringLiteral("http://h/a.mp3"));
}

TEST(CutFileAddress, QuoteBraceAnywhereAfterTheLinkWinsOverAnEarlierQuot) {
    const QString page = QStringLiteral(R"(\/data\/music\/file?link=a&quot;b"})");
    EXPECT_EQ(CutFileAddress(page), QStringLiteral("a&quot;b"));
}

TEST(CutFileAddress, NoMarkerOrNoEndMarkGivesNothing) {
    EXPECT_EQ(CutFileAddress(QString()), std::nullopt);
    EXPECT_EQ(CutFileAddress(QStringLiteral("/data/music/file?link=http://h/a.mp3\"}")),
              std::nullopt);
    EXPECT_EQ(CutFileAddress(QStringLiteral(R"(\/data\/music\/file?link=http:\/\/h\/a.mp3")")),
              std::nullopt);
    // An end mark only before the last marker does not count.
    EXPECT_EQ(CutFileAddress(QStringLiteral(R"("}\/data\/music\/file?link=x)")), std::nullopt);
}

TEST(CutFileAddress, AnEmptyAddressIsCutAsEmpty) {
    EXPECT_EQ(CutFileAddress(QStringLiteral(R"(\/data\/music\/file?link="})")), QString());
}
