#pragma once
// Result<T>: a value or an error (errno-style code and a readable text).
// The platform layer reports every failure this way; nothing throws across it.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace vantor::platform {

struct Error {
    int code = 0;      // errno value, or a negative code of our own
    std::string text;  // what failed, for trace lines and error messages
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}      // NOLINT(google-explicit-constructor)
    Result(Error error) : m_error(std::move(error)) {}  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return m_value.has_value(); }
    bool ok() const { return m_value.has_value(); }
    // Asking a failed result for its value is a programming error: it ends
    // the process with the error's text rather than read an empty optional.
    T& value() & { return Checked(), *m_value; }
    T&& value() && { return Checked(), std::move(*m_value); }
    const T& value() const& { return Checked(), *m_value; }
    const Error& error() const { return m_error; }

private:
    void Checked() const {
        if (m_value) return;
        std::fprintf(stderr, "value() of a failed result: %s\n", m_error.text.c_str());
        std::abort();
    }

    std::optional<T> m_value;
    Error m_error;
};

// Builds an Error from errno and a description of what was attempted.
Error ErrnoError(const std::string& what, int err);
// The system's text for errno value err. Unlike strerror it is safe to call
// from any thread: the text is a constant.
const char* ErrnoText(int err);

}  // namespace vantor::platform
