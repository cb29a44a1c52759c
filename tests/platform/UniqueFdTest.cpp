// The descriptor owner and the Unix-socket address.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"
#include "platform/UnixAddress.h"
#include "support/TestEnv.h"

namespace {

using vantor::platform::kMaxUnixPathBytes;
using vantor::platform::UniqueFd;
using vantor::platform::UnixAddress;

TEST(UniqueFd, MovesOwnershipAndClosesExactlyOnce) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const UniqueFd reader(ends[0]);
    std::optional<UniqueFd> first(std::in_place, ends[1]);
    UniqueFd writer = std::move(*first);
    first.reset();  // a moved-from owner closes nothing
    ASSERT_EQ(::write(writer.Get(), "x", 1), 1);
    const int number = writer.Get();
    writer.Reset();
    char c[2];
    EXPECT_EQ(::read(reader.Get(), c, sizeof c), 1);
    EXPECT_EQ(::read(reader.Get(), c, sizeof c), 0);  // end of file: the write end is closed

    // The number is free again; a new descriptor that gets it stays open
    // whatever the old owner does.
    UniqueFd reused(::fcntl(reader.Get(), F_DUPFD, number));
    ASSERT_EQ(reused.Get(), number);
    writer.Reset();
    writer = UniqueFd();
    EXPECT_NE(::fcntl(reused.Get(), F_GETFD), -1);
    EXPECT_TRUE(reused.Close());
    EXPECT_FALSE(reused.Valid());
}

TEST(UnixAddress, HoldsTheLongestPathWholeAndRefusesALongerOne) {
    vantor::test::TempDir dir;
    std::string path = dir.Path() + "/";
    ASSERT_LT(path.size(), kMaxUnixPathBytes);
    path.append(kMaxUnixPathBytes - path.size(), 's');
    const auto address = UnixAddress(path);
    ASSERT_TRUE(address);
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(fd.Get(), address.value().Get(), address.value().length), 0);
    EXPECT_EQ(::access(path.c_str(), F_OK), 0);  // bound under its full name

    const auto longer = UnixAddress(path + "s");
    ASSERT_FALSE(longer);
    EXPECT_EQ(longer.error().code, ENAMETOOLONG);
    EXPECT_NE(longer.error().text.find(std::to_string(kMaxUnixPathBytes)), std::string::npos);
    EXPECT_EQ(UnixAddress("").error().code, EINVAL);
}

}  // namespace
