#pragma once
// Another local user for the tests that treat other users as hostile: a
// throw-away system account, made on first use when the tests run as root.
// A forked child becomes it to leave objects, directories and messages of a
// user that is not the test's.
#include <sys/types.h>

#include <optional>
#include <string>

namespace vantor::test {

struct Intruder {
    uid_t uid = 0;
    gid_t gid = 0;
};

// The intruder account (made when missing), or nothing, with the reason in
// *whyNot, when this process may not become another user.
std::optional<Intruder> IntruderUser(std::string* whyNot);

// Drops every privilege of the calling (forked) process for the intruder's:
// groups, group and user. False when any step failed.
bool BecomeIntruder(const Intruder& intruder);

}  // namespace vantor::test
