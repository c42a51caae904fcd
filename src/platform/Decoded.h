#pragma once

#include <optional>
#include <string>
#include <utility>

namespace oxel {

// Why a lenient JSON reader gave up: the key it was reading and what was wrong with it.
struct DecodingError {
    std::string key;
    std::string description;

    static DecodingError notAnObject() { return {"", "expected an object"}; }

    std::string text() const { return key.empty() ? description : "\"" + key + "\": " + description; }
};

// The outcome of decoding a value: the value, or the error that stopped the decoding.
template <class T>
class Decoded {
public:
    Decoded(T value) : value_(std::move(value)) {}
    Decoded(DecodingError error) : error_(std::move(error)) {}

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const& { return *value_; }
    T&& operator*() && { return std::move(*value_); }
    const T* operator->() const { return &*value_; }
    const std::optional<T>& value() const { return value_; }
    const DecodingError& error() const { return error_; }

private:
    std::optional<T> value_;
    DecodingError error_;
};

} // namespace oxel
