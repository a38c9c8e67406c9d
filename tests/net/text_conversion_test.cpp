#include "net/text_conversion.h"

#include <gtest/gtest.h>

using orvana::CleanFileName;
using orvana::Utf8BytesToText;

TEST(Utf8BytesToText, DecodesAndKeepsByteOrderMark) {
    EXPECT_EQ(Utf8BytesToText(QByteArray()), QString());
    EXPECT_EQ(Utf8BytesToText(QByteArray("\xEF\xBB\xBF"
                                         "ab")),
              QStringLiteral("\uFEFFab"));
    EXPECT_EQ(Utf8BytesToText(QByteArray("\xE4\xB8\xAD\xE6\x96\x87")), QStringLiteral("中文"));
    // A character outside the basic plane becomes a surrogate pair.
    EXPECT_EQ(Utf8BytesToText(QByteArray("\xF0\x9F\x8E\xB5")), QString::fromUtf16(u"\U0001F3B5"));
}

TEST(Utf8BytesToText, MalformedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8BytesToText(QByteArray("a\xFF"
                                         "b")),
              QStringLiteral("a\uFFFDb"));
    // A sequence cut off at the end: Qt's converter replaces each of its bytes.
    EXPECT_EQ(Utf8BytesToText(QByteArray("a\xE4\xB8")), QStringLiteral("a\uFFFD\uFFFD"));
    const QString overlong = Utf8BytesToText(QByteArray("\xC0\xAF"
                                                        "x"));
    EXPECT_TRUE(overlong.endsWith(u'x'));
    EXPECT_FALSE(overlong.contains(u'/'));
    EXPECT_TRUE(orvana::IsValidUtf8(QByteArray("\xEF\xBB\xBF\xE4\xB8\xAD")));
    EXPECT_FALSE(orvana::IsValidUtf8(QByteArray("a\xFF")));
    EXPECT_FALSE(orvana::IsValidUtf8(QByteArray("a\xE4\xB8")));
}

TEST(CleanFileName, RemovesTheTenCharactersAndOuterSpaces) {
    EXPECT_EQ(CleanFileName(QStringLiteral("a/b:c.mp3")), QStringLiteral("abcmp3"));
    EXPECT_EQ(CleanFileName(QStringLiteral("?|/\\*:\"<>.")), QString());
    EXPECT_EQ(CleanFileName(QStringLiteral("?")), QString());
    EXPECT_EQ(CleanFileName(QStringLiteral("  My  Song. ")), QStringLiteral("My  Song"));
    EXPECT_EQ(CleanFileName(QStringLiteral(" . x . ")), QStringLiteral("x"));
}

TEST(CleanFileName, LeavesEverythingElse) {
    EXPECT_EQ(CleanFileName(QStringLiteral("\ta;b\t")), QStringLiteral("\ta;b\t"));
    EXPECT_EQ(CleanFileName(QStringLiteral("\u3000歌\u00A0")), QStringLiteral("\u3000歌\u00A0"));
    EXPECT_EQ(CleanFileName(QStringLiteral("CON")), QStringLiteral("CON"));
    const QString clean = QStringLiteral("周杰伦 - 晴天 (Live)");
    EXPECT_EQ(CleanFileName(clean), clean);
}
