#include "ExportFixture.h"

#include "backend/AuthCallbackURL.h"
#include "model/CheckoutLink.h"

#include <thread>

namespace oxel::testing {
namespace {

ProProduct productAt(std::string url, std::optional<std::string> provider)
{
    ProProduct product;
    product.id = "roll-50";
    product.checkoutURL = std::move(url);
    product.provider = std::move(provider);
    return product;
}

TEST(CheckoutLink, AddsTheUserIdUnderTheProvidersNameAfterTheQuery)
{
    struct Case {
        std::string url;
        std::optional<std::string> provider;
        std::optional<std::string> link;
    };
    const std::vector<Case> cases = {
        {"https://shop.example/buy/abc?embed=1&media=0", "lemonsqueezy",
         "https://shop.example/buy/abc?embed=1&media=0&checkout%5Bcustom%5D%5Buser_id%5D=42"},
        {"https://shop.example/buy/abc", "lemonsqueezy",
         "https://shop.example/buy/abc?checkout%5Bcustom%5D%5Buser_id%5D=42"},
        {"https://pay.example/c/pack?x=y#top", "stripe", "https://pay.example/c/pack?x=y&client_reference_id=42#top"},
        {"http://127.0.0.1:8080/pro/checkout/roll-50", std::nullopt,
         "http://127.0.0.1:8080/pro/checkout/roll-50?client_reference_id=42"},
        {"file:///etc/passwd", std::nullopt, std::nullopt},
        {"myapp://open", "stripe", std::nullopt},
        {"https://shop.example/a b", std::nullopt, std::nullopt},
        {"not a url", std::nullopt, std::nullopt},
        {"https:///nohost", std::nullopt, std::nullopt},
        {"http://?x=1", std::nullopt, std::nullopt},
        {"https://#top", std::nullopt, std::nullopt},
        {"https://", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.url);
        EXPECT_EQ(checkoutLink(productAt(entry.url, entry.provider), "42"), entry.link);
    }
    auto link = checkoutLink(productAt("https://shop.example/buy?embed=1", "lemonsqueezy"), "7");
    auto parsed = AuthCallbackURL::parse(*link);
    ASSERT_TRUE(parsed && parsed->queryItems);
    EXPECT_EQ(parsed->queryItems->size(), 2u);
    EXPECT_EQ(parsed->firstItem("checkout[custom][user_id]")->value, "7");
}

class ShopTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }
    ProProduct localPack()
    {
        await(model->refreshProducts());
        EXPECT_TRUE(model->products());
        for (const auto& product : model->products()->products)
            if (product.id == "roll-50") return product;
        ADD_FAILURE() << "no 50-shot pack";
        return {};
    }
    bool funnelEventArrived(const std::string& name)
    {
        for (int i = 0; i < 200; ++i) {
            for (const auto& event : backend.state().funnelEvents())
                if (event.dump().find(name) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
};

TEST_F(ShopTest, ABoughtPackIsAnnouncedWhenItsShotsArriveUntilTheBatchMoves)
{
    await(model->refreshBalance());
    ASSERT_TRUE(model->balance());
    const auto before = model->balance()->balance;
    const auto pack = localPack();
    model->buy(pack);
    ASSERT_EQ(openedURLs.size(), 1u);
    EXPECT_EQ(openedURLs[0], pack.checkoutURL + "?client_reference_id=" + std::to_string(account.userId));
    EXPECT_TRUE(funnelEventArrived("purchase_screen_viewed"));

    // The photographer pays on the checkout page half a minute later.
    loop.advance(std::chrono::seconds(25));
    EXPECT_FALSE(model->statusLine());
    const auto answer = run("curl -s -o /dev/null -w '%{http_code}' --data '' '" + openedURLs[0] + "'");
    EXPECT_EQ(answer, "200");
    ASSERT_TRUE(runUntil([&] { return model->statusLine().has_value(); }));
    EXPECT_EQ(model->statusLine(), "50 shots added to the roll");
    EXPECT_EQ(model->balance()->balance, before + 50);
    EXPECT_LE(loop.elapsed(), std::chrono::seconds(60));

    // The news stands while the batch's progress stays where it was, and gives way to the progress
    // line once it moves.
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});
    EXPECT_EQ(model->statusLine(), "50 shots added to the roll");
    model->process();
    EXPECT_FALSE(model->statusLine());
}

TEST_F(ShopTest, BoughtWithNoBalanceKnownOnlyTheRiseIsAnnounced)
{
    struct Case {
        const char* name;
        int failedBalanceAnswers;
    };
    for (const Case& entry : {Case{"fetched first", 0}, Case{"first fetch refused", 1}}) {
        SCOPED_TRACE(entry.name);
        makeModel();
        int balanceAnswers = 0;
        auto counting = model->changed.connect([&](AppModel::Field field) {
            if (field == AppModel::Field::balance) ++balanceAnswers;
        });
        backend.setFaults(
            local::LocalFaults{.pathPrefix = "/credits/balance", .status = 503, .times = entry.failedBalanceAnswers});
        ASSERT_FALSE(model->balance());
        const auto before = backend.state().account(account.userId)->balance;
        ASSERT_GT(before, 0);
        model->buy(localPack());
        ASSERT_EQ(openedURLs.size(), 1u);
        // The watch has a balance to count from and has looked once more, finding nothing bought.
        ASSERT_TRUE(runUntil([&] { return balanceAnswers >= 2; }));
        EXPECT_FALSE(model->statusLine());
        EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code}' --data '' '" + openedURLs[0] + "'"), "200");
        ASSERT_TRUE(runUntil([&] { return model->statusLine().has_value(); }));
        EXPECT_EQ(model->statusLine(), "50 shots added to the roll");
        EXPECT_EQ(model->balance()->balance, before + 50);
        openedURLs.clear();
        backend.clearFaults();
    }
}

