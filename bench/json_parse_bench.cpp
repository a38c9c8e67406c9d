// Parse throughput on two generated 10 MB portal-like answers, beside nlohmann::json::parse of
// the same standard text. Throughput is counted in UTF-8 bytes of the document for every
// benchmark, so the MB/s figures compare directly.
#include "net/text_conversion.h"

#include "json/parser.h"
#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace {

constexpr qsizetype kTargetBytes = 10 * 1024 * 1024;

// A song-list answer whose data.html is one long HTML fragment, escaped as the portal does:
// quotes as \" and slashes as \/.
QByteArray songListAnswer() {
    QByteArray html;
    for (int i = 0; html.size() < kTargetBytes - 200; ++i) {
        const QByteArray n = QByteArray::number(i);
        html += "<li class=\\\"song-item\\\"><a href=\\\"\\/song\\/" + n +
                "\\\" title=\\\"\xE6\x99\xB4\xE5\xA4\xA9 " + n + "\\\">\xE6\x99\xB4\xE5\xA4\xA9 " +
                n + "<\\/a><span class=\\\"time\\\">04:29<\\/span><\\/li>\\r\\n";
    }
    return "{\"status\":1,\"data\":{\"html\":\"<ul class=\\\"song-list\\\">" + html +
           "<\\/ul>\",\"total\":9999},\"msg\":\"ok\"}";
}

// Many small members: an array of small song objects.
QByteArray manySmallMembers() {
    QByteArray out = "{\"songs\":[";
    for (int i = 0; out.size() < kTargetBytes - 200; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i > 0)
            out += ',';
        out += "{\"id\":" + n + ",\"title\":\"Song " + n + "\",\"singer\":\"\xE5\x91\xA8 " + n +
               "\",\"seconds\":" + QByteArray::number(120 + i % 300) +
               ",\"score\":" + QByteArray::number(i % 100) +
               ".5,\"hot\":" + (i % 2 ? "true" : "false") +
               ",\"album\":null,\"tags\":[\"pop\",\"live\"]}";
    }
    return out + "],\"count\":1}";
}

const QByteArray& document(int which) {
    static const QByteArray songs = songListAnswer();
    static const QByteArray members = manySmallMembers();
    return which == 0 ? songs : members;
}

void ourParse(benchmark::State& state) {
    const QByteArray& bytes = document(int(state.range(0)));
    const QString text = orvana::Utf8BytesToText(bytes);
    for (auto _ : state) {
        std::optional<orvana::json::Value> tree = orvana::json::Parse(text);
        benchmark::DoNotOptimize(tree);
    }
    if (!orvana::json::ParseErrors().isEmpty())
        state.SkipWithError("the document did not parse cleanly");
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// The same including the UTF-8 decoding, since the portal answers arrive as bytes.
void ourDecodeAndParse(benchmark::State& state) {
    const QByteArray& bytes = document(int(state.range(0)));
    for (auto _ : state) {
        std::optional<orvana::json::Value> tree =
            orvana::json::Parse(orvana::Utf8BytesToText(bytes));
        benchmark::DoNotOptimize(tree);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void nlohmannParse(benchmark::State& state) {
    const QByteArray& bytes = document(int(state.range(0)));
    for (auto _ : state) {
        nlohmann::json tree = nlohmann::json::parse(bytes.cbegin(), bytes.cend());
        benchmark::DoNotOptimize(tree);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

// Argument 0: the song-list answer; 1: many small members.
BENCHMARK(ourParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ourDecodeAndParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(nlohmannParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
