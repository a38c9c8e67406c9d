#include "json/error.h"
#include "json/string_builder.h"
#include <gtest/gtest.h>

using orvana::cStringBuilder;
using orvana::Error;
using orvana::ErrorKind;

namespace {

cStringBuilder builderWith(const QString& text) {
    cStringBuilder b;
    b.Append(text);
    return b;
}

ErrorKind failureOf(auto&& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.kind();
    }
    ADD_FAILURE() << "expected an orvana::Error";
    return ErrorKind::Shape;
}

void expectState(const cStringBuilder& b, const QString& text, int32_t capacity) {
    EXPECT_EQ(b.toString(), text);
    EXPECT_EQ(b.Length(), text.size());
    EXPECT_EQ(b.Capacity(), capacity);
}

} // namespace

TEST(StringBuilder, NewBuilderIsEmptyWithDefaultChunk) {
    cStringBuilder b;
    expectState(b, QString(), 0);
    EXPECT_EQ(b.ChunkSize(), 8192);
    EXPECT_TRUE(b.toString().isNull());
}

TEST(StringBuilder, CapacityGrowsByWholeChunks) {
    auto b = builderWith(QStringLiteral("abc"));
    expectState(b, QStringLiteral("abc"), 8192);

    cStringBuilder big;
    big.Append(QString(8193, u'x'));
    EXPECT_EQ(big.Capacity(), 16384);
    big.Append(QString(8191, u'y'));
    EXPECT_EQ(big.Capacity(), 16384);
    big.Append(u"z");
    EXPECT_EQ(big.Capacity(), 24576);
    EXPECT_EQ(big.Length(), 16385);
    EXPECT_EQ(big.toString(), QString(8193, u'x') + QString(8191, u'y') + u'z');

    cStringBuilder exact;
    exact.Append(QString(8192, u'x'));
    EXPECT_EQ(exact.Capacity(), 8192);
}

TEST(StringBuilder, ChunkSizeAffectsLaterGrowthAndRefusesBelowOne) {
    cStringBuilder b;
    b.ChunkSize(4);
    b.Append(u"abcde");
    EXPECT_EQ(b.Capacity(), 8);
    b.ChunkSize(100);
    b.Append(u"fghi");
    EXPECT_EQ(b.Capacity(), 108);
    EXPECT_EQ(failureOf([&] { b.ChunkSize(0); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(failureOf([&] { b.ChunkSize(-5); }), ErrorKind::InvalidArgument);
    EXPECT_EQ(b.ChunkSize(), 100);
}

TEST(StringBuilder, AppendNLAndByValue) {
    cStringBuilder b;
    b.AppendNL(u"a");
    b.AppendByVal(QStringLiteral("b"));
    b.Append(QChar(u'c'));
    EXPECT_EQ(b.toString(), QStringLiteral("a\r\nbc"));
}

TEST(StringBuilder, InsertAtEveryValidIndexAndRefusesBeyond) {
    for (int i = 0; i <= 3; ++i) {
        auto b = builderWith(QStringLiteral("abc"));
        b.Insert(i, u"x");
        QString expected = QStringLiteral("abc");
        expected.insert(i, u'x');
        EXPECT_EQ(b.toString(), expected);
    }
    auto b = builderWith(QStringLiteral("abc"));
    EXPECT_EQ(failureOf([&] { b.Insert(4, u"x"); }), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(failureOf([&] { b.Insert(-1, u"x"); }), ErrorKind::IndexOutOfRange);
    expectState(b, QStringLiteral("abc"), 8192);
    b.InsertByVal(1, QStringLiteral("yz"));
    EXPECT_EQ(b.toString(), QStringLiteral("ayzbc"));
}

TEST(StringBuilder, InsertLongerThanFreeRoomGrowsByWholeChunks) {
    cStringBuilder b;
    b.ChunkSize(4);
    b.Append(u"abc");           // capacity 4, one free
    b.Insert(1, u"0123456789"); // needs 13: three more chunks
    expectState(b, QStringLiteral("a0123456789bc"), 16);
}

TEST(StringBuilder, RemoveRanges) {
    auto b = builderWith(QStringLiteral("abc"));
    b.Remove(1, 1);
    expectState(b, QStringLiteral("ac"), 8192);

    auto c = builderWith(QStringLiteral("abc"));
    EXPECT_EQ(failureOf([&] { c.Remove(2, 2); }), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(failureOf([&] { c.Remove(4, 0); }), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(failureOf([&] { c.Remove(0, -1); }), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(failureOf([&] { c.Remove(-1, 1); }), ErrorKind::IndexOutOfRange);
    c.Remove(3, 0);
    expectState(c, QStringLiteral("abc"), 8192);
    c.Remove(0, 3);
    expectState(c, QString(), 8192);
}

TEST(StringBuilder, FindSearchesOnlyTheBuiltText) {
    auto b = builderWith(QStringLiteral("abc"));
    EXPECT_EQ(b.Find(u"b"), 2);
    EXPECT_EQ(b.Find(u"c"), 3);
    EXPECT_EQ(b.Find(u"x"), 0);
    EXPECT_EQ(b.Find(u"a", 2), 0);
    EXPECT_EQ(b.Find(u"a", -7), 1);
    EXPECT_EQ(b.Find(u"c "), 0); // spaces follow in the buffer, not in the text
    EXPECT_EQ(b.Find(u"B"), 0);
    EXPECT_EQ(b.Find(u"B", 1, cStringBuilder::Compare::IgnoreCase), 2);
    b.Remove(1, 2); // stale "bc" stays behind in the buffer
    EXPECT_EQ(b.Find(u"b"), 0);
}

TEST(StringBuilder, HeapMinimizeGivesBackWholeChunks) {
    cStringBuilder b;
    b.Append(QString(10000, u'x'));
    b.Remove(3, 9997);
    EXPECT_EQ(b.Capacity(), 16384);
    b.HeapMinimize();
    expectState(b, QStringLiteral("xxx"), 8192);
    b.HeapMinimize();
    EXPECT_EQ(b.Capacity(), 8192);
    b.Append(u"yz");
    EXPECT_EQ(b.toString(), QStringLiteral("xxxyz"));
}

TEST(StringBuilder, ClearAndTheString) {
    auto b = builderWith(QString(9000, u'x'));
    b.ChunkSize(100);
    b.Clear();
    expectState(b, QString(), 0);
    EXPECT_EQ(b.ChunkSize(), 100);

    cStringBuilder t;
    t.TheString(u"abc");
    expectState(t, QStringLiteral("abc"), 8192);
    t.TheString(u"z"); // reuses the allocation
    expectState(t, QStringLiteral("z"), 8192);
    t.TheString(QString(20000, u'q'));
    expectState(t, QString(20000, u'q'), 24576);
    t.TheString(u"");
    expectState(t, QString(), 0);
}

TEST(StringBuilder, OwnTextAsArgumentIsCopiedBeforeGrowth) {
    cStringBuilder b;
    b.ChunkSize(1);
    b.Append(u"abcdef");
    b.Append(b.view());
    EXPECT_EQ(b.toString(), QStringLiteral("abcdefabcdef"));
    b.Insert(0, b.view().mid(6, 3));
    EXPECT_EQ(b.toString(), QStringLiteral("abcabcdefabcdef"));
    b.TheString(b.view().mid(3, 3));
    EXPECT_EQ(b.toString(), QStringLiteral("abc"));
}
