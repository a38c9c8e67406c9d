#include "json/canonical.h"
#include "json/error.h"
#include "json/parser.h"
#include "json/value.h"
#include <gtest/gtest.h>

using namespace orvana::json;
using namespace Qt::StringLiterals;
using orvana::Error;
using orvana::ErrorKind;

namespace {

ErrorKind failureOf(auto&& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.kind();
    }
    ADD_FAILURE() << "expected an orvana::Error";
    return ErrorKind::Shape;
}

Value str(const char16_t* text) {
    return Value::fromString(QString::fromUtf16(text));
}

TEST(Value, KindsAndAccessors) {
    EXPECT_TRUE(Value().isEmpty());
    EXPECT_TRUE(Value::null().isNull());
    EXPECT_FALSE(Value::null().isEmpty());
    EXPECT_TRUE(Value::fromBool(true).toBool());
    EXPECT_EQ(str(u"x").toString(), u"x");
    EXPECT_EQ(Value::fromNumber(Decimal(7)).toNumber(), Decimal(7));
    EXPECT_EQ(Value::fromDictionary(nullptr).kind(), Value::Kind::Empty);
    EXPECT_TRUE(Value::fromCollection(std::make_shared<Collection>()).isObject());

    EXPECT_EQ(failureOf([] { (void)Value().toString(); }), ErrorKind::TypeMismatch);
    EXPECT_EQ(failureOf([] { (void)str(u"true").toBool(); }), ErrorKind::TypeMismatch);
    EXPECT_EQ(failureOf([] { (void)Value::null().toNumber(); }), ErrorKind::TypeMismatch);
    EXPECT_EQ(str(u"x").dictionary(), nullptr);
    EXPECT_EQ(str(u"x").collection(), nullptr);
}

TEST(Value, StringsHoldExactlyOneReferenceEach) {
    QString text = QString::number(123456789);
    {
        Value a = Value::fromString(text);
        Value b = a;
        Value c = std::move(b);
        a = c;
        const Value& alias = a;
        a = alias;
        c = Value::null();
        EXPECT_FALSE(text.isDetached());
        EXPECT_EQ(a.toString(), u"123456789");
        QString copy = a.toString();
        copy[0] = u'9'; // detaches; the value keeps its text
        EXPECT_EQ(a.toString(), u"123456789");
    }
    // Every reference a Value took has been given back.
    EXPECT_TRUE(text.isDetached());
}

TEST(Value, NullEmptyAndLiteralStringsSurviveCopies) {
    const Value null = Value::fromString(QString());
    const Value empty = Value::fromString(u""_s);
    const Value literal = Value::fromString(QStringLiteral("literal"));
    const Value copies[] = {null, empty, literal};
    EXPECT_TRUE(copies[0].toString().isNull());
    EXPECT_FALSE(copies[1].toString().isNull());
    EXPECT_TRUE(copies[1].toString().isEmpty());
    EXPECT_EQ(copies[2].toString(), u"literal");
    EXPECT_TRUE(copies[2].isString());
}

TEST(Value, AssigningFromInsideTheLastOwnerOfItsContainer) {
    // The collection is owned only by v; assigning one of its items to v must read the item
    // before the collection goes.
    auto c = std::make_shared<Collection>();
    c->Add(Value::fromString(QString::number(42)));
    Value v = Value::fromCollection(c);
    const Value& item = *c->begin();
    c.reset();
    v = item;
    EXPECT_EQ(v.toString(), u"42");
    auto d = std::make_shared<Collection>();
    d->Add(Value::fromNumber(Decimal(7)));
    Value w = Value::fromCollection(d);
    Value& inside = const_cast<Value&>(*d->begin());
    d.reset();
    w = std::move(inside);
    EXPECT_EQ(w.toNumber(), Decimal(7));
}

TEST(Dictionary, KeepsInsertionOrderAndExactKeys) {
    Dictionary d;
    d.Add(u"b"_s, str(u"1"));
    d.Add(u"B"_s, str(u"2"));
    d.Add(QString(), str(u"empty key"));
    d.Add(u"a"_s, str(u"3"));
    EXPECT_EQ(d.Keys(), QStringList({u"b"_s, u"B"_s, QString(), u"a"_s}));
    EXPECT_EQ(d.Item(u"B"_s).toString(), u"2");
    EXPECT_EQ(d.Item(QString()).toString(), u"empty key");
    EXPECT_TRUE(d.Item(u"A"_s).isEmpty());
    EXPECT_FALSE(d.Exists(u"A"_s));
    EXPECT_EQ(d.Count(), 4);
}

