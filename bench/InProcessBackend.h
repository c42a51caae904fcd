#pragma once

#include "backend/BackendBaseURL.h"
#include "localbackend/LocalBackend.h"
#include "platform/SettingsStore.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace oxel::bench {

// The local backend in this process with its delays off, and an account with shots to spare signed
// in to it; the user defaults live in a folder of their own, removed at the end.
struct InProcessBackend {
    std::filesystem::path folder;
    std::unique_ptr<local::LocalBackend> backend;
    std::string userId;

    explicit InProcessBackend(const std::string& name)
    {
        folder = std::filesystem::temp_directory_path() / ("oxel-" + name + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder / "config");
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        local::LocalBackend::Options options;
        options.instant = true;
        backend = std::make_unique<local::LocalBackend>(options);
        if (!backend->start()) std::abort();
        overrideBackendBaseURL(backend->baseURL());
        auto account = backend->state().signIn("apple", name);
        backend->state().setBalance(account.userId, 1'000'000);
        userId = std::to_string(account.userId);
        SettingsStore::shared().set("userId", userId);
        SettingsStore::shared().set("accountToken", account.token);
    }

    ~InProcessBackend()
    {
        backend.reset();
        std::filesystem::remove_all(folder);
    }
    InProcessBackend(const InProcessBackend&) = delete;
    InProcessBackend& operator=(const InProcessBackend&) = delete;
};

} // namespace oxel::bench
