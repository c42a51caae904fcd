#pragma once

#include "library/BatchItem.h"
#include "support/DevelopedResult.h"
#include "support/ModelFixture.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QWidget;

namespace oxel::testing {

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
