// The tuned parser against the character-at-a-time reference: every tree, error text and
// position must agree, on the seed corpus and on many generated texts of the tolerant dialect.
#include "tests/json/reference_parser.h"

#include "json/error.h"
#include "json/parser.h"
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

using namespace orvana::json;
using namespace Qt::StringLiterals;

namespace {

// Everything observable about a value, numbers with their exact scale and sign.
QString describe(const Value& value) {
    switch (value.kind()) {
    case Value::Kind::Empty:
        return u"empty"_s;
    case Value::Kind::Null:
        return u"null"_s;
    case Value::Kind::Boolean:
        return value.toBool() ? u"true"_s : u"false"_s;
    case Value::Kind::String:
        return u"s\""_s + value.toString() + u'"';
    case Value::Kind::Number: {
        const Decimal d = value.toNumber();
        return u"n("_s + (d.isNegative() ? u"-"_s : u"+"_s) + d.toPlainString() + u" scale "_s +
               QString::number(d.scale()) + u')';
    }
    case Value::Kind::Dictionary: {
        QString out = u"{"_s;
        const auto dictionary = value.dictionary();
        for (const auto& [key, item] : *dictionary)
            out += u"k\""_s + key + u"\"="_s + describe(item) + u';';
        // Lookups go through the index once it exists; each key must find its own value.
        for (const auto& [key, item] : *dictionary) {
            if (describe(dictionary->Item(key)) != describe(item))
                out += u"!lookup "_s + key;
        }
        return out + u'}';
    }
    case Value::Kind::Collection: {
        QString out = u"["_s;
        for (const Value& item : *value.collection())
            out += describe(item) + u';';
        return out + u']';
    }
    }
    return {};
}

QString describe(const std::optional<Value>& value) {
    return value ? describe(*value) : u"none"_s;
}

// Changes every container of the tree the same way: each collection gets one more item, each
// dictionary one more member (or a new value for it), innermost first. Our containers start in
// the parse's arena and move out as they change; the reference's were filled through Add.
void growEverywhere(const Value& value) {
    if (const auto collection = value.collection()) {
        for (qsizetype i = 1; i <= collection->Count(); ++i)
            growEverywhere(collection->Item(i));
        collection->Add(Value::fromString(u"an added item"_s));
    } else if (const auto dictionary = value.dictionary()) {
        for (const Value& member : dictionary->Items())
            growEverywhere(member);
        dictionary->setItem(u"+"_s, Value::fromString(u"an added member"_s));
    }
}

struct Outcome {
    QString result;
    qsizetype position = 0;
    QString errors;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << o.result.toStdString() << " @" << o.position << " errors " << o.errors.toStdString();
}

template <typename Step> QString runCatching(Step step) {
    try {
        return step();
    } catch (const orvana::Error& e) {
        return u"throws "_s + e.message();
    }
}

// One step of the tuned parser, then the same step of the reference, from one position.
Outcome tunedStep(const QString& text, qsizetype start, int which) {
    steps::Reset();
    qsizetype p = start;
    QString result = runCatching([&]() -> QString {
        switch (which) {
        case 0:
            return u"s\""_s + steps::ParseString(text, p) + u'"';
        case 1:
            return u"k\""_s + steps::ParseKey(text, p) + u'"';
        case 2:
            return describe(steps::ParseNumber(text, p));
        default:
            return describe(steps::ParseValue(text, p));
        }
    });
    return {result, p, ParseErrors()};
}

Outcome referenceStep(const QString& text, qsizetype start, int which) {
    reference::steps::Reset();
    qsizetype p = start;
    QString result = runCatching([&]() -> QString {
        switch (which) {
        case 0:
            return u"s\""_s + reference::steps::ParseString(text, p) + u'"';
        case 1:
            return u"k\""_s + reference::steps::ParseKey(text, p) + u'"';
        case 2:
            return describe(reference::steps::ParseNumber(text, p));
        default:
            return describe(reference::steps::ParseValue(text, p));
        }
    });
    return {result, p, reference::ParseErrors()};
}

// The whole parse, the tree after growEverywhere, and every string, key, number and value step
// from every position.
void expectSameAsReference(const QString& text) {
    const std::optional<Value> tuned = Parse(text);
    const Outcome whole{describe(tuned), 0, ParseErrors()};
    const std::optional<Value> oracle = reference::Parse(text);
    const Outcome expected{describe(oracle), 0, reference::ParseErrors()};
    ASSERT_EQ(whole, expected) << "text: " << text.toStdString();
    if (tuned) {
        growEverywhere(*tuned);
        growEverywhere(*oracle);
        ASSERT_EQ(describe(tuned), describe(oracle)) << "grown, text: " << text.toStdString();
    }
    for (qsizetype start = 0; start <= text.size() + 1; ++start) {
        for (int which = 0; which < 4; ++which) {
            ASSERT_EQ(tunedStep(text, start, which), referenceStep(text, start, which))
                << "text: " << text.toStdString() << " step " << which << " from " << start;
        }
    }
}

// Pieces of the dialect, chosen to meet every branch of the string, key and number readers
// (escapes on both sides of an 8-unit boundary included, through the varying lengths).
const QStringList kPieces = {
    u"{"_s,
    u"}"_s,
    u"["_s,
    u"]"_s,
    u":"_s,
    u","_s,
    u"\""_s,
    u"'"_s,
    u"\\"_s,
    u"\\u"_s,
    u"\\u00e9"_s,
    u"\\uD83D"_s,
    u"\\u4"_s,
    u"\\x"_s,
    u"\\/"_s,
    u"\\\""_s,
    u"\\n"_s,
    u"\\b"_s,
    u"\\f"_s,
    u"\\r"_s,
    u"\\t"_s,
    u"\\'"_s,
    u"\\\\"_s,
    u"/*"_s,
    u"*/"_s,
    u"//"_s,
    u"("_s,
    u")"_s,
    u" "_s,
    u"\t"_s,
    u"\r\n"_s,
    u"null"_s,
    u"nul"_s,
    u"true"_s,
    u"fals"_s,
    u"0"_s,
    u"7"_s,
    u"-"_s,
    u"."_s,
    u"e"_s,
    u"12.50"_s,
    u"-0.00"_s,
    u"007"_s,
    u"1e3"_s,
    u"9999999999999999999"_s,
    u"18446744073709551616"_s,
    u"a"_s,
    u"key"_s,
    u"\u00e9"_s,
    u"\u6674"_s,
    u"abcdefgh"_s,
    u"\"k\":"_s,
    u"'k':"_s,
};

QString randomText(std::mt19937& random, int pieces) {
    std::uniform_int_distribution<qsizetype> pick(0, kPieces.size() - 1);
    QString text;
    for (int i = 0; i < pieces; ++i)
        text += kPieces[pick(random)];
    return text;
}

TEST(ParserDifferential, AgreesOnTheSeedCorpus) {
    const QDir corpus(QStringLiteral(ORVANA_TEST_DATA_DIR "/../fuzz/corpus/json"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        SCOPED_TRACE(name.toStdString());
        expectSameAsReference(QString::fromUtf8(file.readAll()));
    }
}

TEST(ParserDifferential, AgreesOnGeneratedTexts) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        const int pieces = 1 + round % 24;
        QString text = randomText(random, pieces);
        // Most real texts start with a bracket; many generated ones should get past the start.
        if (round % 2 == 0)
            text.prepend(round % 4 == 0 ? u'{' : u'[');
        expectSameAsReference(text);
        if (HasFatalFailure())
            return;
    }
}

