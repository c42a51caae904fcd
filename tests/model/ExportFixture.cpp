#include "ExportFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace oxel::testing {

namespace fs = std::filesystem;

std::vector<std::shared_ptr<BatchItem>> ExportTest::developed(const std::vector<fs::path>& files)
{
    drop(files);
    developAll();
    return model->items();
}

std::vector<std::shared_ptr<BatchItem>> ExportTest::handedOver(const std::vector<fs::path>& files,
                                                               std::optional<std::string> sender)
{
    model->receiveHandoff(files, sender);
    runImports();
    developAll();
    return model->items();
}

void ExportTest::developAll()
{
    model->process();
    runUntilOrStop(
        [&] {
            for (const auto& item : model->items())
                if (!item->result() || item->phase().isInFlight()) return false;
            return !model->items().empty() && model->tasks().runningCount() == 0;
        },
        "not every picture was developed");
}

void ExportTest::runExports()
{
    ASSERT_TRUE(runUntil([&] {
        if (model->exportsPending() != 0) return false;
        return std::none_of(model->items().begin(), model->items().end(),
                            [](const auto& item) { return item->exportProgress().has_value(); });
    }));
}

void ExportTest::makeColourOnly(BatchItem& item)
{
    auto outcome = std::make_shared<JobOutcome>(*item.result());
    outcome->colourOnly = true;
    item.setResult(outcome);
}

void ExportTest::giveJobId(BatchItem& item, const std::string& jobId)
{
    auto outcome = std::make_shared<JobOutcome>(*item.result());
    outcome->jobId = jobId;
    item.setResult(outcome);
}

std::optional<Json> jsonOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return parseJson(text.str());
}

std::string magickFormat(const fs::path& file)
{
    return run("identify -format '%m %z' '" + file.string() + "[0]' 2>/dev/null");
}

std::string pixelDigest(const fs::path& file)
{
    return run("identify -format '%#' '" + file.string() + "[0]' 2>/dev/null");
}

std::string profileDescription(const fs::path& file)
{
    auto text = run("exiftool -s -s -s -ProfileDescription '" + file.string() + "' 2>/dev/null");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string tiffInfo(const fs::path& file)
{
    return run("tiffinfo '" + file.string() + "' 2>&1");
}

std::string psdToolsReading(const fs::path& file)
{
    auto text = run("/usr/bin/python3 -c \"import sys; from psd_tools import PSDImage; d = PSDImage.open(sys.argv[1]); "
                    "print(d.depth, len(list(d)))\" '" +
                    file.string() + "' 2>&1");
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace oxel::testing
