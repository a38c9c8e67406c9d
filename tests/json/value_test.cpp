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

TEST(Value, NumbersKeepCoefficientSignAndScale) {
    // The value holds the decimal in two words: every bit of it must come back.
    const Decimal cases[] = {
        Decimal::fromParts(false, Decimal::kMaxCoefficient, 0),
        Decimal::fromParts(true, Decimal::kMaxCoefficient, 28), Decimal::fromParts(true, 0, 3),
        Decimal::fromParts(false, (static_cast<unsigned __int128>(1) << 64) + 5, 7), Decimal(-1)};
    for (const Decimal& d : cases) {
        const Decimal back = Value::fromNumber(d).toNumber();
        EXPECT_TRUE(back.coefficient() == d.coefficient());
        EXPECT_EQ(back.scale(), d.scale());
        EXPECT_EQ(back.isNegative(), d.isNegative());
    }
}

TEST(Value, StringsSurviveCopiesMovesAndTheirTree) {
    // Long enough to live in an arena, short enough to be held in the value itself.
    const QString longText = u"a string that lives in its arena"_s;
    Value a = Value::fromString(longText);
    Value b = a;
    Value c = std::move(b);
    a = c;
    const Value& alias = a;
    a = alias;
    c = Value::null();
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(a.toString(), longText);
    QString copy = a.toString();
    copy[0] = u'A'; // a copy: the value keeps its text
    EXPECT_EQ(a.toString(), longText);

    Value kept;
    Value shortKept;
    {
        const std::optional<Value> tree = Parse(u"{'a': ['" + longText + u"', 'short']}");
        const auto list = tree->dictionary()->Item(u"a"_s).collection();
        kept = list->Item(1);
        shortKept = list->Item(2);
    }
    // The values hold the parse's arena: the texts are still there once the tree is gone.
    EXPECT_EQ(kept.toString(), longText);
    EXPECT_EQ(kept.stringView(), longText);
    EXPECT_EQ(shortKept.toString(), u"short");
}

TEST(Value, ContainerPointersAreSharedAndKeepTheirTree) {
    std::shared_ptr<Dictionary> inner;
    std::shared_ptr<Collection> list;
    {
        const Value tree = *Parse(u"{'data': {'html': 'the fragment of the page', 'n': [1, 2]}}"_s);
        const auto top = tree.dictionary();
        EXPECT_EQ(top, tree.dictionary()); // every call gives the one object of the container
        inner = top->Item(u"data"_s).dictionary();
        list = inner->Item(u"n"_s).collection();
        EXPECT_EQ(list, inner->Item(u"n"_s).collection());
    }
    EXPECT_EQ(inner->Item(u"html"_s).toString(), u"the fragment of the page");
    // Iterating the container of a temporary pointer is safe while a value holds it.
    const Value n = inner->Item(u"n"_s);
    QString seen;
    for (const Value& item : *n.collection())
        seen += item.toNumber().toPlainString();
    EXPECT_EQ(seen, u"12");
    list->Add(Value::fromString(u"grown after the parse"_s));
    EXPECT_EQ(n.collection()->Count(), 3);
    EXPECT_EQ(n.collection()->Item(3).toString(), u"grown after the parse");
}

