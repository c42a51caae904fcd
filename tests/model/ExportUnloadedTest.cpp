#include "ExportFixture.h"

using namespace oxel;
using namespace oxel::testing;

// The export sheet promises every developed picture; one whose original is not loaded cannot be
// written, and the status line says how many were left out and why.
TEST_F(ExportTest, PicturesWhoseOriginalIsNotLoadedAreCountedOnTheStatusLine)
{
    auto items = developed({writeJPEG("a.jpg"), writeJPEG("b.jpg"), writeJPEG("c.jpg")});
    ASSERT_EQ(items.size(), 3u);
    items[1]->setSource(std::nullopt);
    items[2]->setSource(std::nullopt);
    model->exportTo({ExportOptions{ExportFormat::jpeg}}, out());
    EXPECT_EQ(model->statusLine(), "2 not exported · original not loaded");
    runExports();
    EXPECT_EQ(entriesOf(out()), std::vector<std::string>{"a-oxel.jpg"});

    items[1]->setExportProgress(0.5);
    items[1]->setSource(items[0]->source());
    model->exportTo({ExportOptions{ExportFormat::jpeg}}, out());
    EXPECT_EQ(model->statusLine(), "1 already exporting · not exported again · 1 not exported · original not loaded");
}
