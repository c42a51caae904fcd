// Sheets presented from the model's flags over a window: one at a time, fresh each time, closed
// by the person or by the model.
#include "app/SheetPresenter.h"
#include "support/ModelFixture.h"
#include "ui/kit/SheetDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

namespace oxel::testing {
namespace {

class SheetPresenterTest : public ModelTest {
protected:
    void SetUp() override
    {
        makeModel();
        window.resize(1200, 800);
        window.show();
        const auto flag = [](bool raised) { return raised ? std::optional<std::string>("") : std::nullopt; };
        const auto sheet = [this](const char* title) {
            return [this, title](QWidget* parent) -> QDialog* {
                ++made[title];
                return new SheetDialog(QString::fromUtf8(title), parent, 400);
            };
        };
        presenter = std::make_unique<SheetPresenter>(
            window, std::vector<SheetPresenter::Sheet>{
                        {"confirm", [this, flag] { return flag(model->showConfirm()); },
                         [this] { model->setShowConfirm(false); }, sheet("confirm")},
                        {"credits", [this, flag] { return flag(model->showCredits()); },
                         [this] { model->setShowCredits(false); }, sheet("credits")},
                        {"rename",
                         [this, flag] { return flag(model->showRename()); },
                         [this] { model->setShowRename(false); },
                         {}},
                        {"setup",
                         [this]() -> std::optional<std::string> {
                             if (!model->setupGuide()) return std::nullopt;
                             return std::string(rawValue(*model->setupGuide()));
                         },
                         [this] { model->setSetupGuide(std::nullopt); }, sheet("setup")},
                    });
        connection = model->changed.connect([this](AppModel::Field) { presenter->refresh(); });
    }

    void escape()
    {
        QDialog* sheet = presenter->current();
        ASSERT_TRUE(sheet);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QApplication::processEvents();
    }

    QWidget window;
    std::unique_ptr<SheetPresenter> presenter;
    std::map<std::string, int> made;
    Connection connection;
};

TEST_F(SheetPresenterTest, AFlagOpensAFreshSheetAndEscapeLowersIt)
{
    model->setShowConfirm(true);
    ASSERT_EQ(presenter->currentName(), "confirm");
    EXPECT_TRUE(presenter->current()->isVisible());
    EXPECT_EQ(presenter->current()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(presenter->current()->parentWidget(), &window);
    escape();
    EXPECT_FALSE(model->showConfirm());
    EXPECT_EQ(presenter->current(), nullptr);
    model->setShowConfirm(true);
    EXPECT_EQ(made["confirm"], 2) << "a new sheet each time";
    escape();
}

TEST_F(SheetPresenterTest, OneSheetAtATimeAndTheModelClosesItsOwn)
{
    model->setShowConfirm(true);
    QPointer<QDialog> confirm = presenter->current();
    // "buy shots" in the confirm sheet: it closes itself, then the shop's flag rises.
    model->setShowCredits(true);
    EXPECT_EQ(presenter->currentName(), "confirm") << "the shop waits its turn";
    confirm->done(QDialog::Accepted);
    QApplication::processEvents();
    EXPECT_FALSE(model->showConfirm());
    EXPECT_EQ(presenter->currentName(), "credits");
    // The model lowering the flag closes the sheet.
    QPointer<QDialog> credits = presenter->current();
    model->setShowCredits(false);
    QApplication::processEvents();
    EXPECT_TRUE(!credits || !credits->isVisible());
    EXPECT_EQ(presenter->current(), nullptr);
    // A sheet that cannot be made yet leaves its flag alone and blocks nothing.
    model->setShowRename(true);
    EXPECT_EQ(presenter->current(), nullptr);
    model->setSetupGuide(HandoffApp::shotwell);
    EXPECT_EQ(presenter->currentName(), "setup");
}

TEST_F(SheetPresenterTest, AnotherHostReplacesTheSetUpSheet)
{
    model->setSetupGuide(HandoffApp::shotwell);
    QPointer<QDialog> first = presenter->current();
    model->setSetupGuide(HandoffApp::darktable);
    QApplication::processEvents();
    EXPECT_TRUE(!first || !first->isVisible());
    EXPECT_EQ(presenter->currentName(), "setup");
    EXPECT_NE(presenter->current(), first.data());
    EXPECT_EQ(model->setupGuide(), HandoffApp::darktable) << "closing the old sheet kept the new host";
    EXPECT_EQ(made["setup"], 2);
    escape();
    EXPECT_EQ(model->setupGuide(), std::nullopt);
}

} // namespace
} // namespace oxel::testing
