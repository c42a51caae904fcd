#pragma once

#include "library/BatchItem.h"
#include "model/ModelFixture.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace oxel::testing {

// A picture in a warm gradient, as a preview or a look thumbnail would show one.
PictureHandle gradientPicture(int width, int height, int warmth = 0);

// What a developed result carries, as far as the bands and the lightbox read it.
struct ResultShape {
    bool colourOnly = false;
    std::optional<float> divergence = 0.1f; // a preview plan with this divergence; none: declined
    bool looks = true;
    bool runnerUp = true;
    int lookThumbs = 2;
    int thumbHeight = 60;
    std::string brief = "warm late sun, lifted shadows";
};
std::shared_ptr<JobOutcome> developedResult(const ResultShape& shape = {});

// The application model with a batch of dropped photographs, for the views of the bands and the
// lightbox. Views refresh once per event-loop turn; `settle` ends the turn.
class BandTest : public ModelTest {
public:
    BandTest();

    // Drops `count` photographs (real JPEGs) and stores the batch.
    std::vector<std::shared_ptr<BatchItem>> dropPhotographs(int count);
    // Gives the item a result and a developed preview, as a finished develop leaves it.
    void develop(BatchItem& item, const ResultShape& shape = {});
    static void settle();
    // The texts of the visible labels and buttons under `root`.
    static QStringList visibleTexts(QWidget& root);
};

} // namespace oxel::testing
