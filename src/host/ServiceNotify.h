#pragma once
// What the service manager is told about the server (sd_notify): that it is
// ready, what it serves, that it stops. Outside a Type=notify unit
// ($NOTIFY_SOCKET unset) these do nothing. Only the host speaks to systemd;
// the engine knows nothing of it.
#include <string_view>

namespace vantor::host {

// The block exists and the threads run.
void NotifyReady();
// One line for `systemctl status`.
void NotifyStatus(std::string_view status);
// The exit sequence has begun.
void NotifyStopping();

}  // namespace vantor::host
