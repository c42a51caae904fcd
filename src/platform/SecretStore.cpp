#include "platform/SecretStore.h"

#include "platform/Diagnostics.h"

#include <libsecret/secret.h>

namespace oxel {

namespace {

const SecretSchema* genericPasswordSchema()
{
    // Items are matched by their attributes only, so an item written under another schema name
    // with the same service and account is the same item.
    static const SecretSchema schema = {
        "pro.oxel.GenericPassword",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

// Logs and frees `error`; true when there was one.
bool failed(GError* error, const char* operation)
{
    if (!error) return false;
    diagnose("secrets", std::string(operation) + " failed: " + error->message);
    g_error_free(error);
    return true;
}

} // namespace

bool SecretStore::save(const SecretItem& item, const std::string& label, const std::string& secret)
{
    GError* error = nullptr;
    const gboolean stored = secret_password_store_sync(genericPasswordSchema(), SECRET_COLLECTION_DEFAULT,
                                                       label.c_str(), secret.c_str(), nullptr, &error, "service",
                                                       item.service.c_str(), "account", item.account.c_str(), nullptr);
    return !failed(error, "saving an item") && stored;
}

std::optional<std::string> SecretStore::load(const SecretItem& item)
{
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(genericPasswordSchema(), nullptr, &error, "service",
                                                item.service.c_str(), "account", item.account.c_str(), nullptr);
    if (failed(error, "reading an item") || !secret) return std::nullopt;
    std::string result(secret);
    secret_password_free(secret);
    return result;
}

bool SecretStore::remove(const SecretItem& item)
{
    GError* error = nullptr;
    const gboolean removed = secret_password_clear_sync(genericPasswordSchema(), nullptr, &error, "service",
                                                        item.service.c_str(), "account", item.account.c_str(), nullptr);
    return !failed(error, "removing an item") && removed;
}

} // namespace oxel
