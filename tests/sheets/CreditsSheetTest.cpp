#include "SheetFixture.h"

#include "sheets/CreditsSheet.h"
#include "ui/kit/DigitsLabel.h"

using namespace oxel;
using namespace oxel::testing;

namespace {

class CreditsTest : public SheetTest {
public:
    QPointer<CreditsSheet> openShop(std::optional<std::string> currency = "EUR")
    {
        model->setShowCredits(true);
        return opened(new CreditsSheet(*model, &window, std::move(currency)));
    }

    void answerProducts(const std::string& body)
    {
        local::LocalFaults faults;
        faults.pathPrefix = "/pro/products";
        faults.answer = body;
        backend.setFaults(faults);
    }

    static QStringList prices(QWidget& sheet)
    {
        QStringList shown;
        for (auto* price : sheet.findChildren<DigitsLabel*>())
            if (price->isVisibleTo(&sheet)) shown << price->text();
        return shown;
    }

    static int buyButtons(QWidget& sheet, bool enabled)
    {
        int count = 0;
        for (auto* button : sheet.findChildren<SheetButton*>())
            if (button->label() == "buy" && button->isVisibleTo(&sheet) && button->isEnabled() == enabled) ++count;
        return count;
    }
};

const std::string closedShop = R"({"available": false, "products": [
    {"id": "a", "credits": 1, "label": "one", "price": "$1", "checkoutURL": "https://shop.example/a"},
    {"id": "b", "credits": 50, "label": "fifty", "price": "$39", "checkoutURL": "https://shop.example/b",
     "prices": {"EUR": "36 €"}},
    {"id": "c", "credits": 200, "label": "", "price": "", "checkoutURL": "https://shop.example/c"}]})";

} // namespace

TEST(CreditsRoll, CountsShotsOrWaits)
{
    EXPECT_EQ(rollLine(0), "0 shots in the roll");
    EXPECT_EQ(rollLine(1), "1 shot in the roll");
    EXPECT_EQ(rollLine(40), "40 shots in the roll");
    EXPECT_EQ(rollLine(std::nullopt), "…");
}

TEST_F(CreditsTest, ProductsFetchedOnShowAppearWithoutReopening)
{
    auto sheet = openShop();
    EXPECT_EQ(sheet->width(), 440);
    EXPECT_TRUE(shownTexts(*sheet).contains("…")) << "no balance yet";
    ASSERT_TRUE(runThenShow([&] { return model->products().has_value(); }));
    EXPECT_EQ(requestsTo("/pro/products").size(), 1u);
    EXPECT_TRUE(shownTexts(*sheet).contains("50 shots"));
    EXPECT_EQ(prices(*sheet), (QStringList{"9 €", "36 €", "119 €"})) << "the price in the user's currency";
    EXPECT_EQ(buyButtons(*sheet, true), 3);
    EXPECT_FALSE(
        shownTexts(*sheet).contains("the shop is not open yet. shots bought in oxel on your phone work here."));

    setBalance(1);
    EXPECT_TRUE(shownTexts(*sheet).contains("1 shot in the roll"));
    setBalance(0);
    EXPECT_TRUE(shownTexts(*sheet).contains("0 shots in the roll"));

    // Buying leaves the shop open; a held list is not fetched again on the next opening.
    click(shownButton(*sheet, "buy"));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(openedURLs.size(), 1u);
    click(shownButton(*sheet, "done"));
    settle();
    EXPECT_FALSE(model->showCredits());
    const size_t running = model->tasks().runningCount();
    auto again = openShop();
    EXPECT_EQ(model->tasks().runningCount(), running) << "no fetch started";
    again->reject();
    settle();
}

TEST_F(CreditsTest, AClosedShopListsItsPacksWithBuyDisabledAndOddEntriesAsDecoded)
{
    answerProducts(closedShop);
    auto sheet = openShop("GBP");
    ASSERT_TRUE(runThenShow([&] { return model->products().has_value(); }));
    EXPECT_TRUE(shownTexts(*sheet).contains("the shop is not open yet. shots bought in oxel on your phone work here."));
    EXPECT_EQ(buyButtons(*sheet, false), 3);
    EXPECT_EQ(buyButtons(*sheet, true), 0);
    EXPECT_TRUE(shownTexts(*sheet).contains("1 shots")) << "a pack always counts in the plural";
    EXPECT_EQ(prices(*sheet), (QStringList{"$1", "$39", ""})) << "no price for this currency falls back";
    sheet->reject();
    settle();
}

TEST_F(CreditsTest, AnOpenShopWithNoPacksShowsOnlyTheNote)
{
    answerProducts(R"({"available": true, "products": []})");
    auto sheet = openShop();
    ASSERT_TRUE(runThenShow([&] { return model->products().has_value(); }));
    EXPECT_EQ(buyButtons(*sheet, true) + buyButtons(*sheet, false), 0);
    EXPECT_FALSE(
        shownTexts(*sheet).contains("the shop is not open yet. shots bought in oxel on your phone work here."));
    EXPECT_TRUE(shownTexts(*sheet).contains(
        "checkout opens in your browser. tax is handled for you; the shots land in the roll a moment after."));
    sheet->reject();
    settle();
}
