#include "backend/KeychainAccount.h"

#include "support/SecretServiceGate.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using Saved = KeychainAccount::Saved;

TEST(KeychainAccountRecord, WritesOnlyPresentMembersAndReadsLeniently)
{
    const Saved full{"7", "tok", "apple", "active"};
    EXPECT_EQ(Saved::fromJson(full.json()), full);
    EXPECT_EQ(Saved{"7"}.json(), "{\"userId\":\"7\"}");

    EXPECT_EQ(Saved::fromJson(R"({"userId":"9","token":5,"extra":true})"), (Saved{"9"}))
        << "a member of another type is absent, unknown members are ignored";
    for (const char* undecodable : {R"({"userId":9})", R"({"token":"t"})", "[]", "not json", ""})
        EXPECT_FALSE(Saved::fromJson(undecodable)) << undecodable;
}

TEST(KeychainAccountRecord, ItemIsNamedAfterTheApplication)
{
    EXPECT_EQ(KeychainAccount::query("pro.oxel.desktop").service, "pro.oxel.desktop.account");
    EXPECT_EQ(KeychainAccount::query("").service, "oxel pro.account");
    EXPECT_EQ(KeychainAccount::query("x").account, "account");
}

class AccountFixture : public ::testing::Test {
protected:
    AccountFixture()
        : defaults(folder / "settings.json"),
          storage{
              defaults,
              {std::string("oxel.test.") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), "account"}}
    {}
    ~AccountFixture() override { SecretStore::remove(storage.item); }

    void putItem(const Saved& record) { KeychainAccount::save(record, storage); }
    std::optional<Saved> item() const { return KeychainAccount::load(storage); }

    testing::TemporaryFolder folder;
    SettingsStore defaults;
    AccountStorage storage;
};

class KeychainAccountWithSecretService : public AccountFixture {
protected:
    void SetUp() override { OXEL_REQUIRE_PRIVATE_SECRET_SERVICE(); }
};

TEST_F(KeychainAccountWithSecretService, StoreWritesDefaultsAndItemAndKeepsATokenWhenGivenNone)
{
    defaults.set("signInProvider", "google");
    KeychainAccount::store("7", "tok-1", storage);
    EXPECT_EQ(item(), (Saved{"7", "tok-1", "google", std::nullopt}));

    KeychainAccount::store("7", "", storage);
    KeychainAccount::store("7", std::nullopt, storage);
    EXPECT_EQ(defaults.stringValue("accountToken"), "tok-1");
    EXPECT_EQ(item()->token, "tok-1");
}

TEST_F(KeychainAccountWithSecretService, AnotherAccountWithoutATokenDoesNotInheritTheSavedOne)
{
    KeychainAccount::store("7", "tok-7", storage);
    KeychainAccount::store("9", std::nullopt, storage);
    EXPECT_FALSE(defaults.contains("accountToken"));
    EXPECT_EQ(item(), (Saved{"9"}));
}

TEST_F(KeychainAccountWithSecretService, ARecordThatCannotBeEncodedLeavesTheItemAsItWas)
{
    putItem({"7", "tok"});
    EXPECT_NO_THROW(KeychainAccount::save({"7", "\xff\xfe"}, storage));
    EXPECT_EQ(item(), (Saved{"7", "tok"}));
}

TEST_F(KeychainAccountWithSecretService, SaveFromDefaultsNeedsANonEmptyUserId)
{
    defaults.set("accountToken", "t");
    KeychainAccount::saveFromDefaults(storage);
    defaults.set("userId", "");
    KeychainAccount::saveFromDefaults(storage);
    EXPECT_FALSE(item());
}

TEST_F(KeychainAccountWithSecretService, LaunchRestoresEmptiedDefaultsFromTheItem)
{
    putItem({"7", "tok", "apple", "waitlisted"});
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(defaults.stringValue("userId"), "7");
    EXPECT_EQ(defaults.stringValue("accountToken"), "tok");
    EXPECT_EQ(defaults.stringValue("signInProvider"), "apple");
    EXPECT_EQ(defaults.stringValue("accessState"), "waitlisted");
}

TEST_F(KeychainAccountWithSecretService, LaunchRestoresOnlyWhatTheItemHolds)
{
    putItem({"7", std::nullopt, "google", std::nullopt});
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(defaults.stringValue("userId"), "7");
    EXPECT_FALSE(defaults.contains("accountToken"));
    EXPECT_FALSE(defaults.contains("accessState"));
}

TEST_F(KeychainAccountWithSecretService, LaunchRewritesAnItemOfAnotherUserOrToken)
{
    defaults.set("userId", "7");
    defaults.set("accountToken", "new");
    putItem({"9", "new"});
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7", "new"}));

    putItem({"7", "old"});
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7", "new"}));

    defaults.remove("accountToken");
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7"})) << "a stored token against none is a difference too";
}

TEST_F(KeychainAccountWithSecretService, LaunchLeavesAnItemThatDiffersOnlyInProviderOrAccess)
{
    defaults.set("userId", "7");
    defaults.set("accountToken", "tok");
    defaults.set("signInProvider", "google");
    putItem({"7", "tok", "apple", "waitlisted"});
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7", "tok", "apple", "waitlisted"}));
}

TEST_F(KeychainAccountWithSecretService, LaunchReplacesAnUndecodableItemAndWritesAMissingOne)
{
    defaults.set("userId", "7");
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7"}));

    SecretStore::save(storage.item, "x", "{\"userId\": 7}");
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(item(), (Saved{"7"}));
}

TEST_F(KeychainAccountWithSecretService, ClearRemovesEveryKeyAndTheItem)
{
    KeychainAccount::store("7", "tok", storage);
    defaults.set("signInProvider", "apple");
    defaults.set("accessState", "active");
    defaults.set("creditBalance", 12);
    defaults.set("grainEnabled", false);
    KeychainAccount::clear(storage);
    EXPECT_EQ(defaults.keys(), std::vector<std::string>{"grainEnabled"});
    EXPECT_FALSE(item());

    KeychainAccount::clear(storage); // no item left: nothing to report
    EXPECT_EQ(defaults.keys(), std::vector<std::string>{"grainEnabled"});
}

class KeychainAccountWithoutSecretService : public AccountFixture {
protected:
    void SetUp() override { OXEL_REQUIRE_NO_SECRET_SERVICE(); }
};

TEST_F(KeychainAccountWithoutSecretService, TheUserDefaultsStayTheWorkingCopy)
{
    KeychainAccount::store("7", "tok", storage);
    KeychainAccount::restoreAtLaunch(storage);
    EXPECT_EQ(defaults.stringValue("userId"), "7");
    EXPECT_EQ(defaults.stringValue("accountToken"), "tok");
    KeychainAccount::clear(storage);
    EXPECT_TRUE(defaults.keys().empty());
}

} // namespace
} // namespace oxel
