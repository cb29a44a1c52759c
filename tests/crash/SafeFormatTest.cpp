// The handler's formatting: fixed buffers that never overrun, and the date
// arithmetic that stands in for localtime inside a signal handler.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "crash/SafeFormat.h"

namespace vantor::crash {
namespace {

TEST(SafeText, FormatsNumbersAndCutsAtTheBufferEnd) {
    char buf[48];
    SafeText t(buf, sizeof buf);
    t.Text("EIP:").Hex(0xBEEF, 8).Text(" ").Dec(7, 2).Text("/").Dec(12345, 2).Text(" ").Hex(0, 1);
    t.Text(" ").Hex(0xFFFFFFFFFFFFFFFFull, 4).Text(nullptr);
    EXPECT_STREQ(buf, "EIP:0000BEEF 07/12345 0 FFFFFFFFFFFFFFFF");
    EXPECT_FALSE(t.Truncated());

    std::memset(buf, '#', sizeof buf);
    SafeText cut(buf, 8);
    cut.Text("Exception ").Hex(0xC0000005, 8);
    EXPECT_TRUE(cut.Truncated());
    EXPECT_STREQ(buf, "Excepti");
    EXPECT_EQ(cut.Size(), 7u);
    EXPECT_EQ(buf[8], '#');  // nothing written past the capacity
    SafeText(buf, 4).Dec(123456, 1);
    EXPECT_STREQ(buf, "123");
    SafeText(buf, 0).Text("x");
    EXPECT_EQ(buf[0], '1');  // a zero capacity touches nothing
}

TEST(CivilFromSeconds, AgreesWithGmtime) {
    // Leap days, century years, both sides of the epoch, and a walk across
    // centuries with a stride that visits every time of day.
    std::vector<int64_t> samples = {0,          -1,          951782400,   951868799,
                                    4107542400, -2208988800, 253402300799};
    for (int64_t s = -6000000000; s < 7000000000; s += 86399 * 37 + 13) samples.push_back(s);
    for (int64_t s : samples) {
        const time_t tt = static_cast<time_t>(s);
        tm ref{};
        ASSERT_NE(gmtime_r(&tt, &ref), nullptr);
        const CivilTime c = CivilFromSeconds(s);
        ASSERT_EQ(std::vector<int>({c.year, c.month, c.day, c.hour, c.minute, c.second}),
                  std::vector<int>({ref.tm_year + 1900, ref.tm_mon + 1, ref.tm_mday, ref.tm_hour,
                                    ref.tm_min, ref.tm_sec}))
            << s;
    }
}

}  // namespace
}  // namespace vantor::crash
