#include "json/canonical.h"
#include "json/error.h"
#include "json/parser.h"
#include <gtest/gtest.h>
#include <thread>

using namespace orvana::json;
using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    QString tree;
    QString errors;
};

Outcome parse(const QString& text) {
    const std::optional<Value> result = Parse(text);
    return {ToCanonicalJson(result), ParseErrors()};
}

Outcome parse(const char16_t* text) {
    return parse(QStringView(text).toString());
}

void expectParse(const char16_t* text, const char16_t* tree, const char16_t* errors) {
    const Outcome got = parse(text);
    EXPECT_EQ(got.tree, QStringView(tree).toString())
        << "input: " << QStringView(text).toString().toStdString();
    EXPECT_EQ(got.errors, QStringView(errors).toString())
        << "input: " << QStringView(text).toString().toStdString();
}

TEST(Parse, TextWithoutABracketGivesNoObject) {
    for (const char16_t* text : {u"", u"   ", u"5", u"'x'", u"\"x\"", u"x{}", u"\uFEFF{}"})
        expectParse(text, u"none", u"Invalid JSON");
}

TEST(Parse, EachParseStartsWithAnEmptyErrorText) {
    (void)Parse(u"5"_s);
    EXPECT_EQ(ParseErrors(), u"Invalid JSON");
    expectParse(u"  {}", u"{}", u"");
}

TEST(Parse, TextAfterTheTopLevelValueIsIgnored) {
    expectParse(u"{} x", u"{}", u"");
    expectParse(u"[1]]]", u"[1]", u"");
}

TEST(SkipBlanks, ParenthesesAndCommentsAreBlanks) {
    expectParse(u"( [1] )", u"[1]", u"");
    expectParse(u"/* c */ {'a': // note\n 1}", u"{\"a\":1}", u"");
    expectParse(u"// line\r[1]", u"[1]", u"");
    // A lone "/" or "*" outside a comment is skipped like a blank.
    expectParse(u"/ [1]", u"[1]", u"");
    expectParse(u"* [1]", u"[1]", u"");
    // "*/" opens a line comment, as "//" does.
    expectParse(u"*/ x\n[1]", u"[1]", u"");
}

TEST(SkipBlanks, FollowsItsTableInsideBlockComments) {
    // A "*" met while pending is set clears pending, so these never close.
    expectParse(u"/* a **/ [1]", u"none", u"Invalid JSON");
    expectParse(u"/** doc */ [1]", u"none", u"Invalid JSON");
    // Pending survives other characters: any "*" later followed by "/" closes.
    expectParse(u"/* a * b / [1]", u"[1]", u"");
    // Line ends do not end a block comment.
    expectParse(u"/* a\n */ [1]", u"[1]", u"");
}

TEST(SkipBlanks, SlashInsideALineCommentEndsIt) {
    expectParse(u"// a / [1]", u"[1]", u"");
    expectParse(u"// a / x [1]", u"none", u"Invalid JSON");
}

TEST(SkipBlanks, StopsOnTheFirstOtherCharacter) {
    steps::Reset();
    const QString text = u" \t( /*x*/ ) y"_s;
    qsizetype position = 1;
    steps::SkipBlanks(text, position);
    EXPECT_EQ(position, 13);
    position = 13;
    steps::SkipBlanks(text, position);
    EXPECT_EQ(position, 13);
    const QString blanks = u"  // all comment"_s;
    position = 1;
    steps::SkipBlanks(blanks, position);
    EXPECT_EQ(position, blanks.size() + 1);
}

TEST(ParseKey, ReadsUnquotedQuotedAndMixedKeys) {
    expectParse(u"{a:1}", u"{\"a\":1}", u"");
    expectParse(u"{'a':'x'}", u"{\"a\":\"x\"}", u"");
    expectParse(u"{\"a\" : 1}", u"{\"a\":1}", u"");
    expectParse(u"{'a b':1}", u"{\"ab\":1}", u"");
    expectParse(u"{ab'c':1}", u"{\"abc\":1}", u"");
    expectParse(u"{'a:b':1}", u"{\"a:b\":1}", u"");
    expectParse(u"{a\\b:1}", u"{\"a\\\\b\":1}", u"");
    expectParse(u"{'':1}", u"{\"\":1}", u"");
}