TEST(Dictionary, DuplicateAddFailsAndChangesNothing) {
    Dictionary d;
    d.Add(u"k"_s, str(u"first"));
    try {
        d.Add(u"k"_s, str(u"second"));
        ADD_FAILURE() << "expected Duplicate key";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::DuplicateKey);
        EXPECT_EQ(e.message(), u"Duplicate key");
    }
    EXPECT_EQ(d.Count(), 1);
    EXPECT_EQ(d.Item(u"k"_s).toString(), u"first");
}

TEST(Dictionary, SetItemReplacesInPlace) {
    Dictionary d;
    d.setItem(u"x"_s, str(u"1"));
    d.setItem(u"y"_s, str(u"2"));
    d.setItem(u"x"_s, str(u"3"));
    EXPECT_EQ(d.Keys(), QStringList({u"x"_s, u"y"_s}));
    EXPECT_EQ(d.Items().first().toString(), u"3");
}

TEST(Dictionary, ManyMembersStayFindableAndUnique) {
    // Past a few members lookups go through an index; it must agree with the member list.
    Dictionary d;
    for (int i = 0; i < 200; ++i)
        d.Add(QString::number(i), Value::fromNumber(Decimal(i)));
    EXPECT_EQ(failureOf([&] { d.Add(u"150"_s, Value()); }), ErrorKind::DuplicateKey);
    d.setItem(u"7"_s, str(u"seven"));
    d.setItem(u"new"_s, str(u"last"));
    EXPECT_EQ(d.Count(), 201);
    EXPECT_EQ(d.Item(u"7"_s).toString(), u"seven");
    EXPECT_EQ(d.Item(u"199"_s).toNumber(), Decimal(199));
    EXPECT_EQ(d.Keys().last(), u"new");
    int expected = 0;
    for (const auto& [key, value] : d) {
        if (expected == 200)
            break;
        EXPECT_EQ(key, QString::number(expected++));
    }
}

TEST(Collection, PositionsStartAtOne) {
    Collection c;
    c.Add(str(u"first"));
    c.Add(Value::null());
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(c.Item(1).toString(), u"first");
    EXPECT_TRUE(c.Item(2).isNull());
    EXPECT_EQ(failureOf([&] { (void)c.Item(0); }), ErrorKind::IndexOutOfRange);
    EXPECT_EQ(failureOf([&] { (void)c.Item(3); }), ErrorKind::IndexOutOfRange);
}

TEST(Containers, ParsedOnesCopyMoveAndGrowApartFromTheirBlock) {
    const auto parsed = Parse(u"[1, 'two', [3]]"_s)->collection();
    Collection copy = *parsed;
    copy.Add(Value::null());
    EXPECT_EQ(parsed->Count(), 3);
    EXPECT_EQ(copy.Count(), 4);
    EXPECT_EQ(copy.Item(2).toString(), u"two");
    // The inner container is shared, not copied.
    EXPECT_EQ(copy.Item(3).collection(), parsed->Item(3).collection());
    for (int i = 0; i < 20; ++i)
        parsed->Add(Value::fromNumber(Decimal(i)));
    EXPECT_EQ(parsed->Count(), 23);
    EXPECT_EQ(parsed->Item(2).toString(), u"two");
    EXPECT_EQ(parsed->Item(23).toNumber(), Decimal(19));
    Collection moved = std::move(*parsed);
    EXPECT_EQ(moved.Count(), 23);
    const auto small = Parse(u"[1,2]"_s)->collection();
    Collection fromBlock = std::move(*small);
    EXPECT_EQ(fromBlock.Count(), 2);
    EXPECT_EQ(fromBlock.Item(2).toNumber(), Decimal(2));
    *small = fromBlock;
    EXPECT_EQ(ToCanonicalJson(Value::fromCollection(small)), u"[1,2]");
}

TEST(Containers, AreSharedByReference) {
    const std::optional<Value> tree = Parse(u"{'inner': {'n': [1]}}"_s);
    ASSERT_TRUE(tree);
    const auto inner = tree->dictionary()->Item(u"inner"_s).dictionary();
    inner->setItem(u"added"_s, Value::fromBool(true));
    inner->Item(u"n"_s).collection()->Add(Value::null());
    EXPECT_EQ(ToCanonicalJson(tree), u"{\"inner\":{\"n\":[1,null],\"added\":true}}");
}

} // namespace
