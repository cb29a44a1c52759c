#include "support/IntruderUser.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vantor::test {
namespace {

constexpr const char* kIntruderName = "vantor-test-intruder";

std::optional<Intruder> Lookup() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwnam_r(kIntruderName, &entry, buffer, sizeof buffer, &found) != 0 ||
        found == nullptr) {
        return std::nullopt;
    }
    return Intruder{found->pw_uid, found->pw_gid};
}

}  // namespace

std::optional<Intruder> IntruderUser(std::string* whyNot) {
    if (::geteuid() != 0) {
        *whyNot = "acting as another user needs root (the tests run as uid " +
                  std::to_string(::geteuid()) + ")";
        return std::nullopt;
    }
    // Parallel test processes may race to make it: whoever loses finds it made.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (auto intruder = Lookup()) return intruder;
        // Its result is the lookup below: a lost race fails here but finds the user.
        if (std::system("useradd --system --no-create-home --shell /usr/sbin/nologin "
                        "vantor-test-intruder >/dev/null 2>&1") != 0) {
            ::usleep(10 * 1000);
        }
        ::usleep(100 * 1000);
    }
    if (auto intruder = Lookup()) return intruder;
    *whyNot =
        std::string("the user ") + kIntruderName + " is missing and useradd could not make it";
    return std::nullopt;
}

bool BecomeIntruder(const Intruder& intruder) {
    return ::setgroups(0, nullptr) == 0 && ::setgid(intruder.gid) == 0 &&
           ::setuid(intruder.uid) == 0 && ::getuid() == intruder.uid && ::geteuid() == intruder.uid;
}

}  // namespace vantor::test
