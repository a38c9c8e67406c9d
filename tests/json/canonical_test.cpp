#include "json/canonical.h"
#include "json/error.h"
#include <gtest/gtest.h>

using namespace orvana::json;
using namespace Qt::StringLiterals;

namespace {

TEST(CanonicalString, EscapesOnlyQuotesBackslashesControlsAndLoneSurrogates) {
    EXPECT_EQ(CanonicalString(u"a\"b\\c/d'"), u"\"a\\\"b\\\\c/d'\"");
    EXPECT_EQ(CanonicalString(QStringView(u"\x01\x1f\x7f \u00e9", 5)),
              u"\"\\u0001\\u001f\x7f \u00e9\"");
    EXPECT_EQ(CanonicalString(QString(QChar(0))), u"\"\\u0000\"");
    const char16_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(CanonicalString(QStringView(pair, 2)), u"\"\U0001F600\"");
    const char16_t lone[] = {0xD800, u'x', 0xDC00, 0xDBFF};
    EXPECT_EQ(CanonicalString(QStringView(lone, 4)), u"\"\\ud800x\\udc00\\udbff\"");
    const char16_t reversed[] = {0xDE00, 0xD83D};
    EXPECT_EQ(CanonicalString(QStringView(reversed, 2)), u"\"\\ude00\\ud83d\"");
}

TEST(ToCanonicalJson, WritesEveryKind) {
    auto d = std::make_shared<Dictionary>();
    auto c = std::make_shared<Collection>();
    c->Add(Value());
    c->Add(Value::null());
    c->Add(Value::fromBool(true));
    c->Add(Value::fromBool(false));
    c->Add(Value::fromNumber(Decimal::fromText(u"-0.50")));
    c->Add(Value::fromNumber(Decimal::fromText(u"-0")));
    d->Add(u"q\"\n"_s, Value::fromCollection(c));
    d->Add(u"s"_s, Value::fromString(u"x"_s));
    EXPECT_EQ(ToCanonicalJson(Value::fromDictionary(d)),
              u"{\"q\\\"\\u000a\":[empty,null,true,false,-0.5,0],\"s\":\"x\"}");
    EXPECT_EQ(ToCanonicalJson(std::optional<Value>()), u"none");
    EXPECT_EQ(ToCanonicalJson(Value()), u"empty");
}

TEST(ToCanonicalJson, DeepHandBuiltTreesDoNotRecurse) {
    auto root = std::make_shared<Collection>();
    auto current = root;
    for (int i = 0; i < 200000; ++i) {
        auto next = std::make_shared<Collection>();
        current->Add(Value::fromCollection(next));
        current = next;
    }
    EXPECT_EQ(ToCanonicalJson(Value::fromCollection(root)).size(), 2 * 200001);
    // Releasing a deep chain is recursive in the destructors; unlink it from the bottom up.
    std::vector<std::shared_ptr<Collection>> chain;
    for (auto c = root; c && c->Count() > 0; c = c->Item(1).collection())
        chain.push_back(c);
    current.reset();
    while (!chain.empty()) {
        chain.back()->Clear();
        chain.pop_back();
    }
}

TEST(ToCanonicalJson, RefusesAContainerThatHoldsItself) {
    auto d = std::make_shared<Dictionary>();
    d->Add(u"self"_s, Value::fromDictionary(d));
    EXPECT_THROW((void)ToCanonicalJson(Value::fromDictionary(d)), orvana::Error);
    d->setItem(u"self"_s, Value()); // break the cycle so the dictionary is freed
    // The same container twice side by side is no cycle.
    auto shared = std::make_shared<Collection>();
    auto twice = std::make_shared<Collection>();
    twice->Add(Value::fromCollection(shared));
    twice->Add(Value::fromCollection(shared));
    EXPECT_EQ(ToCanonicalJson(Value::fromCollection(twice)), u"[[],[]]");
}

} // namespace
