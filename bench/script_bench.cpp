// Script evaluation: a generated template of 10,000 command objects (set, get, if, switch and
// placeholders), a text-heavy script, and the deepest nesting allowed. Items are counted per
// Eval, so the figures read as command objects per second.
#include "json/script.h"
#include <QString>
#include <benchmark/benchmark.h>

namespace {

class SilentUi : public orvana::json::ScriptUi {
public:
    void messageBox(const QString&, const QString&, orvana::json::MessageIcon) override {}
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
};

constexpr int kItems = 10000;

QString templateScript() {
    QString script = QStringLiteral("[");
    for (int i = 0; i < kItems; ++i) {
        const QString n = QString::number(i);
        switch (i % 5) {
        case 0:
            script += u"{set: {name: 'v" + n + u"', value: ['song ', " + n + u"]}},";
            break;
        case 1:
            script += u"{get: {name: 'v" + QString::number(i - 1) + u"', default: 'none'}},";
            break;
        case 2:
            script += u"{if: {value1: '" + n + u"', value2: '5000', type: 'gt', true: 'high', " +
                      u"false: 'low'}},";
            break;
        case 3:
            script += u"{switch: {case: 'c" + QString::number(i % 7) +
                      u"', default: '?', items: [{case: 'C1', return: 'one'}, "
                      u"{case: 'C3', return: 'three'}, {case: 'C5', return: 'five'}]}},";
            break;
        default:
            script += u"{Song: {id: " + n + u", title: 'T" + n + u"'}},";
            break;
        }
    }
    script += u"'end']";
    return script;
}

// Evaluates script once per iteration with a fresh interpreter; kItems items each.
void evalEachIteration(benchmark::State& state, const QString& script) {
    SilentUi ui;
    for (auto _ : state) {
        orvana::json::cJSONScript interpreter(ui);
        benchmark::DoNotOptimize(interpreter.Eval(script));
        if (!interpreter.LastParseErrors().isEmpty())
            state.SkipWithError("the generated script does not parse");
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_EvalTemplate(benchmark::State& state) {
    const QString script = templateScript();
    evalEachIteration(state, script);
}
BENCHMARK(BM_EvalTemplate)->Unit(benchmark::kMillisecond);

// Long strings and arrays of strings: the cost of collecting text.
void BM_EvalText(benchmark::State& state) {
    QString script = QStringLiteral("[");
    const QString text =
        QStringLiteral("'<li class=\"song\">A fairly long line of template text</li>'");
    for (int i = 0; i < kItems; ++i)
        script += (i % 2 == 0) ? QString(text + u',') : QString(u'[' + text + u',' + text + u"],");
    script += u"'']";
    evalEachIteration(state, script);
}
BENCHMARK(BM_EvalText)->Unit(benchmark::kMillisecond);

// 41 nested arrays, the deepest that still yields its value, run many times over.
void BM_ExecDeepest(benchmark::State& state) {
    QString script = QStringLiteral("[");
    for (int i = 0; i < 1000; ++i)
        script += QString(40, u'[') + u"'x'" + QString(40, u']') + u',';
    script += u"'']";
    SilentUi ui;
    orvana::json::cJSONScript interpreter(ui);
    for (auto _ : state) {
        if (interpreter.Eval(script) != QString(1000, u'x'))
            state.SkipWithError("the nested values did not run");
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 41);
}
BENCHMARK(BM_ExecDeepest)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
