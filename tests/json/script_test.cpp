#include "json/error.h"
#include "json/script.h"
#include <QStringList>
#include <deque>
#include <gtest/gtest.h>

// Readable failure output for texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << text.toStdString();
}

using namespace Qt::StringLiterals;
using orvana::Error;
using orvana::ErrorKind;
using orvana::json::cJSONScript;
using orvana::json::MessageIcon;

namespace {

// Records every box in order and answers input boxes from a script of answers (nullopt cancels;
// running out of answers cancels too).
class FakeUi : public orvana::json::ScriptUi {
public:
    void messageBox(const QString& title, const QString& message, MessageIcon icon) override {
        const QString kind = icon == MessageIcon::Information ? u"info"_s : u"warn"_s;
        events.append(kind + u" [" + title + u"] " + message);
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        events.append(u"input [" + title + u"] " + prompt + u" {" + defaultText + u'}');
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList events;
    std::deque<std::optional<QString>> answers;
};

class ScriptTest : public testing::Test {
protected:
    QString eval(const QString& script) { return interpreter.Eval(script); }

    // Runs a script that must fail with a shape error; returns its message.
    QString shapeFailure(const QString& script) {
        try {
            (void)interpreter.Eval(script);
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Shape);
            EXPECT_EQ(interpreter.NestingDepth(), 0);
            return e.message();
        }
        ADD_FAILURE() << "no failure for " << script.toStdString();
        return {};
    }

