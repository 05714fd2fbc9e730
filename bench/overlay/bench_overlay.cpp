// The overlay reader and the overlay pass, each against a peer in the same
// run. Prints
//   ratio overlay_load_2h_vs_1h <loading a two-hour side file / a one-hour one>
//   ratio overlay_pass_100k_vs_1k <a pass over 100,000 items / over 1,000, 10 visible>
//   ratio overlay_load_1h_vs_pugixml <loading the one-hour file / pugixml parsing and walking it>
// Medians of processor time per iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "overlay/overlay_file.h"
#include "overlay/overlay_values.h"
#include "xml/xml_document.h"
#include "side_file_maker.h"

namespace {

using vd::OverlayItem;
using vd::OverlayItemList;

class NoLock final : public vd::OverlayLock {
public:
    void Lock() override {}
    void Unlock() override {}
};

// The side files, written once to the temporary directory and removed at the end.
struct SideFiles {
    std::string oneHour, twoHours;
    std::size_t oneHourBytes = 0, twoHoursBytes = 0;

    SideFiles() {
        const std::string stem = "/tmp/vd_bench_overlay_" + std::to_string(getpid());
        oneHour = stem + "_1h.lti";
        twoHours = stem + "_2h.lti";
        oneHourBytes = Write(oneHour, vdtest::MakeSideFile(3600));
        twoHoursBytes = Write(twoHours, vdtest::MakeSideFile(7200));
    }
    ~SideFiles() {
        std::remove(oneHour.c_str());
        std::remove(twoHours.c_str());
    }
    static std::size_t Write(const std::string& path, const std::string& text) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
        std::fclose(f);
        return text.size();
    }
};

const SideFiles& Files() {
    static const SideFiles files;
    return files;
}

