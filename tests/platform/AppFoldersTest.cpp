#include "platform/AppFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace oxel {
namespace {

// Sets an environment variable (or unsets it with nothing) for the life of this object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(AppFolders, WithoutAHomeVariableTheAccountsHomeHoldsTheSettingsNeverTheTemporaryFolder)
{
    const passwd* account = ::getpwuid(::geteuid());
    ASSERT_TRUE(account && account->pw_dir);
    const std::filesystem::path home = account->pw_dir;
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>("relative")}) {
        ScopedVariable noHome("HOME", value);
        ScopedVariable noConfig("XDG_CONFIG_HOME", std::nullopt);
        ScopedVariable noCache("XDG_CACHE_HOME", std::nullopt);
        EXPECT_EQ(configDirectory(), home / ".config" / appFolderName());
        EXPECT_EQ(cacheDirectory(), home / ".cache" / appFolderName());
    }
    ScopedVariable someHome("HOME", "/home/someone");
    ScopedVariable noConfig("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(configDirectory(), std::filesystem::path("/home/someone/.config") / appFolderName());
}

} // namespace
} // namespace oxel
