// Parses an overlay-shaped document of about 10 MB held in memory, and walks
// it the way the overlay reader does, with our XML document and with pugixml
// in the same run. Prints
//   ratio xml_parse_vs_pugixml <our median / pugixml's median>
//   ratio xml_parse_walk_vs_pugixml <...>
// and the memory each keeps per element.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace {

// Stamp groups with Line (Point children) and Text children, attributes and
// entity references, as the overlay side files have them.
std::string MakeOverlayDocument(std::size_t targetBytes) {
    std::string text = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<Overlay>\r\n";
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    char buffer[256];
    for (int group = 0; text.size() < targetBytes; ++group) {
        std::snprintf(buffer, sizeof buffer, "  <Group Stamp=\"%d.%03d\">\r\n", group / 25, (group % 25) * 40);
        text += buffer;
        const int lines = 1 + static_cast<int>(next() % 3);
        for (int l = 0; l < lines; ++l) {
            std::snprintf(buffer, sizeof buffer, "    <Line ID=\"L%d\" Color=\"%02x%02x%02x\">", (group * 3 + l) % 97,
                          next() & 0xFF, next() & 0xFF, next() & 0xFF);
            text += buffer;
            const int points = 2 + static_cast<int>(next() % 4);
            for (int p = 0; p < points; ++p) {
                std::snprintf(buffer, sizeof buffer, "<Point>%d, %d</Point>", static_cast<int>(next() % 704),
                              static_cast<int>(next() % 576));
                text += buffer;
            }
            text += "</Line>\r\n";
        }
        std::snprintf(buffer, sizeof buffer,
                      "    <Text ID=\"T%d\" Color=\"00ff00\" Pos=\"%d,%d\">Car %d &gt; 50 km/h &amp; rising</Text>\r\n",
                      group % 53, static_cast<int>(next() % 704), static_cast<int>(next() % 576), group);
        text += buffer;
        text += "  </Group>\r\n";
    }
    text += "</Overlay>\r\n";
    return text;
}

const std::string& Document() {
    static const std::string text = MakeOverlayDocument(10 * 1024 * 1024);
    return text;
}

std::size_t WalkOurs(vd::XmlDocument& doc) {
    std::size_t sum = 0;
    if (!doc.NextElement()) return 0;
    doc.EnterElement();
    while (doc.NextElement()) {
        sum += doc.AttributeValue("Stamp").size();
        doc.EnterElement();
        while (doc.NextElement()) {
            const std::string name = doc.ElementName();
            if (name == "Line") {
                sum += doc.AttributeValue("ID").size() + doc.AttributeValue("Color").size();
                while (doc.NextChildElement())
                    if (doc.ChildElementName() == "Point") sum += doc.ChildElementText().size();
            } else if (name == "Text") {
                sum += doc.AttributeValue("ID").size() + doc.AttributeValue("Color").size() +
                       doc.AttributeValue("Pos").size() + doc.ElementText().size();
            }
        }
        doc.LeaveElement();
    }
    return sum;
}

std::size_t WalkPugi(const pugi::xml_document& doc) {
    std::size_t sum = 0;
    const pugi::xml_node root = doc.document_element();
    for (pugi::xml_node group = root.first_child(); group; group = group.next_sibling()) {
        if (group.type() != pugi::node_element) continue;
        sum += std::strlen(group.attribute("Stamp").value());
        for (pugi::xml_node item = group.first_child(); item; item = item.next_sibling()) {
            if (item.type() != pugi::node_element) continue;
            const char* name = item.name();
            if (std::strcmp(name, "Line") == 0) {
                sum += std::strlen(item.attribute("ID").value()) + std::strlen(item.attribute("Color").value());
                for (pugi::xml_node point = item.first_child(); point; point = point.next_sibling())
                    if (point.type() == pugi::node_element && std::strcmp(point.name(), "Point") == 0)
                        sum += std::strlen(point.child_value());
            } else if (std::strcmp(name, "Text") == 0) {
                sum += std::strlen(item.attribute("ID").value()) + std::strlen(item.attribute("Color").value()) +
                       std::strlen(item.attribute("Pos").value()) + std::strlen(item.child_value());
            }
        }
    }
    return sum;
}

