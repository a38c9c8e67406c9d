// Parse and destroy times on three generated 10 MB portal-like answers, beside nlohmann::json and
// RapidJSON parsing the same UTF-8 into a UTF-16 DOM (the closest match to our UTF-16 tree).
// Throughput is counted in UTF-8 bytes of the document for every benchmark, so the MB/s figures
// compare directly; parse_ms and destroy_ms split each iteration's time. Times are the thread's
// CPU time (system time included, so page faults count): the machine is shared, and wall time
// there measures the neighbours as much as the parser. --benchmark_enable_random_interleaving
// mixes the rivals' repetitions in one run.
//
//   json_parse_bench [google-benchmark flags]
//   json_parse_bench --peak-rss=IMPL:INPUT   IMPL ours|rapidjson|nlohmann, INPUT 0|1|2
//   json_parse_bench --write-inputs=DIR      writes songs.json, members.json, arrays.json
// The second form parses once and prints the peak RSS growth per MB of input; run it in a fresh
// process for each pair, since the peak is per process. Its parse and its destruction run in
// parseOnce and destroyOnce, so that callgrind counts them apart when run with
// --toggle-collect='*parseOnce*' --toggle-collect='*destroyOnce*' and read with
// callgrind_annotate --inclusive=yes. The third form gives the CLI the same documents.
#include "net/text_conversion.h"

#include "json/parser.h"
#include <QByteArray>
#include <QString>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <rapidjson/document.h>
#include <rapidjson/encodings.h>
#include <string>
#include <string_view>
#include <sys/resource.h>

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

// Array-heavy: blocks of arrays nested 24 deep, each level holding a few small leaves.
QByteArray arrayHeavy() {
    constexpr int kDepth = 24;
    QByteArray out = "[";
    for (int i = 0; out.size() < kTargetBytes - 4096; ++i) {
        if (i > 0)
            out += ',';
        for (int level = 0; level < kDepth; ++level)
            out += "[" + QByteArray::number(i % 1000 + level) + ",-" + QByteArray::number(level) +
                   ".25,\"s" + QByteArray::number(level) + "\",[],";
        out += "null";
        for (int level = 0; level < kDepth; ++level)
            out += ",true]";
    }
    return out + "]";
}

const QByteArray& document(int which) {
    static const QByteArray songs = songListAnswer();
    static const QByteArray members = manySmallMembers();
    static const QByteArray arrays = arrayHeavy();
    return which == 0 ? songs : which == 1 ? members : arrays;
}

using Utf16Document = rapidjson::GenericDocument<rapidjson::UTF16<char16_t>>;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Times one parse and one destruction per iteration; the iteration's time is their sum.
template <typename Parse> void timeParseAndDestroy(benchmark::State& state, Parse parse) {
    const QByteArray& bytes = document(int(state.range(0)));
    double parseSeconds = 0;
    double destroySeconds = 0;
    for (auto _ : state) {
        const double start = threadSeconds();
        auto tree = parse(bytes);
        benchmark::DoNotOptimize(tree);
        const double parsed = threadSeconds();
        tree.reset();
        const double destroyed = threadSeconds();
        const double p = parsed - start;
        const double d = destroyed - parsed;
        parseSeconds += p;
        destroySeconds += d;
        state.SetIterationTime(p + d);
    }
    const double n = double(state.iterations());
    state.counters["parse_ms"] = parseSeconds / n * 1e3;
    state.counters["destroy_ms"] = destroySeconds / n * 1e3;
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void ourParse(benchmark::State& state) {
    // The UTF-8 decoding is outside the timing: the parser takes UTF-16 text.
    const QString text = orvana::Utf8BytesToText(document(int(state.range(0))));
    timeParseAndDestroy(state, [&](const QByteArray&) {
        return std::make_unique<std::optional<orvana::json::Value>>(orvana::json::Parse(text));
    });
    if (!orvana::json::ParseErrors().isEmpty())
        state.SkipWithError("the document did not parse cleanly");
}

// The same including the UTF-8 decoding, since the portal answers arrive as bytes.
void ourDecodeAndParse(benchmark::State& state) {
    timeParseAndDestroy(state, [](const QByteArray& bytes) {
        return std::make_unique<std::optional<orvana::json::Value>>(
            orvana::json::Parse(orvana::Utf8BytesToText(bytes)));
    });
}

void nlohmannParse(benchmark::State& state) {
    timeParseAndDestroy(state, [](const QByteArray& bytes) {
        return std::make_unique<nlohmann::json>(
            nlohmann::json::parse(bytes.cbegin(), bytes.cend()));
    });
}

void rapidjsonUtf16Parse(benchmark::State& state) {
    bool failed = false;
    timeParseAndDestroy(state, [&](const QByteArray& bytes) {
        auto tree = std::make_unique<Utf16Document>();
        tree->Parse<rapidjson::kParseDefaultFlags, rapidjson::UTF8<>>(bytes.constData());
        failed = failed || tree->HasParseError();
        return tree;
    });
    if (failed)
        state.SkipWithError("the document did not parse cleanly");
}

// Argument 0: the song-list answer; 1: many small members; 2: array-heavy.
#define ORVANA_JSON_BENCH(fn)                                                                      \
    BENCHMARK(fn)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)
