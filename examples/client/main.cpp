// vantor-client: opens a client under a name, prints a few values in the
// mode the server runs in (AcqCfg.ini), and closes.
//   vantor-client [NAME]
#include <poll.h>

#include <cstdio>
#include <string>

#include <vantor/CHardWare.h>

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "vantor-client";
    CHardWare hw;
    hw.Open(name);
    const char* modes[] = {"?", "asynchronous (server)", "synchronous (own board)", "simulated"};
    const int mode = hw.Mode() >= 1 && hw.Mode() <= 3 ? hw.Mode() : 0;
    std::printf("%s, version %d, mode %d: %s\n", hw.GetVersion(), hw.GetVer(), hw.Mode(),
                modes[mode]);

    float volts[10] = {};
    const int got = hw.GetAnalog(0, volts, 10);
    std::printf("analog 0: result %d, first %.4f V\n", got, static_cast<double>(volts[0]));
    std::printf("frequency 200: %.2f Hz\n", static_cast<double>(hw.GetFreb(200)));
    std::printf("counter 500: %d\n", hw.GetEnc3(500));
    hw.OutPutDig(3, HIGH);
    std::printf("input 3: %s\n", hw.InPutDig(3) == HIGH ? "high" : "low");

    // Between calls, messages from the server (a mode change) are handled
    // when the endpoint is readable.
    pollfd fd{hw.EndpointFd(), POLLIN, 0};
    if (fd.fd >= 0 && ::poll(&fd, 1, 100) > 0) hw.SwitchCpu();

    const std::string error = hw.GetErrMsg();
    if (!error.empty()) std::printf("last error: %s\n", error.c_str());
    hw.Close();
    return 0;
}