TEST_F(ShopTest, AWatchWithoutARiseEndsSilentlyAfterTenMinutes)
{
    await(model->refreshBalance());
    const auto start = loop.elapsed();
    await(model->awaitShots(model->balance()->balance));
    EXPECT_FALSE(model->statusLine());
    EXPECT_GE(loop.elapsed() - start, std::chrono::seconds(600));
    EXPECT_LT(loop.elapsed() - start, std::chrono::seconds(610));
    EXPECT_EQ(requestsTo("/credits/balance").size(), 61u);
}

TEST_F(ShopTest, SignedOutOrAnUnsafeURLOpensNothing)
{
    model->buy(productAt("file:///bin/sh", std::nullopt));
    model->buy(productAt("https://shop.example/%zz", "lemonsqueezy"));
    EXPECT_TRUE(openedURLs.empty());
    signOut();
    makeModel();
    model->buy(productAt("https://shop.example/buy", "lemonsqueezy"));
    EXPECT_TRUE(openedURLs.empty());
    EXPECT_EQ(model->tasks().runningCount(), 0u);
}

TEST_F(ShopTest, CallersShareOneProductsRequestAndAFailureKeepsTheList)
{
    bool firstDone = false;
    bool secondDone = false;
    auto wait = [](Task<void> refresh, bool& done) -> Task<void> {
        co_await std::move(refresh);
        done = true;
    };
    model->tasks().spawn(wait(model->refreshProducts(), firstDone));
    model->tasks().spawn(wait(model->refreshProducts(), secondDone));
    ASSERT_TRUE(runUntil([&] { return firstDone && secondDone; }));
    EXPECT_EQ(requestsTo("/pro/products").size(), 1u);
    ASSERT_TRUE(model->products());
    const auto held = *model->products();
    EXPECT_EQ(held.products.size(), 3u);

    for (auto fault :
         {local::LocalFaults{.pathPrefix = "/pro/products", .status = 503},
          local::LocalFaults{.pathPrefix = "/pro/products", .answer = R"({"products": 7})"},
          local::LocalFaults{.pathPrefix = "/pro/products", .body = local::LocalFaults::Body::truncated}}) {
        backend.setFaults(fault);
        await(model->refreshProducts());
        ASSERT_TRUE(model->products());
        EXPECT_EQ(*model->products(), held);
    }
    EXPECT_EQ(requestsTo("/pro/products").size(), 4u);
}

} // namespace
} // namespace oxel::testing
