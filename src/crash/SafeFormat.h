#pragma once
// Text building for code that runs inside a fatal-signal handler: no
// allocation, no locale, no locks. Output that does not fit is cut at the
// buffer's end; the buffer is always NUL-terminated.
#include <cstddef>
#include <cstdint>

namespace vantor::crash {

class SafeText {
public:
    // capacity counts the terminating NUL; a capacity of 0 writes nothing at all.
    SafeText(char* buffer, size_t capacity);

    SafeText& Clear();
    SafeText& Text(const char* text);  // nullptr appends nothing
    SafeText& Text(const char* text, size_t length);
    // Upper-case hexadecimal, zero-padded to at least width digits (at most 32).
    SafeText& Hex(uint64_t value, int width);
    // Decimal, zero-padded to at least width digits (at most 32).
    SafeText& Dec(uint64_t value, int width);

    const char* Data() const { return m_buf; }
    size_t Size() const { return m_len; }
    bool Truncated() const { return m_truncated; }

private:
    void Digits(const char* digits, int count, int width);
    void Put(char c);

    char* m_buf;
    size_t m_cap;
    size_t m_len = 0;
    bool m_truncated = false;
};

// Calendar date and time of day.
struct CivilTime {
    int year;
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;
};

// Seconds since 1970-01-01 00:00:00 to the proleptic Gregorian calendar,
// without leap seconds. Pure arithmetic, so a signal handler may call it.
CivilTime CivilFromSeconds(int64_t seconds);

}  // namespace vantor::crash
