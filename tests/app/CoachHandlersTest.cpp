// What the main window tells the compare coach: the batch at the first appearance and on each
// change, the results screen once it is on screen, and each lightbox step onto a developed picture.
#include "MainViewFixture.h"

#include "model/CompareCoach.h"
#include "ui/window/CompareHint.h"

namespace oxel::testing {
namespace {

TEST_F(MainViewTest, FirstAppearanceTellsTheBatchEvenWhenNoneIsOpen)
{
    dropPictures(1);
    model->ensureBatchStored();
    showView();
    model->compareCoach().compared();
    ASSERT_TRUE(model->compareCoach().comparedThisBatch());
    view.reset();
    model->newBatch();
    showView();
    EXPECT_FALSE(model->compareCoach().comparedThisBatch()) << "a window on no batch starts the coach afresh";
}

TEST_F(MainViewTest, OpeningOnResultsShowsTheHintUntilSpaceGoesDown)
{
    dropPictures(2);
    developAll();
    ASSERT_EQ(model->screen(), AppModel::Screen::results);
    MainView& main = showView();
    EXPECT_TRUE(model->compareCoach().showing());
    EXPECT_TRUE(main.compareHint()->isVisible());
    EXPECT_TRUE(main.compareHint()->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QRect hint = main.compareHint()->geometry();
    EXPECT_NEAR(hint.center().x(), main.width() / 2, 1);
    EXPECT_NEAR(hint.center().y(), main.height() / 2, 1);

    press(Qt::Key_Space);
    EXPECT_TRUE(main.comparing());
    EXPECT_TRUE(model->compareCoach().comparedThisBatch()) << "before settle";
    settle();
    EXPECT_FALSE(main.compareHint()->isVisible());
    EXPECT_TRUE(model->compareCoach().comparedThisBatch());
    EXPECT_TRUE(model->compareCoach().compareLastUsed());
    release(Qt::Key_Space);
    // Back to input and to results again in the same batch: the coach does not speak twice.
    model->setScreen(AppModel::Screen::input);
    settle();
    model->setScreen(AppModel::Screen::results);
    settle();
    EXPECT_FALSE(model->compareCoach().showing());
}

TEST_F(MainViewTest, LightboxStepsOntoDevelopedPicturesAreCounted)
{
    dropPictures(3);
    developAll();
    drop({writeJPEG("undeveloped.jpg")});
    model->setScreen(AppModel::Screen::input);
    MainView& main = showView();
    const auto items = model->items();
    ASSERT_EQ(items.size(), 4u);
    ASSERT_FALSE(items[3]->result());
    for (size_t index : {0u, 3u, 1u, 3u}) {
        model->setLightbox(items[index]);
        settle();
    }
    EXPECT_FALSE(model->compareCoach().showing()) << "two developed pictures so far";
    model->setLightbox(items[2]);
    settle();
    EXPECT_TRUE(model->compareCoach().showing());
    EXPECT_TRUE(main.compareHint()->isVisible());
}

} // namespace
} // namespace oxel::testing