TEST(Value, ContainersHoldingThemselvesOrOtherTreesAreReleased) {
    // A container of a hand-made arena that holds itself is freed with its last outside holder
    // (the leak checker of the sanitizer build would see it otherwise).
    auto loop = std::make_shared<Collection>();
    loop->Add(Value::fromString(u"an item of some length"_s));
    loop->Add(Value::fromCollection(loop));
    EXPECT_EQ(loop->Item(2).collection(), Value::fromCollection(loop).collection());
    EXPECT_EQ(loop->Item(2).collection()->Item(1).toString(), u"an item of some length");

    // A tree stored in another container lives as long as that container holds it.
    auto variables = std::make_shared<Dictionary>();
    variables->Add(u"tree"_s, *Parse(u"['kept by the dictionary', {'k': 'v'}]"_s));
    const auto tree = variables->Item(u"tree"_s).collection();
    EXPECT_EQ(tree->Item(1).toString(), u"kept by the dictionary");
    variables->setItem(u"tree"_s, Value::fromString(u"replaced, which releases the tree"_s));
    EXPECT_EQ(tree->Item(1).toString(), u"kept by the dictionary"); // still held by tree
    auto other = std::make_shared<Collection>();
    other->Add(*Parse(u"{'parsed': 'held by a collection'}"_s));
    other->Add(variables->Item(u"tree"_s));
    other->Clear();
    EXPECT_EQ(other->Count(), 0);
    EXPECT_EQ(variables->Item(u"tree"_s).toString(), u"replaced, which releases the tree");
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
    c->Add(Value::fromString(u"an item longer than a short string"_s));
    Value v = Value::fromCollection(c);
    const Value& item = *c->begin();
    c.reset();
    v = item;
    EXPECT_EQ(v.toString(), u"an item longer than a short string");
    Value w = *Parse(u"{'k': 'the only value of the tree'}"_s);
    w = w.dictionary()->Item(u"k"_s);
    EXPECT_EQ(w.toString(), u"the only value of the tree");
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

TEST(Containers, ParsedOnesGrowWithoutDisturbingTheirTree) {
    const Value tree = *Parse(u"[1, 'two', [3], {'a': 1, 'b': 2}]"_s);
    const auto parsed = tree.collection();
    const auto inner = parsed->Item(3).collection();
    for (int i = 0; i < 20; ++i)
        parsed->Add(Value::fromNumber(Decimal(i)));
    EXPECT_EQ(parsed->Count(), 24);
    EXPECT_EQ(parsed->Item(2).toString(), u"two");
    EXPECT_EQ(parsed->Item(24).toNumber(), Decimal(19));
    // The inner containers did not move: their pointers and contents are as they were.
    EXPECT_EQ(parsed->Item(3).collection(), inner);
    inner->Add(Value::null());
    EXPECT_EQ(parsed->Item(3).collection(), inner); // the same object after its first change
    const auto members = parsed->Item(4).dictionary();
    members->setItem(u"a"_s, Value::fromString(u"replaced in its place"_s));
    for (int i = 0; i < 20; ++i)
        members->Add(u"k" + QString::number(i), Value::fromNumber(Decimal(i)));
    EXPECT_THROW(members->Add(u"k7"_s, Value()), orvana::Error);
    EXPECT_EQ(members->Item(u"k19"_s).toNumber(), Decimal(19));
    QString expected = u"[1,\"two\",[3,null],{\"a\":\"replaced in its place\",\"b\":2"_s;
    for (int i = 0; i < 20; ++i)
        expected += u",\"k" + QString::number(i) + u"\":" + QString::number(i);
    expected += u'}';
    for (int i = 0; i < 20; ++i)
        expected += u',' + QString::number(i);
    EXPECT_EQ(ToCanonicalJson(Value::fromCollection(parsed)), expected + u']');
    // Clearing a parsed container that was reached but never changed.
    const auto untouched = Parse(u"[[1, 2], 3]"_s)->collection();
    const auto pair = untouched->Item(1).collection();
    pair->Clear();
    EXPECT_EQ(ToCanonicalJson(Value::fromCollection(untouched)), u"[[],3]");
}

TEST(Containers, LargeParsedDictionariesFindEveryKey) {
    // Past a few members a parsed dictionary is stored with an index.
    QString text = u"{"_s;
    for (int i = 0; i < 100; ++i)
        text += u"'key_number_" + QString::number(i) + u"': " + QString::number(i) + u",";
    const auto d = Parse(text + u"'last': 'x'}")->dictionary();
    ASSERT_EQ(d->Count(), 101);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(d->Item(u"key_number_" + QString::number(i)).toNumber(), Decimal(i));
    EXPECT_TRUE(d->Item(u"key_number_100"_s).isEmpty());
    EXPECT_EQ(failureOf([&] { d->Add(u"key_number_5"_s, Value()); }), ErrorKind::DuplicateKey);
    d->Add(u"key_number_100"_s, Value::null());
    EXPECT_TRUE(d->Item(u"key_number_100"_s).isNull());
    EXPECT_EQ(d->Keys().at(100), u"last");
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
