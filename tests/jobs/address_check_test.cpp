#include "jobs/address_check.h"

#include <gtest/gtest.h>

using orvana::jobs::AddressKind;
using orvana::jobs::CheckAddress;

namespace {

const QString kHost = QStringLiteral("music.orvana.example");

std::optional<QString> album(const QString& text) {
    return CheckAddress(text, kHost, AddressKind::Album);
}

} // namespace

TEST(CheckAddress, AcceptsEveryFormOfAnAlbumAddress) {
    for (const QString& text : {QStringLiteral("http://music.orvana.example/album/31258219"),
                                QStringLiteral("http://music.orvana.example/album/31258219/"),
                                QStringLiteral("music.orvana.example/album/31258219"),
                                QStringLiteral("31258219"), QStringLiteral("  31258219  "),
                                QStringLiteral(" http://music.orvana.example/album/31258219 ")})
        EXPECT_EQ(album(text), QStringLiteral("31258219")) << text.toStdString();
}

TEST(CheckAddress, RefusesWhatDoesNotReduceToDigits) {
    for (const QString& text : {QStringLiteral(""), QStringLiteral("   "),
                                QStringLiteral("http://music.orvana.example/album/31258219?x=1"),
                                QStringLiteral("HTTP://music.orvana.example/album/31258219"),
                                QStringLiteral("http://MUSIC.orvana.example/album/31258219"),
                                QStringLiteral("http://music.orvana.example/artist/18104396"),
                                QStringLiteral("http://other.example/album/31258219"),
                                QStringLiteral("1e5"), QStringLiteral("-5"), QStringLiteral("1.5"),
                                QStringLiteral("１２３"), QStringLiteral("12\t")})
        EXPECT_EQ(album(text), std::nullopt) << text.toStdString();
}

TEST(CheckAddress, SingerAddressesUseTheArtistPath) {
    EXPECT_EQ(CheckAddress(QStringLiteral("http://music.orvana.example/artist/18104396"), kHost,
                           AddressKind::Singer),
              QStringLiteral("18104396"));
    EXPECT_EQ(CheckAddress(QStringLiteral("http://music.orvana.example/album/1"), kHost,
                           AddressKind::Singer),
              std::nullopt);
}

TEST(CheckAddress, AHostWithAPortIsRemovedWhole) {
    EXPECT_EQ(CheckAddress(QStringLiteral("http://127.0.0.1:8080/album/42"),
                           QStringLiteral("127.0.0.1:8080"), AddressKind::Album),
              QStringLiteral("42"));
}
