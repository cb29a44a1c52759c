#pragma once
// Ordering of the report list's rows by one column's cell texts (UTF-8).
#include <functional>
#include <string_view>
#include <vector>

namespace vantor::widgets {

// <0, 0 or >0 as a sorts before, with or after b. Tried in this order:
// 1. both non-empty and wholly hexadecimal (strtoul, base 16, every character
//    consumed): the unsigned values; plain decimal integers land here and keep
//    their numeric order;
// 2. both non-empty decimal numbers (strtod) followed by nothing or one "%":
//    the values;
// 3. both dates and/or times in the current locale's formats (or ISO 8601):
//    chronologically;
// 4. otherwise byte-wise (case-sensitive) comparison of the texts.
int CompareCellTexts(std::string_view a, std::string_view b);

// Sorts the row indices in place: recursive quicksort, Hoare partition around
// the middle element of each range, both partitions recursed. Not stable.
// compare(a, b) is handed two elements of rows. Descending swaps the tests of
// the partition loop. Stays within the vector whatever order compare
// describes, as long as compare(x, x) is 0 and a pair always gets the same
// answer.
void QuickSortRows(std::vector<int>& rows, const std::function<int(int, int)>& compare,
                   bool ascending);

}  // namespace vantor::widgets