TEST(ParseKey, EachQuoteFlipsOnlyItsOwnFlag) {
    // The double quote opens in-double; the colon inside it becomes part of the key, which then
    // runs to the end of the text.
    expectParse(u"{'a\"b':1}", u"{\"ab:1}\":empty}", u"Missing '}': {'a\"b':1}\r\n");
}

TEST(ParseKey, ClosingQuoteWithoutColon) {
    expectParse(u"{'a' 1}", u"{\"a\":1}", u"Invalid Key at position 6 : a\r\n");
    // The position is reported as computed, one past the end here.
    expectParse(u"{'a'", u"{\"a\":empty}",
                u"Invalid Key at position 5 : a\r\nMissing '}': {'a'\r\n");
}

TEST(ParseObject, MembersNeedNoComma) {
    expectParse(u"{'a':1 'b':2}", u"{\"a\":1,\"b\":2}", u"");
}

TEST(ParseObject, CommaBeforeTheCloserIsReadAsAKey) {
    expectParse(u"{'a':'x',}", u"{\"a\":\"x\",\"}\":empty}", u"Missing '}': {'a':'x',}\r\n");
}

TEST(ParseObject, DuplicateKeyEndsTheObject) {
    expectParse(u"{'a':1,'a':2}", u"{\"a\":1}", u"Duplicate key: a\r\n");
}

TEST(ParseObject, MalformedNullIsReadAgainAsAKey) {
    expectParse(u"{'a':nul}", u"{\"a\":empty,\"nul}\":empty}",
                u"Invalid null value at position 6 : nul}\r\nMissing '}': {'a':nul}\r\n");
}

TEST(ParseObject, MalformedBooleanGivesFalse) {
    expectParse(u"{a:tru}", u"{\"a\":false,\"tru}\":empty}",
                u"Invalid Boolean at position 4 : tru}\r\nMissing '}': {a:tru}\r\n");
}

TEST(ParseObject, NotClosedBeforeTheEnd) {
    expectParse(u"{'key':'value', 'other': 12345678", u"{\"key\":\"value\",\"other\":empty}",
                u"Missing '}': ', 'other': 12345678\r\n");
}

TEST(ParseObject, GuardOffABrace) {
    steps::Reset();
    qsizetype position = 2;
    const auto d = steps::ParseObject(u"x yz"_s, position);
    EXPECT_EQ(d->Count(), 0);
    EXPECT_EQ(position, 3);
    EXPECT_EQ(ParseErrors(), u"Invalid Object at position 3 : yz\r\n");
}

TEST(ParseArray, GuardOffABracketQuotesTwentyCharacters) {
    steps::Reset();
    qsizetype position = 1;
    const auto c = steps::ParseArray(u"abcdefghijklmnopqrstuvwxyz"_s, position);
    EXPECT_EQ(c->Count(), 0);
    EXPECT_EQ(position, 1);
    EXPECT_EQ(ParseErrors(), u"Invalid Array at position 1 : abcdefghijklmnopqrst\r\n");
}

TEST(ParseArray, ItemsNeedNoComma) {
    expectParse(u"[1 2]", u"[1,2]", u"");
    expectParse(u"[1,'a',\"b\",true,false,null,{},[]]", u"[1,\"a\",\"b\",true,false,null,{},[]]",
                u"");
}

TEST(ParseArray, FailuresAreCaughtByTheNearestArray) {
    expectParse(u"[1,,2]", u"[1]", u"Type mismatch: ,2]\r\n");
    expectParse(u"[1,]", u"[1]", u"Type mismatch: ]\r\n");
    expectParse(u"[1-2]", u"[]", u"Type mismatch: ]\r\n");
    expectParse(u"[True]", u"[]", u"Type mismatch: True]\r\n");
    expectParse(u"[79228162514264337593543950336]", u"[]", u"Overflow: ]\r\n");
}