void LoadOurs(benchmark::State& state, const std::string& path, std::size_t bytes) {
    NoLock lock;
    for (auto _ : state) {
        auto items = std::make_unique<OverlayItemList>();
        if (!vd::LoadOverlayFile(lock, path.c_str(), *items)) state.SkipWithError("not loaded");
        benchmark::DoNotOptimize(items->Size());
        state.PauseTiming();  // freeing is not loading
        items.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Load1h(benchmark::State& state) { LoadOurs(state, Files().oneHour, Files().oneHourBytes); }
void BM_Load2h(benchmark::State& state) { LoadOurs(state, Files().twoHours, Files().twoHoursBytes); }

// What the peer pulls out of each shape: the same attributes and point lists.
struct PeerShape {
    std::string id;
    uint32_t stampMs;
    uint32_t color;
    std::vector<vd::OverlayPoint> points;
    vd::OverlayPoint pos;
    std::string text;
};

// pugixml's document walked as the reader walks ours, pulling out the same
// attributes and point lists.
std::size_t PullShapes(const pugi::xml_document& doc, const vd::CharClasses& classes, std::vector<PeerShape>& shapes) {
    for (pugi::xml_node group = doc.document_element().first_child(); group; group = group.next_sibling()) {
        if (group.type() != pugi::node_element) continue;
        const uint32_t stampMs = vd::ParseOverlayStamp(group.attribute("Stamp").value());
        for (pugi::xml_node shape = group.first_child(); shape; shape = shape.next_sibling()) {
            if (shape.type() != pugi::node_element) continue;
            const bool line = std::strcmp(shape.name(), "Line") == 0;
            if (!line && std::strcmp(shape.name(), "Text") != 0) continue;
            PeerShape out{shape.attribute("ID").value(),
                          stampMs,
                          vd::ParseOverlayColor(shape.attribute("Color").value()),
                          {},
                          {},
                          {}};
            if (line) {
                vd::OverlayPoint point;
                for (pugi::xml_node p = shape.first_child(); p; p = p.next_sibling())
                    if (p.type() == pugi::node_element && std::strcmp(p.name(), "Point") == 0 &&
                        vd::ParseOverlayPoint(p.child_value(), classes, point))
                        out.points.push_back(point);
            } else {
                vd::ParseOverlayPoint(shape.attribute("Pos").value(), classes, out.pos);
                out.text = shape.child_value();
            }
            shapes.push_back(std::move(out));
        }
    }
    return shapes.size();
}

void BM_Pugi1h(benchmark::State& state) {
    const vd::CharClasses classes(1252);
    for (auto _ : state) {
        auto doc = std::make_unique<pugi::xml_document>();
        auto shapes = std::make_unique<std::vector<PeerShape>>();
        if (!doc->load_file(Files().oneHour.c_str())) state.SkipWithError("pugixml failed");
        benchmark::DoNotOptimize(PullShapes(*doc, classes, *shapes));
        state.PauseTiming();
        shapes.reset();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Files().oneHourBytes));
}

// For the record, the parts of loading: the XML document's file reading
// alone (with its conversion into the ANSI code page), and loading from text
// already in memory against pugixml from memory.
void BM_ReadDocumentFile1h(benchmark::State& state) {
    for (auto _ : state) {
        auto doc = std::make_unique<vd::XmlDocument>();
        if (!doc->ReadDocumentFile(Files().oneHour.c_str())) state.SkipWithError("not read");
        benchmark::DoNotOptimize(doc->Text().size());
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}

const std::string& OneHourText() {
    static const std::string text = vdtest::MakeSideFile(3600);
    return text;
}

void BM_LoadText1h(benchmark::State& state) {
    NoLock lock;
    for (auto _ : state) {
        state.PauseTiming();
        std::string copy = OneHourText();
        auto items = std::make_unique<OverlayItemList>();
        state.ResumeTiming();
        if (!vd::LoadOverlayText(lock, std::move(copy), *items)) state.SkipWithError("not loaded");
        benchmark::DoNotOptimize(items->Size());
        state.PauseTiming();
        items.reset();
        state.ResumeTiming();
    }
}

void BM_PugiText1h(benchmark::State& state) {
    const vd::CharClasses classes(1252);
    for (auto _ : state) {
        auto doc = std::make_unique<pugi::xml_document>();
        auto shapes = std::make_unique<std::vector<PeerShape>>();
        if (!doc->load_buffer(OneHourText().data(), OneHourText().size())) state.SkipWithError("pugixml failed");
        benchmark::DoNotOptimize(PullShapes(*doc, classes, *shapes));
        state.PauseTiming();
        shapes.reset();
        doc.reset();
        state.ResumeTiming();
    }
}

// A list of `count` Lines, one every 40 ms, each shown for 400 ms: ten items
// cover every stamp past the first few.
struct PassList {
    OverlayItemList items;
    uint32_t count;

    explicit PassList(uint32_t n) : count(n) {
        std::mt19937 random(99);
        for (uint32_t i = 0; i < count; ++i) {
            auto item = std::make_unique<OverlayItem>();
            item->id = "L" + std::to_string(i % 97);
            item->beginMs = i * 40;
            item->endMs = i * 40 + 399;
            item->color = random() & 0xFFFFFF;
            for (int p = 0; p < 4; ++p)
                item->points.push_back({static_cast<int32_t>(random() % 704), static_cast<int32_t>(random() % 576)});
            items.Append(std::move(item));
        }
        items.PrepareSpans();
    }
};

// One pass per iteration. Played: the stamp moves on 40 ms per pass, through
// the whole list and round again, as pictures of a played file come.
// Seeking: every pass at a stamp drawn at random over the whole list.
void Pass(benchmark::State& state, uint32_t count, bool seeking) {
    PassList list(count);
    std::mt19937 random(5);
    std::vector<uint32_t> stamps;
    const uint32_t played = (count - 20) * 40;
    if (seeking) {
        for (int s = 0; s < 4096; ++s) stamps.push_back(400 + random() % played);
    } else {
        for (uint32_t s = 0; s < played / 40; ++s) stamps.push_back(400 + 17 + s * 40);
    }
    std::vector<const OverlayItem*> out;
    for (uint32_t stamp : stamps) {
        vd::SelectOverlayItemsToDraw(list.items, false, stamp, out);
        if (out.size() != 10) {
            state.SkipWithError("not ten items visible");
            return;
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        const uint32_t stamp = stamps[next];
        if (++next == stamps.size()) next = 0;
        vd::SelectOverlayItemsToDraw(list.items, false, stamp, out);
        // Stands in for the drawing: every vertex is touched.
        int64_t sum = 0;
        for (const OverlayItem* item : out)
            for (const vd::OverlayPoint& p : item->points) sum += p.x + p.y + static_cast<int64_t>(item->color);
        benchmark::DoNotOptimize(sum);
    }
}

void BM_Pass1k(benchmark::State& state) { Pass(state, 1000, false); }
void BM_Pass100k(benchmark::State& state) { Pass(state, 100000, false); }
void BM_SeekPass1k(benchmark::State& state) { Pass(state, 1000, true); }
void BM_SeekPass100k(benchmark::State& state) { Pass(state, 100000, true); }

constexpr int kRepetitions = 9;
BENCHMARK(BM_Load1h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Load2h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Pugi1h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_ReadDocumentFile1h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_LoadText1h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PugiText1h)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_Pass1k)->Repetitions(kRepetitions);
BENCHMARK(BM_Pass100k)->Repetitions(kRepetitions);
BENCHMARK(BM_SeekPass1k)->Repetitions(kRepetitions);
BENCHMARK(BM_SeekPass100k)->Repetitions(kRepetitions);

// Keeps the processor time per iteration of every repetition, by name.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the ratio lines that follow are read by scripts.
    MedianReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                times_[run.benchmark_name().substr(0, run.benchmark_name().find('/'))].push_back(
                    run.GetAdjustedCPUTime());
        ConsoleReporter::ReportRuns(runs);
    }
    double Median(const std::string& name) const {
        auto it = times_.find(name);
        if (it == times_.end() || it->second.empty()) return 0;
        std::vector<double> t = it->second;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
    void PrintRatio(const char* name, const std::string& ours, const std::string& peer,
                    const char* label = "ratio") const {
        const double a = Median(ours), b = Median(peer);
        if (a > 0 && b > 0) std::printf("%s %s %.3f\n", label, name, a / b);
    }

private:
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    // Repetitions of the benchmarks run in random order, unless told
    // otherwise: ours and the peer then share the machine's ups and downs
    // (other work on it, the state the previous run left the allocator in)
    // instead of one of them meeting a bad stretch alone.
    std::vector<char*> args(argv, argv + argc);
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i) given = given || std::strstr(argv[i], "random_interleaving") != nullptr;
    if (!given) args.push_back(interleaving);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    Files();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("side_file_bytes 1h %zu 2h %zu\n", Files().oneHourBytes, Files().twoHoursBytes);
    reporter.PrintRatio("overlay_load_2h_vs_1h", "BM_Load2h", "BM_Load1h");
    reporter.PrintRatio("overlay_pass_100k_vs_1k", "BM_Pass100k", "BM_Pass1k");
    reporter.PrintRatio("overlay_load_1h_vs_pugixml", "BM_Load1h", "BM_Pugi1h");
    // For the record: passes at random stamps (seeking), where the larger
    // list no longer stays in the processor's caches.
    reporter.PrintRatio("overlay_seek_pass_100k_vs_1k", "BM_SeekPass100k", "BM_SeekPass1k", "info");
    reporter.PrintRatio("overlay_read_document_file_1h_vs_load_1h", "BM_ReadDocumentFile1h", "BM_Load1h", "info");
    reporter.PrintRatio("overlay_load_text_1h_vs_pugixml_text", "BM_LoadText1h", "BM_PugiText1h", "info");
    benchmark::Shutdown();
    return 0;
}
