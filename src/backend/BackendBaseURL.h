#pragma once

#include "platform/BuildInfo.h"

#include <string>

namespace oxel {

// The base of every backend path, without a trailing slash; paths are appended as plain text.
// Made once per process: the environment variable OXEL_BACKEND_URL when it is usable, else the
// build's "BackendURL" when usable, else the built-in default (the local backend).
std::string backendBaseURL();

// Points this process at another backend (tests, tools), replacing the value made once.
void overrideBackendBaseURL(std::string url);

// The rule by which a configured value is taken: a non-empty text without an unexpanded "$(".
std::string resolveBackendBaseURL(const BuildInfo& info);

// A URL at the build's own backend (a development build's sign-in pages) moved to the backend this
// process talks to, so that pages and backend stay one server when OXEL_BACKEND_URL moves it; any
// other URL as it is.
std::string atRunningBackend(const std::string& url, const BuildInfo& info, const std::string& running);

inline constexpr const char* defaultBackendBaseURL = "http://127.0.0.1:8787";

} // namespace oxel