ORVANA_JSON_BENCH(ourParse);
ORVANA_JSON_BENCH(ourDecodeAndParse);
ORVANA_JSON_BENCH(nlohmannParse);
ORVANA_JSON_BENCH(rapidjsonUtf16Parse);

// The resident high-water mark in KiB.
long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Makes the high-water mark start again from the current RSS, so that building the inputs does
// not hide the parse's own peak. False where the kernel refuses.
bool resetPeakRss() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return bool(refs);
}

// The parse and the destruction of one tree, in functions of their own for callgrind.
template <typename Tree, typename Parse>
[[gnu::noinline]] std::unique_ptr<Tree> parseOnce(Parse parse) {
    return std::make_unique<Tree>(parse());
}

template <typename Tree> [[gnu::noinline]] void destroyOnce(std::unique_ptr<Tree>& tree) {
    tree.reset();
}

// Parses once with impl and reports the peak RSS growth; the tree lives until after the
// measurement.
template <typename Tree, typename Parse> void measurePeak(const QByteArray& bytes, Parse parse) {
    if (!resetPeakRss())
        std::fprintf(stderr, "warning: could not reset the peak RSS; the growth is understated\n");
    const long before = peakRssKiB();
    std::unique_ptr<Tree> tree = parseOnce<Tree>(parse);
    benchmark::DoNotOptimize(tree);
    const double grownMiB = double(peakRssKiB() - before) / 1024.0;
    destroyOnce(tree);
    const double inputMB = double(bytes.size()) / (1024.0 * 1024.0);
    std::printf("peak RSS +%.1f MiB for %.2f MB, %.2f MiB per MB\n", grownMiB, inputMB,
                grownMiB / inputMB);
}

int peakRss(const std::string& impl, int which) {
    const QByteArray& bytes = document(which);
    const QString text = orvana::Utf8BytesToText(bytes);
    std::printf("%s input %d: ", impl.c_str(), which);
    if (impl == "ours") {
        measurePeak<std::optional<orvana::json::Value>>(bytes,
                                                        [&] { return orvana::json::Parse(text); });
    } else if (impl == "rapidjson") {
        measurePeak<Utf16Document>(bytes, [&] {
            Utf16Document tree;
            tree.Parse<rapidjson::kParseDefaultFlags, rapidjson::UTF8<>>(bytes.constData());
            return tree;
        });
    } else if (impl == "nlohmann") {
        measurePeak<nlohmann::json>(
            bytes, [&] { return nlohmann::json::parse(bytes.cbegin(), bytes.cend()); });
    } else {
        std::fprintf(stderr, "unknown implementation %s\n", impl.c_str());
        return 2;
    }
    return 0;
}

int writeInputs(const std::string& dir) {
    const char* names[] = {"songs.json", "members.json", "arrays.json"};
    for (int which = 0; which < 3; ++which) {
        std::ofstream out(dir + "/" + names[which], std::ios::binary);
        const QByteArray& bytes = document(which);
        out.write(bytes.constData(), bytes.size());
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), names[which]);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    constexpr std::string_view kPeakFlag = "--peak-rss=";
    constexpr std::string_view kWriteFlag = "--write-inputs=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kPeakFlag)) {
        const std::string pair(std::string_view(argv[1]).substr(kPeakFlag.size()));
        const size_t colon = pair.find(':');
        if (colon == std::string::npos)
            return 2;
        return peakRss(pair.substr(0, colon), std::atoi(pair.c_str() + colon + 1));
    }
    if (argc == 2 && std::string_view(argv[1]).starts_with(kWriteFlag))
        return writeInputs(std::string(std::string_view(argv[1]).substr(kWriteFlag.size())));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
