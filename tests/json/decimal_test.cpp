#include "json/decimal.h"
#include "json/error.h"
#include <gtest/gtest.h>
#include <limits>

using orvana::Error;
using orvana::ErrorKind;
using orvana::json::Decimal;
using namespace Qt::StringLiterals;

namespace {

QString plain(const char16_t* text) {
    return Decimal::fromText(QStringView(text)).toPlainString();
}

// The failure's kind and message, or nothing when the conversion succeeds.
std::pair<ErrorKind, QString> failureOf(const char16_t* text) {
    try {
        (void)Decimal::fromText(QStringView(text));
    } catch (const Error& e) {
        return {e.kind(), e.message()};
    }
    ADD_FAILURE() << "expected a failure for " << QString::fromUtf16(text).toStdString();
    return {ErrorKind::Shape, QString()};
}

const std::pair<ErrorKind, QString> kTypeMismatch{ErrorKind::TypeMismatch, u"Type mismatch"_s};
const std::pair<ErrorKind, QString> kOverflow{ErrorKind::Overflow, u"Overflow"_s};

TEST(Decimal, ConvertsExactly) {
    EXPECT_EQ(plain(u"1e3"), u"1000");
    const Decimal tenth = Decimal::fromText(u"0.1");
    EXPECT_EQ(tenth.coefficient(), 1u);
    EXPECT_EQ(tenth.scale(), 1);
    EXPECT_EQ(plain(u"0.1"), u"0.1");
    EXPECT_EQ(plain(u"-12.50"), u"-12.5");
    EXPECT_EQ(plain(u"+5"), u"5");
    EXPECT_EQ(plain(u"100e-2"), u"1");
    EXPECT_EQ(plain(u"1.5E+2"), u"150");
    EXPECT_EQ(plain(u"000.000120"), u"0.00012");
    EXPECT_EQ(plain(u"1e28"), u"10000000000000000000000000000");
}

TEST(Decimal, AcceptsADigitOnEitherSideOfThePoint) {
    EXPECT_EQ(plain(u"1."), u"1");
    EXPECT_EQ(plain(u".5"), u"0.5");
    EXPECT_EQ(plain(u"-.5e1"), u"-5");
}

TEST(Decimal, RefusesOtherArrangementsAsTypeMismatch) {
    for (const char16_t* text : {u"", u"-", u"+", u".", u"1e", u"5-", u"e5", u"1-2", u"1.2.3",
                                 u"--1", u"1e+", u"1e5.5", u"1e2e3", u" 1", u".e1", u"1E-"})
        EXPECT_EQ(failureOf(text), kTypeMismatch) << QString::fromUtf16(text).toStdString();
}

TEST(Decimal, NegativeZeroPrintsZero) {
    const Decimal z = Decimal::fromText(u"-0.000");
    EXPECT_TRUE(z.isZero());
    EXPECT_EQ(z.toPlainString(), u"0");
    EXPECT_EQ(z, Decimal(0));
}

TEST(Decimal, OverflowBoundary) {
    EXPECT_EQ(plain(u"79228162514264337593543950335"), u"79228162514264337593543950335");
    EXPECT_EQ(plain(u"-79228162514264337593543950335"), u"-79228162514264337593543950335");
    EXPECT_EQ(plain(u"7.9228162514264337593543950335e28"), u"79228162514264337593543950335");
    EXPECT_EQ(failureOf(u"79228162514264337593543950336"), kOverflow);
    EXPECT_EQ(failureOf(u"-79228162514264337593543950336"), kOverflow);
    EXPECT_EQ(failureOf(u"1e29"), kOverflow);
    EXPECT_EQ(failureOf(u"1e999999999999999999999"), kOverflow);
    // The whole-number rounding decides: .4 rounds down into range, .5 rounds the odd 5 up.
    EXPECT_EQ(plain(u"79228162514264337593543950335.4999"), u"79228162514264337593543950335");
    EXPECT_EQ(failureOf(u"79228162514264337593543950335.5"), kOverflow);
    EXPECT_EQ(plain(u"79228162514264337593543950334.5"), u"79228162514264337593543950334");
}

TEST(Decimal, RoundsHalfToEvenAtTheTwentyEighthPlace) {
    EXPECT_EQ(plain(u"0.00000000000000000000000000015"), u"0.0000000000000000000000000002");
    EXPECT_EQ(plain(u"0.00000000000000000000000000025"), u"0.0000000000000000000000000002");
    EXPECT_EQ(plain(u"0.000000000000000000000000000251"), u"0.0000000000000000000000000003");
    EXPECT_EQ(plain(u"0.00000000000000000000000000014999"), u"0.0000000000000000000000000001");
    EXPECT_EQ(plain(u"1.0000000000000000000000000000001"), u"1");
    EXPECT_EQ(plain(u"3.14159265358979323846264338327950288"), u"3.1415926535897932384626433833");
}

TEST(Decimal, RoundsToTheLargestScaleThatFits) {
    EXPECT_EQ(plain(u"12345678901234567890.123456789012345"), u"12345678901234567890.123456789");
    // At scale 1 the tie rounds up past 96 bits, so scale 0 is taken.
    EXPECT_EQ(plain(u"7922816251426433759354395033.55"), u"7922816251426433759354395034");
}

TEST(Decimal, ValuesTooSmallBecomeZero) {
    EXPECT_EQ(plain(u"1e-40"), u"0");
    EXPECT_EQ(plain(u"-1e-999999999999999"), u"0");
    EXPECT_EQ(plain(u"0.00000000000000000000000000005"), u"0");
    EXPECT_EQ(plain(u"0.00000000000000000000000000006"), u"0.0000000000000000000000000001");
    EXPECT_EQ(plain(u"0e999999999999"), u"0");
}

TEST(Decimal, ComparesNumerically) {
    EXPECT_EQ(Decimal::fromText(u"1.50"), Decimal::fromText(u"1.5"));
    EXPECT_LT(Decimal::fromText(u"-1"), Decimal::fromText(u"0.5"));
    EXPECT_LT(Decimal::fromText(u"-2"), Decimal::fromText(u"-1.5"));
    EXPECT_GT(Decimal::fromText(u"79228162514264337593543950335"),
              Decimal::fromText(u"7.9228162514264337593543950335"));
    EXPECT_LT(Decimal::fromText(u"0.0000000000000000000000000001"), Decimal::fromText(u"1"));
}

TEST(Decimal, FromIntegersAndParts) {
    EXPECT_EQ(Decimal(-5).toPlainString(), u"-5");
    EXPECT_EQ(Decimal(std::numeric_limits<int64_t>::min()).toPlainString(),
              u"-9223372036854775808");
    EXPECT_EQ(Decimal(std::numeric_limits<uint64_t>::max()).toPlainString(),
              u"18446744073709551615");
    EXPECT_EQ(Decimal::fromParts(true, 5, 28).toPlainString(), u"-0.0000000000000000000000000005");
    EXPECT_EQ(Decimal::fromParts(false, 120, 2).toPlainString(), u"1.2");
    EXPECT_THROW((void)Decimal::fromParts(false, Decimal::kMaxCoefficient + 1, 0), Error);
    EXPECT_THROW((void)Decimal::fromParts(false, 1, 29), Error);
}

} // namespace
