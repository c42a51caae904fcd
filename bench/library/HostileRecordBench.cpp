// A planted batch.json of 15 MB made of empty objects: listing a library that holds it, and parsing
// its bytes with no limit on the values; how long, and how much memory the process reached.
#include "library/LibraryStore.h"
#include "platform/JsonFields.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>

namespace {

using namespace oxel;
namespace fs = std::filesystem;

std::string emptyObjects()
{
    std::string empties = R"({"images": [)";
    while (empties.size() < size_t(15) << 20) empties += "{},";
    empties += "{}]}";
    return empties;
}

void BM_ParseAManyValuedRecordWithoutALimit(benchmark::State& state)
{
    const std::string bytes = emptyObjects();
    size_t peak = 0;
    for (auto _ : state) {
        resetResidentPeak();
        const size_t before = residentBytes();
        benchmark::DoNotOptimize(parseJson(bytes));
        peak = std::max(peak, residentPeakBytes() - before);
    }
    state.counters["peak_MB"] = double(peak) / (1 << 20);
}
BENCHMARK(BM_ParseAManyValuedRecordWithoutALimit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListAPlantedManyValuedRecord(benchmark::State& state)
{
    std::string pattern = (fs::temp_directory_path() / "oxel-bench-XXXXXX").string();
    const fs::path root = ::mkdtemp(pattern.data());
    const fs::path record = root / "3F2504E0-4F89-41D3-9A0C-0305E82C3301" / "batch.json";
    fs::create_directories(record.parent_path());
    std::ofstream(record, std::ios::binary) << emptyObjects();
    LibraryStore store(LibraryStore::Environment{root, {}});
    size_t peak = 0;
    for (auto _ : state) {
        resetResidentPeak();
        const size_t before = residentBytes();
        benchmark::DoNotOptimize(store.list());
        peak = std::max(peak, residentPeakBytes() - before);
    }
    state.counters["peak_MB"] = double(peak) / (1 << 20);
    fs::remove_all(root);
}
BENCHMARK(BM_ListAPlantedManyValuedRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
