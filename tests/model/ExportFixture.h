#pragma once

#include "support/ModelFixture.h"

#include "export/LayeredTestSupport.h"
#include "platform/JsonFields.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace oxel::testing {

// The model with developed pictures, and the independent readers that check what was written.
class ExportTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }

    // Drops the files, or hands them over, and develops them through the local backend.
    std::vector<std::shared_ptr<BatchItem>> developed(const std::vector<std::filesystem::path>& files);
    std::vector<std::shared_ptr<BatchItem>> handedOver(const std::vector<std::filesystem::path>& files,
                                                       std::optional<std::string> sender = std::nullopt);
    void developAll();
    // Runs the loop until no export is pending or showing progress.
    void runExports();
    // The item's result, changed as a colour-only or an on-device result would be.
    void makeColourOnly(BatchItem& item);
    void giveJobId(BatchItem& item, const std::string& jobId);

    std::filesystem::path out() const { return folder / "out"; }
};

using layeredtest::run;
// The JSON of a file the library wrote.
std::optional<Json> jsonOf(const std::filesystem::path& file);
// "<format> <depth>" as ImageMagick reads the file.
std::string magickFormat(const std::filesystem::path& file);
// ImageMagick's digest of the decoded pixels.
std::string pixelDigest(const std::filesystem::path& file);
// The ICC profile description as exiftool reads it.
std::string profileDescription(const std::filesystem::path& file);
// What tiffinfo prints about the file.
std::string tiffInfo(const std::filesystem::path& file);
// psd-tools' reading: "<depth> <layer count>".
std::string psdToolsReading(const std::filesystem::path& file);
// The names of a folder's entries, sorted.
std::vector<std::string> entriesOf(const std::filesystem::path& folder);

} // namespace oxel::testing