void BM_OursParse(benchmark::State& state) {
    const std::string& text = Document();
    for (auto _ : state) {
        vd::XmlDocument doc(1252);
        doc.SetText(text);
        if (!doc.ParseText()) state.SkipWithError("not well formed");
        benchmark::DoNotOptimize(doc.ElementCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_PugiParse(benchmark::State& state) {
    const std::string& text = Document();
    for (auto _ : state) {
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("pugixml failed");
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_OursParseWalk(benchmark::State& state) {
    const std::string& text = Document();
    for (auto _ : state) {
        vd::XmlDocument doc(1252);
        doc.SetText(text);
        doc.ParseText();
        benchmark::DoNotOptimize(WalkOurs(doc));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_PugiParseWalk(benchmark::State& state) {
    const std::string& text = Document();
    for (auto _ : state) {
        pugi::xml_document doc;
        doc.load_buffer(text.data(), text.size());
        benchmark::DoNotOptimize(WalkPugi(doc));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The walk alone, for the record (its ratio is printed as information).
void BM_OursWalk(benchmark::State& state) {
    vd::XmlDocument doc(1252);
    doc.SetText(Document());
    for (auto _ : state) {
        state.PauseTiming();
        doc.ParseText();  // puts the position back at the document level
        state.ResumeTiming();
        benchmark::DoNotOptimize(WalkOurs(doc));
    }
}

void BM_PugiWalk(benchmark::State& state) {
    pugi::xml_document doc;
    doc.load_buffer(Document().data(), Document().size());
    for (auto _ : state) benchmark::DoNotOptimize(WalkPugi(doc));
}

constexpr int kRepetitions = 7;
BENCHMARK(BM_OursParse)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PugiParse)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_OursParseWalk)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PugiParseWalk)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_OursWalk)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(BM_PugiWalk)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Keeps the processor time per iteration of every repetition, by benchmark
// name (processor time, as the machine is shared with other work).
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    // Plain text: the ratio lines that follow are read by scripts.
    CollectingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
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

private:
    std::map<std::string, std::vector<double>> times_;
};

// pugixml's allocations, counted to compare memory per element.
std::size_t pugiBytes = 0;
void* CountingAllocate(std::size_t size) {
    pugiBytes += size;
    return std::malloc(size);
}
void CountingDeallocate(void* p) { std::free(p); }

void ReportMemory() {
    const std::string& text = Document();
    vd::XmlDocument doc(1252);
    doc.SetText(text);
    doc.ParseText();
    const double elements = doc.ElementCount() - 1;
    std::printf("document_bytes %zu elements %.0f\n", text.size(), elements);
    std::printf("memory xml_index_bytes_per_element %.1f\n", static_cast<double>(doc.IndexBytes()) / elements);
    pugi::set_memory_management_functions(CountingAllocate, CountingDeallocate);
    {
        pugi::xml_document pugiDoc;
        pugiBytes = 0;
        pugiDoc.load_buffer(text.data(), text.size());
        std::printf("memory pugixml_bytes_per_element %.1f (its copy of the text included)\n",
                    static_cast<double>(pugiBytes) / elements);
        std::printf("memory pugixml_bytes_per_element_without_text %.1f\n",
                    static_cast<double>(pugiBytes - text.size()) / elements);
    }
    pugi::set_memory_management_functions(std::malloc, std::free);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double oursParse = reporter.Median("BM_OursParse"), pugiParse = reporter.Median("BM_PugiParse");
    const double oursWalk = reporter.Median("BM_OursParseWalk"), pugiWalk = reporter.Median("BM_PugiParseWalk");
    if (pugiParse > 0 && oursParse > 0) std::printf("ratio xml_parse_vs_pugixml %.3f\n", oursParse / pugiParse);
    if (pugiWalk > 0 && oursWalk > 0) std::printf("ratio xml_parse_walk_vs_pugixml %.3f\n", oursWalk / pugiWalk);
    const double oursWalkOnly = reporter.Median("BM_OursWalk"), pugiWalkOnly = reporter.Median("BM_PugiWalk");
    if (pugiWalkOnly > 0 && oursWalkOnly > 0)
        std::printf("info xml_walk_only_vs_pugixml %.3f\n", oursWalkOnly / pugiWalkOnly);
    ReportMemory();
    benchmark::Shutdown();
    return 0;
}
