#include "crash/SafeFormat.h"

namespace vantor::crash {

SafeText::SafeText(char* buffer, size_t capacity) : m_buf(buffer), m_cap(capacity) {
    if (m_cap > 0) m_buf[0] = '\0';
}

SafeText& SafeText::Clear() {
    m_len = 0;
    m_truncated = false;
    if (m_cap > 0) m_buf[0] = '\0';
    return *this;
}

void SafeText::Put(char c) {
    if (m_len + 1 >= m_cap) {
        m_truncated = true;
        return;
    }
    m_buf[m_len++] = c;
    m_buf[m_len] = '\0';
}

SafeText& SafeText::Text(const char* text) {
    if (text == nullptr) return *this;
    for (; *text != '\0' && !m_truncated; ++text) Put(*text);
    return *this;
}

SafeText& SafeText::Text(const char* text, size_t length) {
    if (text == nullptr) return *this;
    for (size_t i = 0; i < length && !m_truncated; ++i) Put(text[i]);
    return *this;
}

void SafeText::Digits(const char* digits, int count, int width) {
    // digits holds the number least significant digit first.
    if (width > 32) width = 32;
    for (int i = count; i < width; ++i) Put('0');
    for (int i = count - 1; i >= 0; --i) Put(digits[i]);
}

SafeText& SafeText::Hex(uint64_t value, int width) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char digits[16];
    int count = 0;
    do {
        digits[count++] = kHex[value & 0xF];
        value >>= 4;
    } while (value != 0);
    Digits(digits, count, width);
    return *this;
}

SafeText& SafeText::Dec(uint64_t value, int width) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    Digits(digits, count, width);
    return *this;
}

CivilTime CivilFromSeconds(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Days to civil date over 400-year eras, with years starting on 1 March so
    // that the leap day falls at the end of the year.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    CivilTime t{};
    t.year = static_cast<int>(year);
    t.month = static_cast<int>(month);
    t.day = static_cast<int>(day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest % 3600 / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

}  // namespace vantor::crash
