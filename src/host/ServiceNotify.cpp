#include "host/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <string>

namespace vantor::host {

// The environment stays as it is: the window program replaces this process
// with the same pid and is the same service.
void NotifyReady() {
    (void)sd_notify(0, "READY=1");
}

void NotifyStatus(std::string_view status) {
    const std::string message = "STATUS=" + std::string(status);
    (void)sd_notify(0, message.c_str());
}

void NotifyStopping() {
    (void)sd_notify(0, "STOPPING=1");
}

}  // namespace vantor::host
