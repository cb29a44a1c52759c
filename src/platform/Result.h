#pragma once
// Result<T>: a value or an error (errno-style code and a readable text).
// The platform layer reports every failure this way; nothing throws across it.
#include <optional>
#include <string>
#include <utility>

namespace vantor::platform {

struct Error {
    int code = 0;      // errno value, or a negative code of our own
    std::string text;  // what failed, for trace lines and error messages
};

template <typename T>
class Result {
public:
    Result(T value) : m_value(std::move(value)) {}      // NOLINT(google-explicit-constructor)
    Result(Error error) : m_error(std::move(error)) {}  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return m_value.has_value(); }
    bool ok() const { return m_value.has_value(); }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& value() const& { return *m_value; }
    const Error& error() const { return m_error; }

private:
    std::optional<T> m_value;
    Error m_error;
};

// Builds an Error from errno and a description of what was attempted.
Error ErrnoError(const std::string& what, int err);

}  // namespace vantor::platform
