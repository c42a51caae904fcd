#include "platform/SecretStore.h"

#include "support/SecretServiceGate.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

SecretItem itemOfThisTest()
{
    return {std::string("oxel.test.") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), "account"};
}

TEST(SecretStoreWithSecretService, SavesReplacesAndRemovesOneItem)
{
    OXEL_REQUIRE_PRIVATE_SECRET_SERVICE();
    const SecretItem item = itemOfThisTest();
    EXPECT_FALSE(SecretStore::load(item));
    EXPECT_TRUE(SecretStore::save(item, "label", "{\"userId\":\"7\"}"));
    EXPECT_EQ(SecretStore::load(item), "{\"userId\":\"7\"}");
    EXPECT_TRUE(SecretStore::save(item, "label", "second"));
    EXPECT_EQ(SecretStore::load(item), "second");
    EXPECT_TRUE(SecretStore::remove(item));
    EXPECT_FALSE(SecretStore::load(item));
    EXPECT_FALSE(SecretStore::remove(item)) << "nothing left to remove";
}

TEST(SecretStoreWithSecretService, KeepsItemsOfOtherServicesAndAccountsApart)
{
    OXEL_REQUIRE_PRIVATE_SECRET_SERVICE();
    const SecretItem item = itemOfThisTest();
    const SecretItem otherService{item.service + ".other", item.account};
    const SecretItem otherAccount{item.service, "other"};
    SecretStore::save(item, "label", "mine");
    SecretStore::save(otherService, "label", "service");
    SecretStore::save(otherAccount, "label", "account");
    SecretStore::remove(otherService);
    EXPECT_EQ(SecretStore::load(item), "mine");
    EXPECT_EQ(SecretStore::load(otherAccount), "account");
    EXPECT_FALSE(SecretStore::load(otherService));
}

TEST(SecretStoreWithoutSecretService, EveryOperationFailsQuietly)
{
    OXEL_REQUIRE_NO_SECRET_SERVICE();
    const SecretItem item = itemOfThisTest();
    EXPECT_FALSE(SecretStore::save(item, "label", "secret"));
    EXPECT_FALSE(SecretStore::load(item));
    EXPECT_FALSE(SecretStore::remove(item));
}

} // namespace
} // namespace oxel