TEST(ParseArray, EndOfTextMessages) {
    expectParse(u"[1", u"[empty]", u"Missing ']': [1\r\n");
    expectParse(u"['abc", u"[\"abc\"]", u"Missing ']': ['abc\r\n");
    expectParse(u"[1,", u"[1,empty]", u"Missing ']': [1,\r\n");
    expectParse(u"['a long string that goes on", u"[\"a long string that goes on\"]",
                u"Missing ']':  string that goes on\r\n");
}

TEST(ParseArray, EnclosingLevelCarriesOnFromTheFailure) {
    // The inner array stops at the second comma; the object reads the rest as a key.
    expectParse(u"{'a':[1,,2],'b':3}", u"{\"a\":[1],\"2],b\":3}", u"Type mismatch: ,2],'b':3}\r\n");
}

TEST(ParseArray, MalformedLiteralIsAddedOnceAndEndsTheArray) {
    expectParse(u"[tru, 1]", u"[false]", u"Invalid Boolean at position 2 : tru, 1]\r\n");
    expectParse(u"[1, nul, 2]", u"[1,empty]", u"Invalid null value at position 5 : nul, 2]\r\n");
    // Each enclosing array meets the literal again and records it once.
    expectParse(u"[[nul], 2]", u"[[empty],empty]",
                u"Invalid null value at position 3 : nul], 2]\r\n"
                u"Invalid null value at position 3 : nul], 2]\r\n");
}

TEST(ParseValue, LiteralsNeedNoDelimiterAndMatchCase) {
    expectParse(u"[truex]", u"[true]", u"Type mismatch: x]\r\n");
    expectParse(u"[nullfalse]", u"[null,false]", u"");
}

TEST(ParseString, EscapesAndQuotes) {
    expectParse(u"['\\u00e9']", u"[\"\u00e9\"]", u"");
    expectParse(u"['\\x']", u"[\"x\"]", u"");
    expectParse(u"['a\"b', \"a'b\"]", u"[\"a\\\"b\",\"a'b\"]", u"");
    expectParse(u"['it\\'s \\\"q\\\" \\/ \\\\']", u"[\"it's \\\"q\\\" / \\\\\"]", u"");
    expectParse(u"['\\b\\f\\n\\r\\t']", u"[\"\\u0008\\u000c\\u000a\\u000d\\u0009\"]", u"");
    // Upper-case hex; no pairing, the two units simply follow each other.
    expectParse(u"['\\uD83D\\uDE00', '\\uDE00']", u"[\"\U0001F600\",\"\\ude00\"]", u"");
}

TEST(ParseString, UnicodeEscapeAlwaysTakesFourCharacters) {
    // Leading hex digits only: 12 then the quote is taken as part of the escape.
    expectParse(u"['\\u12']", u"[\"\\u0012\"]", u"Missing ']': ['\\u12']\r\n");
    // The quote after "zz" went with the escape, so the string closes at the next quote.
    expectParse(u"['\\uzz', 'x']", u"[\"\\u0000 \"]", u"Type mismatch: x']\r\n");
    expectParse(u"['\\u", u"[\"\\u0000\"]", u"Missing ']': ['\\u\r\n");
}

TEST(ParseString, UnclosedStringRunsToTheEndWithoutItsOwnMessage) {
    steps::Reset();
    qsizetype position = 1;
    EXPECT_EQ(steps::ParseString(u"\"abc\\"_s, position), u"abc");
    EXPECT_EQ(position, 6);
    EXPECT_EQ(ParseErrors(), u"");
}

