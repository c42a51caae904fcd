// What a view follows of the model: fields of the model, of every item and of one item, refreshed
// once per event-loop turn however many of them changed in it.
#include "ui/window/ModelWatch.h"

#include "BandFixture.h"

#include <QWidget>

namespace oxel::testing {
namespace {

class ModelWatchTest : public BandTest {
protected:
    QWidget view;
    int refreshes = 0;
    std::unique_ptr<ModelWatch> watch = std::make_unique<ModelWatch>(view, *model, [this] { ++refreshes; });

    // The refreshes of one turn's end.
    int turn()
    {
        const int before = refreshes;
        settle();
        return refreshes - before;
    }
};

TEST_F(ModelWatchTest, ManyFollowedChangesInOneTurnRefreshOnceAndOthersNever)
{
    auto items = dropPhotographs(2);
    watch->model({AppModel::Field::globalStrength}).items({BatchItem::Field::strengthOffset});
    for (double value : {0.2, 0.4, 0.6}) {
        model->setGlobalStrength(value);
        model->setStrength(value, items[0]);
        model->setStrength(value, items[1]);
    }
    EXPECT_EQ(refreshes, 0) << "not before the turn ends";
    EXPECT_EQ(turn(), 1);
    model->setGlobalColour(0.3);
    items[0]->setNote("a note");
    EXPECT_EQ(turn(), 0) << "fields nobody follows";

    watch->runNow();
    EXPECT_EQ(refreshes, 2);
    model->setGlobalStrength(0.5);
    watch->runNow();
    EXPECT_EQ(turn(), 0) << "a refresh run now answers the pending one";
}

TEST_F(ModelWatchTest, ItemsThatJoinAreFollowedAndOneItemIsFollowedUntilReplaced)
{
    watch->items({BatchItem::Field::note});
    auto items = dropPhotographs(1);
    EXPECT_GE(turn(), 1) << "the batch's items changed";
    items[0]->setNote("joined");
    EXPECT_EQ(turn(), 1);

    auto more = dropPhotographs(2);
    turn();
    more[1]->setNote("the second");
    EXPECT_EQ(turn(), 1);

    watch->items({});
    watch->item(more[0], {BatchItem::Field::colourOffset});
    more[0]->setColourOffset(0.1);
    more[1]->setColourOffset(0.1);
    EXPECT_EQ(turn(), 1);
    watch->item(more[1], {BatchItem::Field::colourOffset});
    more[0]->setColourOffset(0.2);
    EXPECT_EQ(turn(), 0) << "the item followed before";
    watch->item(nullptr, {});
    more[1]->setColourOffset(0.2);
    EXPECT_EQ(turn(), 0);
}

TEST_F(ModelWatchTest, NothingRunsOnceTheWatchOrItsViewIsGone)
{
    watch->model(ModelWatch::ModelFields::every());
    model->setGlobalStrength(0.4);
    watch.reset();
    EXPECT_EQ(turn(), 0);

    auto* shortLived = new QWidget;
    ModelWatch orphan(*shortLived, *model, [this] { ++refreshes; });
    orphan.model(ModelWatch::ModelFields::every());
    model->setGlobalStrength(0.6);
    delete shortLived;
    model->setGlobalStrength(0.7);
    EXPECT_EQ(turn(), 0);
}

} // namespace
} // namespace oxel::testing
