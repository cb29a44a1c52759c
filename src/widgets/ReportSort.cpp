#include "widgets/ReportSort.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

namespace vantor::widgets {
namespace {

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

std::optional<unsigned long> AsHex(const std::string& s) {
    // Hexadecimal digits and nothing else: strtoul alone would also take
    // leading blanks, a sign or "0x".
    if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        })) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(s.c_str(), &end, 16);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return v;
}

std::optional<double> AsNumber(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return std::nullopt;
    const char* stop = s.c_str() + s.size();
    if (end == stop || (*end == '%' && end + 1 == stop)) return v;
    return std::nullopt;
}

// Seconds on one time line; a time without a date counts from the same zero
// day as a date without a time, so times compare among themselves.
std::optional<long long> AsDateTime(const std::string& s) {
    if (s.empty()) return std::nullopt;
    static const char* const kFormats[] = {
        "%x %X",          "%c",       "%x",       "%X",   "%Y-%m-%d %H:%M:%S", "%Y-%m-%dT%H:%M:%S",
        "%Y-%m-%d %H:%M", "%Y-%m-%d", "%H:%M:%S", "%H:%M"};
    for (const char* format : kFormats) {
        std::tm tm{};
        tm.tm_year = -1;  // 1899-12-30, the zero day of the usual date serials
        tm.tm_mon = 11;
        tm.tm_mday = 30;
        const char* end = strptime(s.c_str(), format, &tm);
        if (end == nullptr) continue;
        while (*end == ' ') ++end;
        if (*end != '\0') continue;
        tm.tm_isdst = 0;
        return static_cast<long long>(timegm(&tm));
    }
    return std::nullopt;
}

}  // namespace

int CompareCellTexts(std::string_view a, std::string_view b) {
    const std::string sa(a);
    const std::string sb(b);
    if (auto ha = AsHex(sa)) {
        if (auto hb = AsHex(sb)) return Order(*ha, *hb);
    }
    if (auto na = AsNumber(sa)) {
        if (auto nb = AsNumber(sb)) return Order(*na, *nb);
    }
    if (auto da = AsDateTime(sa)) {
        if (auto db = AsDateTime(sb)) return Order(*da, *db);
    }
    int c = sa.compare(sb);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {

void QuickSort(std::vector<int>& v, int low, int high, const std::function<int(int, int)>& compare,
               bool ascending) {
    int i = low;
    int j = high;
    const int middle = low + (high - low) / 2;
    const int pivot = v[static_cast<size_t>(middle)];
    // After the first swap the swapped elements stop both scans, so neither
    // index leaves [low, high].
    do {
        if (ascending) {
            while (compare(v[static_cast<size_t>(i)], pivot) < 0) ++i;
            while (compare(v[static_cast<size_t>(j)], pivot) > 0) --j;
        } else {
            while (compare(v[static_cast<size_t>(i)], pivot) > 0) ++i;
            while (compare(v[static_cast<size_t>(j)], pivot) < 0) --j;
        }
        if (i <= j) {
            std::swap(v[static_cast<size_t>(i)], v[static_cast<size_t>(j)]);
            ++i;
            --j;
        }
    } while (i <= j);
    if (low < j) QuickSort(v, low, j, compare, ascending);
    if (i < high) QuickSort(v, i, high, compare, ascending);
}

}  // namespace

void QuickSortRows(std::vector<int>& rows, const std::function<int(int, int)>& compare,
                   bool ascending) {
    if (rows.size() < 2) return;
    QuickSort(rows, 0, static_cast<int>(rows.size()) - 1, compare, ascending);
}

}  // namespace vantor::widgets