TEST(ParserDifferential, AgreesOnNumbersAroundTheShortCut) {
    // Integers and simple decimals of up to 19 digits take a short cut; around it the general
    // reader decides. Scale and sign must come out the same either way.
    for (const char16_t* number : {u"0",
                                   u"-0",
                                   u"-0.0",
                                   u"007",
                                   u"1.50",
                                   u"100.000",
                                   u"9999999999999999999",
                                   u"18446744073709551615",
                                   u"18446744073709551616",
                                   u"99999999999999999999",
                                   u"0.0000000000000000001",
                                   u"0.00000000000000000001",
                                   u"1234567890.123456789",
                                   u"00000000000000000000001",
                                   u"79228162514264337593543950336",
                                   u"1.",
                                   u".5",
                                   u"+1",
                                   u"1e-2",
                                   u"1-2",
                                   u"--1",
                                   u"-"}) {
        expectSameAsReference(u"["_s + QStringView(number).toString() + u"]"_s);
        expectSameAsReference(u"{k:"_s + QStringView(number).toString() + u",x:1}"_s);
    }
}

TEST(ParserDifferential, AgreesOnLongStringsAndManyMembers) {
    // Long runs exercise the block scan; 40 members pass the point where duplicates are hashed.
    QString members = u"{"_s;
    for (int i = 0; i < 40; ++i)
        members += u"\"k"_s + QString::number(i) + u"\":"_s + QString::number(i) + u".10,"_s;
    expectSameAsReference(members + u"\"k7\":1}"_s);
    expectSameAsReference(members + u"'k40':[1,2,{'k1':'x'}]}"_s);
    QString html = u"['"_s;
    for (int i = 0; i < 200; ++i)
        html += u"<a href=\\\"\\/s\\/"_s + QString::number(i) + u"\\\">\u6674\\u5929<\\/a>"_s;
    expectSameAsReference(html + u"']"_s);
    expectSameAsReference(html);
}

TEST(ParserDifferential, ParsedContainersStayUsable) {
    QString text = u"{"_s;
    for (int i = 1; i <= 20; ++i)
        text += u"k"_s + QString::number(i) + u":"_s + QString::number(i) + u' ';
    const auto dictionary = Parse(text + u"list:[1]}"_s)->dictionary();
    ASSERT_EQ(dictionary->Count(), 21);
    EXPECT_EQ(dictionary->Item(u"k17"_s).toNumber(), Decimal(17));
    dictionary->setItem(u"k3"_s, Value::fromBool(true));
    EXPECT_EQ(dictionary->Keys().indexOf(u"k3"_s), 2);
    EXPECT_TRUE(dictionary->Item(u"k3"_s).toBool());
    EXPECT_THROW(dictionary->Add(u"k20"_s, Value::null()), orvana::Error);
    dictionary->Add(u"k21"_s, Value::null());
    EXPECT_TRUE(dictionary->Item(u"k21"_s).isNull());
    const auto list = dictionary->Item(u"list"_s).collection();
    list->Add(Value::fromString(u"x"_s));
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Item(2).toString(), u"x");
}

} // namespace
