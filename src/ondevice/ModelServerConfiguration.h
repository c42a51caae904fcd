#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

class SettingsStore;

// Where the photographer's model server is and what it can do: the environment's
// OXEL_MODEL_URL, else the setting "modelServerURL"; the model's name from OXEL_MODEL_NAME, else
// "modelName", else the first model the server lists; "modelReadsPictures" (on unless false).
struct ModelServerConfiguration {
    std::string url; // the server's base URL, to which "/models" and "/chat/completions" are added
    std::optional<std::string> modelName;
    bool readsPictures = true;

    static ModelServerConfiguration read(const SettingsStore& settings);
};

// True for an http or https URL whose host is a loopback address (127.0.0.0/8, ::1) or
// "localhost": pictures are only ever sent to a server on this computer.
bool isLoopbackURL(std::string_view url);

} // namespace oxel
