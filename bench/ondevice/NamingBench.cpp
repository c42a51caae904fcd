// Batch naming: reading the tagger data and the places, naming 200 pictures by rules, and one
// reverse geocoding. The "residentMB" counters are the growth of the process's resident memory
// over the first load, before any benchmark loop ran.

#include "ondevice/BatchNamer.h"
#include "ondevice/LexiconNounTagger.h"
#include "ondevice/PlaceIndex.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <random>

namespace oxel {
namespace {

double residentMB()
{
    return double(residentBytes()) / (1024.0 * 1024.0);
}

// The resident growth of the first `load`, kept alive with what it made.
template <class Load>
double firstLoadMB(Load load)
{
    static double grown = [&] {
        const double before = residentMB();
        static auto kept = load();
        benchmark::DoNotOptimize(kept);
        return residentMB() - before;
    }();
    return grown;
}

void BM_NounTaggerLoad(benchmark::State& state)
{
    const double grown = firstLoadMB([] { return TaggerLexicon::read(TaggerLexicon::systemFolder); });
    for (auto _ : state) {
        auto lexicon = TaggerLexicon::read(TaggerLexicon::systemFolder);
        if (!lexicon) state.SkipWithError("no tagger data");
        benchmark::DoNotOptimize(lexicon);
    }
    state.counters["residentMB"] = grown;
}
BENCHMARK(BM_NounTaggerLoad)->Unit(benchmark::kMillisecond);

void BM_HeuristicName200(benchmark::State& state)
{
    const char* subjects[] = {"dog", "bench", "woman", "tree", "boat", "cake", "street", "window"};
    const char* places[] = {"on a beach", "in soft light", "by a harbour wall", "under grey cloud"};
    std::vector<std::string> descriptions, intents;
    for (int i = 0; i < 200; ++i) {
        descriptions.push_back(std::string("a ") + subjects[i % 8] + " " + places[i % 4] + " with a " +
                               subjects[(i / 8) % 8] + " in the background");
        intents.push_back(std::string("a quiet study of the ") + subjects[(i + 3) % 8]);
    }
    const NounTagger& tagger = NounTagger::standard();
    tagger.words("load");
    for (auto _ : state) benchmark::DoNotOptimize(BatchNamer::heuristicName(descriptions, intents, "york", tagger));
}
BENCHMARK(BM_HeuristicName200)->Unit(benchmark::kMillisecond);

// A model's answer of 60 MB on one line, cleaned into a batch name.
void BM_CleanAnswerOfSixtyMegabytes(benchmark::State& state)
{
    const std::string answer(size_t(60) << 20, 'w');
    size_t length = 0;
    for (auto _ : state) length = BatchNamer::cleanAnswer(answer).value_or("").size();
    state.counters["name_bytes"] = double(length);
}
BENCHMARK(BM_CleanAnswerOfSixtyMegabytes)->Unit(benchmark::kMillisecond);

void BM_PlaceIndexLoad(benchmark::State& state)
{
    const double grown = firstLoadMB([] { return std::make_unique<PlaceIndex>(PlaceIndex::systemPlaces()); });
    for (auto _ : state) {
        PlaceIndex index(PlaceIndex::systemPlaces());
        benchmark::DoNotOptimize(index);
    }
    state.counters["residentMB"] = grown;
}
BENCHMARK(BM_PlaceIndexLoad)->Unit(benchmark::kMillisecond);

void BM_ReverseGeocode(benchmark::State& state)
{
    const PlaceIndex& index = PlaceIndex::standard();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> latitude(36.0, 70.0), longitude(-10.0, 40.0);
    std::vector<std::pair<double, double>> points(4096);
    for (auto& point : points) point = {latitude(random), longitude(random)};
    size_t i = 0;
    for (auto _ : state) {
        const auto& [lat, lon] = points[i++ % points.size()];
        benchmark::DoNotOptimize(index.reverseGeocode(lat, lon));
    }
}
BENCHMARK(BM_ReverseGeocode)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace oxel
