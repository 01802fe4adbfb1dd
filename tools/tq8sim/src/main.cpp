// tq8sim: the simulated machine as a program.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cli_options.h"
#include "tq8sim/simulator.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tq8sim::ProgramConfig config;
    std::string error;
    if (!tq8sim::ParseCommandLine(args, &config, &error)) {
        std::fprintf(stderr, "tq8sim: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (config.help) {
        std::fputs(tq8sim::HelpText().c_str(), stdout);
        return 0;
    }

    // Signals are taken synchronously below; block them before the serving thread exists
    // so that it inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    tq8sim::Simulator simulator(config.options);
    const bool opened =
        config.device.empty() ? simulator.CreatePty() : simulator.ServeDevice(config.device);
    if (!opened) {
        return 1;
    }
    tq8sim::ApplyConfig(config, simulator);
    if (!config.link.empty()) {
        unlink(config.link.c_str());
        if (symlink(simulator.DevicePath().c_str(), config.link.c_str()) != 0) {
            std::fprintf(stderr, "tq8sim: cannot link %s: %s\n", config.link.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", simulator.DevicePath().c_str());
    std::fflush(stdout);
    if (!simulator.Start()) {
        return 1;
    }

    int status = 0;
    const timespec poll{0, 100 * 1000 * 1000};
    for (;;) {
        const int signal = sigtimedwait(&signals, nullptr, &poll);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
        if (simulator.Vanished()) {
            std::fprintf(stderr, "tq8sim: the device vanished as asked\n");
            status = 3;
            break;
        }
    }
    simulator.Stop();
    if (!config.link.empty()) {
        unlink(config.link.c_str());
    }
    return status;
}