    FakeUi ui;
    cJSONScript interpreter{ui};
};

// Nests text in n arrays: [[...['x']...]].
QString nested(int n, const QString& inner) {
    return QString(n, u'[') + inner + QString(n, u']');
}

// Nests inner in n "if" objects, each running the next as its "true" branch.
QString nestedIf(int n, const QString& inner) {
    QString text = inner;
    for (int i = 0; i < n; ++i)
        text = u"{if: {type: 'eq', true: " + text + u"}}";
    return text;
}

TEST_F(ScriptTest, ItemsAreStringsNullAndRunValues) {
    EXPECT_EQ(eval(u"[]"_s), u""_s);
    EXPECT_EQ(eval(u"['abc', null]"_s), u"abcnull"_s);
    // Inside an array scalars are run: numbers in plain notation, booleans as words.
    EXPECT_EQ(eval(u"[[1.50, -0, 1e3, 0.1, -2.5, true, false, null, 'x'], {}]"_s),
              u"1.5010000.1-2.5truefalsenullx"_s);
    // An empty object as the whole script yields nothing.
    EXPECT_EQ(eval(u"{}"_s), u""_s);
    EXPECT_TRUE(ui.events.isEmpty());
}

TEST_F(ScriptTest, AlertRunsItsParametersBeforeShowingTheBox) {
    EXPECT_EQ(eval(u"[{'alert': {'message': 'hi', 'title': 'T'}}]"_s), u""_s);
    EXPECT_EQ(ui.events, QStringList{u"info [T] hi"_s});

    ui.events.clear();
    ui.answers = {u"Ann"_s};
    EXPECT_EQ(eval(u"[{alert: {title: {input: {prompt: 'Name?'}}, message: ['a', 1]}}]"_s), u""_s);
    // "message" is read first, then "title" (which asks), then the box is shown.
    EXPECT_EQ(ui.events, (QStringList{u"input [] Name? {}"_s, u"info [Ann] a1"_s}));
}

TEST_F(ScriptTest, InputAppendsTheAnswerOrNothingWhenCancelled) {
    ui.answers = {u"42"_s, std::nullopt};
    const QString script =
        u"[{input: {prompt: 'Age?', title: 'Q', default: [1, 8]}}, '|', {Input: {prompt: 'P'}}]"_s;
    EXPECT_EQ(eval(script), u"42|"_s);
    EXPECT_EQ(ui.events, (QStringList{u"input [Q] Age? {18}"_s, u"input [] P {}"_s}));
}

TEST_F(ScriptTest, VariablesLiveAcrossItemsAndEvalCalls) {
    EXPECT_EQ(eval(u"[{set: {name: 'n', value: 1}}, {get: {name: 'n'}}]"_s), u"1"_s);
    EXPECT_EQ(eval(u"[{get: {name: 'n'}}]"_s), u"1"_s);
    EXPECT_EQ(eval(u"[{get: {name: 'never', default: 'd'}}]"_s), u"d"_s);
    // The value is run once when stored; a later set replaces it.
    EXPECT_EQ(eval(u"[{set: {name: 'n', value: ['a', {get: {name: 'n'}}]}}, {get: {name: 'n'}}]"_s),
              u"a1"_s);
    EXPECT_EQ(interpreter.Variable(u"n"_s), u"a1"_s);
    EXPECT_EQ(interpreter.Variable(u"N"_s), std::nullopt);
    // A name written as a number is the same variable as its text.
    EXPECT_EQ(eval(u"[{set: {name: 7, value: 'seven'}}, {get: {name: '7'}}]"_s), u"seven"_s);
    // An empty stored text counts as missing, so the default applies.
    EXPECT_EQ(eval(u"[{set: {name: 'e', value: ''}}, {get: {name: 'e', default: 'dflt'}}]"_s),
              u"dflt"_s);
}

TEST_F(ScriptTest, GetRunsItsDefaultOnlyWhenNeeded) {
    EXPECT_EQ(eval(u"[{set: {name: 'k', value: 'v'}}, {get: {name: 'k', default: {input: {}}}}]"_s),
              u"v"_s);
    EXPECT_TRUE(ui.events.isEmpty());
}

TEST_F(ScriptTest, IfComparesTexts) {
    const auto run = [&](const QString& a, const QString& b, const QString& type) {
        return eval(u"[{if: {value1: '" + a + u"', value2: '" + b + u"', type: '" + type +
                    u"', true: 'T', false: 'F'}}]");
    };
    EXPECT_EQ(run(u"10"_s, u"9"_s, u"gt"_s), u"F"_s);
    EXPECT_EQ(run(u"10"_s, u"9"_s, u"lt"_s), u"T"_s);
    EXPECT_EQ(run(u"Ab"_s, u"aB"_s, u"EQ"_s), u"T"_s);
    EXPECT_EQ(run(u"Ab"_s, u"aB"_s, u"gte"_s), u"F"_s);
    EXPECT_EQ(run(u"a"_s, u"B"_s, u"gt"_s), u"T"_s);
    EXPECT_EQ(run(u"x"_s, u"x"_s, u"GTE"_s), u"T"_s);
    EXPECT_EQ(run(u"x"_s, u"x"_s, u"lte"_s), u"T"_s);
    EXPECT_EQ(run(u"x"_s, u"x"_s, u"ne"_s), u"F"_s);
    // Code unit order: U+FF5E sorts after a surrogate pair's high half U+D83D.
    EXPECT_EQ(eval(u"[{if: {value1: '\\uff5e', value2: '\\ud83d\\ude00', type: 'gt', "
                   u"true: 'T', false: 'F'}}]"_s),
              u"T"_s);
    // A missing type never holds; only the branch taken is run.
    EXPECT_EQ(eval(u"[{if: {value1: 'a', value2: 'a', true: {alert: {}}, false: ['n', 'o']}}]"_s),
              u"no"_s);
    EXPECT_TRUE(ui.events.isEmpty());
}

TEST_F(ScriptTest, SwitchSelectsTheFirstMatchingItemAndAlwaysRunsTheDefault) {
    const QString items = u"items: [{case: 'a', return: 'first'}, {case: 'b', return: "
                          u"[{get: {name: 'v'}}, '!']}, {case: 'B', return: 'second b'}]"_s;
    EXPECT_EQ(eval(u"[{set: {name: 'v', value: 'bee'}}, {switch: {case: ['B'], default: "
                   u"{alert: {message: 'd'}}, " +
                   items + u"}}]"),
              u"bee!"_s);
    EXPECT_EQ(ui.events, QStringList{u"info [] d"_s});
    EXPECT_EQ(eval(u"[{Switch: {case: 'c', default: ['no', ' match'], " + items + u"}}]"),
              u"no match"_s);
    // An item's case is taken as written, not run.
    EXPECT_EQ(eval(u"[{switch: {case: 'x', default: 'D', items: [{case: ['x'], return: 1}, "
                   u"{case: 5, return: 2}]}}]"_s),
              u"D"_s);
    EXPECT_EQ(eval(u"[{switch: {case: [2, 3], default: 'D', items: [{case: 23, return: 'n'}]}}]"_s),
              u"n"_s);
    // Items after the match are not looked at.
    EXPECT_EQ(eval(u"[{switch: {case: 'a', items: [{case: 'A', return: 'ok'}, 5]}}]"_s), u"ok"_s);
}

TEST_F(ScriptTest, OtherMembersBecomePlaceholders) {
    EXPECT_EQ(eval(u"[{Foo: {a: '1', b: '2'}}]"_s), u"<%FOO(1,2)%>"_s);
    EXPECT_EQ(eval(u"[{foo: 'bar'}]"_s), u"<%FOO(bar)%>"_s);
    EXPECT_EQ(eval(u"[{foo: {}}, {foo: ['x']}]"_s), u"<%FOO()%><%FOO()%>"_s);
    // Arguments are not run: numbers in plain notation, other values in canonical form.
    EXPECT_EQ(eval(u"[{tag: {a: 1.50, b: null, c: true, d: {get: {name: 'q'}}, e: [1, 'x'], "
                   u"f: 'it\\'s \"q\"'}}]"_s),
              u"<%TAG(1.5,null,true,{\"get\":{\"name\":\"q\"}},[1,\"x\"],it's \"q\")%>"_s);
}

TEST_F(ScriptTest, CommandsRunMemberByMemberInInsertionOrderInAnyCase) {
    EXPECT_EQ(eval(u"[{SET: {name: 'x', value: 'X'}, one: 'p', GeT: {name: 'x'}, "
                   u"ReTuRn: '-', ALERT: {message: 'm'}, zz: {}}]"_s),
              u"<%ONE(p)%>X-<%ZZ()%>"_s);
    EXPECT_EQ(ui.events, QStringList{u"info [] m"_s});
}

TEST_F(ScriptTest, ParameterCommandsWithAStringValueHaveNoParameters) {
    ui.answers = {u"typed"_s};
    EXPECT_EQ(eval(u"[{alert: 'hello'}, {input: 'x'}, {set: 'y'}, {get: 'z'}, "
                   u"{if: 'w'}, {switch: {items: [], default: 'S'}}]"_s),
              u"typedS"_s);
    EXPECT_EQ(ui.events, (QStringList{u"info [] "_s, u"input []  {}"_s}));
    // "set" without parameters stores the empty text under the empty name.
    EXPECT_EQ(interpreter.Variable(u""_s), u""_s);
}

TEST_F(ScriptTest, NestingBeyondFortyOneActiveCallsYieldsTheMessage) {
    EXPECT_EQ(eval(nested(41, u"'x'"_s)), u"x"_s);
    EXPECT_EQ(eval(nested(42, u"'x'"_s)), u"ERROR: Nesting level exceeded."_s);
    // Only the value too deep is replaced; its siblings and later items still run.
    EXPECT_EQ(eval(u"[" + nested(40, u"['x'], 'y'"_s) + u", 'z']"),
              u"ERROR: Nesting level exceeded.yz"_s);
    EXPECT_EQ(interpreter.NestingDepth(), 0);
    // Command objects and the values they run count as calls too.
    EXPECT_EQ(eval(u"[" + nestedIf(40, u"'r'"_s) + u"]"), u"r"_s);
    EXPECT_EQ(eval(u"[" + nestedIf(41, u"'r'"_s) + u"]"), u"ERROR: Nesting level exceeded."_s);
}

TEST_F(ScriptTest, ExecCommandRunsAValueDirectly) {
    EXPECT_EQ(interpreter.ExecCommand(orvana::json::Value()), u""_s);
    EXPECT_EQ(interpreter.ExecCommand(orvana::json::Value::fromString(u"s"_s)), u"s"_s);
    EXPECT_EQ(interpreter.ExecCommand(orvana::json::Value::null()), u"null"_s);
    // A container that holds itself stops at the nesting limit instead of overflowing the stack.
    auto loop = std::make_shared<orvana::json::Collection>();
    loop->Add(orvana::json::Value::fromString(u"a"_s));
    loop->Add(orvana::json::Value::fromCollection(loop));
    const QString text = interpreter.ExecCommand(orvana::json::Value::fromCollection(loop));
    EXPECT_EQ(text, QString(u"a"_s).repeated(40) + u"ERROR: Nesting level exceeded." +
                        u"ERROR: Nesting level exceeded.");
    EXPECT_EQ(interpreter.NestingDepth(), 0);
    loop->Clear();
}

TEST_F(ScriptTest, AScriptThatDoesNotParseCleanlyIsNotRun) {
    EXPECT_EQ(eval(u"5"_s), u""_s);
    EXPECT_EQ(ui.events, QStringList{u"warn [Parser Error] Invalid JSON"_s});
    EXPECT_EQ(interpreter.LastParseErrors(), u"Invalid JSON"_s);

    ui.events.clear();
    EXPECT_EQ(eval(u"[{alert: {message: 'm'}}, 'x',,]"_s), u""_s);
    EXPECT_EQ(ui.events, QStringList{u"warn [Parser Error] Type mismatch: ,]\r\n"_s});

    ui.events.clear();
    EXPECT_EQ(eval(u"['ok']"_s), u"ok"_s);
    EXPECT_EQ(interpreter.LastParseErrors(), u""_s);
    EXPECT_TRUE(ui.events.isEmpty());
}

TEST_F(ScriptTest, ShapeFailuresNameWhatWasWrong) {
    EXPECT_EQ(shapeFailure(u"['a', 5]"_s),
              u"Item 2 of the script is a number; each item must be a string, null, an object or "
              u"an array"_s);
    EXPECT_EQ(shapeFailure(u"[true]"_s),
              u"Item 1 of the script is a boolean; each item must be a string, null, an object or "
              u"an array"_s);
    EXPECT_EQ(shapeFailure(u"{a: 'b'}"_s),
              u"The script is an object; a script must be an array of items (strings, null, "
              u"objects or arrays)"_s);
    EXPECT_EQ(shapeFailure(u"[{foo: 1}]"_s),
              u"The value of \"foo\" is a number; a command needs an object of parameters or a "
              u"string"_s);
    EXPECT_EQ(shapeFailure(u"[[{alert: null}]]"_s),
              u"The value of \"alert\" is null; a command needs an object of parameters or a "
              u"string"_s);
    EXPECT_EQ(shapeFailure(u"[{Switch: {case: 'a'}}]"_s),
              u"\"Switch\" has no \"items\"; give it an array of objects with \"case\" and "
              u"\"return\""_s);
    EXPECT_EQ(shapeFailure(u"[{switch: {items: {case: 'a'}}}]"_s),
              u"The \"items\" of \"switch\" are an object; they must be an array of objects with "
              u"\"case\" and \"return\""_s);
    EXPECT_EQ(shapeFailure(u"[{switch: {case: 'b', items: [{case: 'a'}, 'b']}}]"_s),
              u"Item 2 of the \"items\" of \"switch\" is a string; it must be an object with "
              u"\"case\" and \"return\""_s);
    EXPECT_EQ(shapeFailure(u"[{GET: ['n']}]"_s),
              u"The parameters of \"GET\" are an array; write them as an object with named "
              u"members (reading \"name\")"_s);
    EXPECT_EQ(shapeFailure(u"[{return: {a: 'b'}}]"_s),
              u"The value of \"return\" is an object; it must be a string"_s);
    EXPECT_EQ(shapeFailure(u"[{Return: ['x']}]"_s),
              u"The value of \"Return\" is an array; it must be a string"_s);
}

TEST_F(ScriptTest, AShapeFailureEndsTheEvaluationButKeepsTheVariables) {
    // The failure comes from deep inside, after one variable was stored and one box shown.
    EXPECT_EQ(
        shapeFailure(u"[{set: {name: 'a', value: 'A'}}, [[{alert: {message: 'shown'}}, "
                     u"[[{if: {value1: 'x', type: 'eq', value2: 'X', true: [{return: 1}]}}]]]], "
                     u"{set: {name: 'b', value: 'B'}}]"_s),
        u"The value of \"return\" is a number; a command needs an object of parameters or a "
        u"string"_s);
    EXPECT_EQ(ui.events, QStringList{u"info [] shown"_s});
    EXPECT_EQ(interpreter.Variable(u"a"_s), u"A"_s);
    EXPECT_EQ(interpreter.Variable(u"b"_s), std::nullopt);
    // The depth is back at 0: the full 41 levels are still available.
    EXPECT_EQ(eval(u"[{get: {name: 'a'}}, " + nested(40, u"'x'"_s) + u"]"), u"Ax"_s);
}

TEST_F(ScriptTest, ATextThatOutgrowsTheLimitStopsTheScript) {
    // Every step doubles the variable: 16 characters become 16 << 20, exactly the limit.
    const QString twice = u"{set: {name: 'a', value: [{get: {name: 'a'}}, {get: {name: 'a'}}]}}"_s;
    QString script = u"[{set: {name: 'a', value: '0123456789abcdef'}}"_s;
    for (int i = 0; i < 20; ++i)
        script += u", " + twice;
    EXPECT_EQ(eval(script + u"]"), u""_s);
    ASSERT_EQ(interpreter.Variable(u"a"_s)->size(), cJSONScript::kMaxTextLength);
    try {
        (void)eval(u"[" + twice + u"]");
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        EXPECT_EQ(e.message(),
                  u"The script's text grew beyond 16777216 characters; the script was stopped"_s);
    }
    EXPECT_EQ(interpreter.NestingDepth(), 0);
    EXPECT_EQ(interpreter.Variable(u"a"_s)->size(), cJSONScript::kMaxTextLength);
}

} // namespace