TEST(ParseNumber, NumberAtTheEndIsNotConverted) {
    steps::Reset();
    qsizetype position = 1;
    EXPECT_TRUE(steps::ParseNumber(u" 12"_s, position).isEmpty());
    EXPECT_EQ(position, 4);
    position = 1;
    EXPECT_THROW((void)steps::ParseNumber(u"1-2 "_s, position), orvana::Error);
    EXPECT_EQ(position, 4);
}

TEST(ParseNumber, StoresExactDecimals) {
    expectParse(u"{'k':1e3}", u"{\"k\":1000}", u"");
    const std::optional<Value> tenth = Parse(u"{'k':0.1}"_s);
    const Decimal k = tenth->dictionary()->Item(u"k"_s).toNumber();
    EXPECT_EQ(k.coefficient(), 1u);
    EXPECT_EQ(k.scale(), 1);
    expectParse(u"[1., .5, -0, 1e-40, +7]", u"[1,0.5,0,0,7]", u"");
}

QString repeated(QStringView piece, int count) {
    QString out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

TEST(Nesting, FiveHundredTwelveContainersParse) {
    const QString text = repeated(u"[", 511) + u"{'a':1}" + repeated(u"]", 511);
    const Outcome got = parse(text);
    EXPECT_EQ(got.errors, u"");
    EXPECT_EQ(got.tree, repeated(u"[", 511) + u"{\"a\":1}" + repeated(u"]", 511));
}

TEST(Nesting, TheFiveHundredThirteenthStopsTheParse) {
    // Every open container returns what it holds, with no further message (no "Missing ']'").
    const QString text = u"{'k':[1, "_s + repeated(u"[", 510) + u"[2], 3, 4";
    const Outcome got = parse(text);
    EXPECT_EQ(got.errors, u"Nesting too deep at position " + QString::number(10 + 510) + u"\r\n");
    EXPECT_EQ(got.tree, u"{\"k\":[1," + repeated(u"[", 510) + repeated(u"]", 510) + u"]}");
}

TEST(Nesting, HundredThousandBracketsDoNotOverflowTheStack) {
    const Outcome got = parse(repeated(u"[", 100000));
    EXPECT_EQ(got.errors, u"Nesting too deep at position 513\r\n");
    EXPECT_EQ(got.tree, repeated(u"[", 512) + repeated(u"]", 512));
    const Outcome objects = parse(repeated(u"{a:", 100000));
    EXPECT_EQ(objects.errors,
              u"Nesting too deep at position " + QString::number(512 * 3 + 1) + u"\r\n");
}

TEST(Nesting, ParseStartsAfresh) {
    (void)Parse(repeated(u"[", 600));
    expectParse(u"[[1]]", u"[[1]]", u"");
}

TEST(ErrorText, IsKeptPerThread) {
    (void)Parse(u"[1,,2]"_s);
    QString otherErrors;
    std::thread other([&] {
        (void)Parse(u"{'a':1,'a':2}"_s);
        otherErrors = ParseErrors();
    });
    other.join();
    EXPECT_EQ(otherErrors, u"Duplicate key: a\r\n");
    EXPECT_EQ(ParseErrors(), u"Type mismatch: ,2]\r\n");
}

TEST(ErrorText, StaysBoundedWhenManyLinesQuoteALongRest) {
    // Every malformed null quotes the rest of the text: unbounded, these lines would need
    // gigabytes for a text of about a megabyte.
    QString text = u"{"_s;
    for (int i = 0; i < 100000; ++i)
        text += u"k" + QString::number(i) + u":n ";
    const std::optional<Value> result = Parse(text);
    const QString errors = ParseErrors();
    ASSERT_TRUE(result);
    EXPECT_TRUE(errors.startsWith(u"Invalid null value at position 5 : n k1:n "));
    EXPECT_TRUE(errors.endsWith(u"\r\nToo many errors, the rest were not recorded\r\n"));
    EXPECT_LE(errors.size(), (qsizetype(1) << 24) + text.size() + 100);
    EXPECT_EQ(result->dictionary()->Count(), 100001);
}

} // namespace
