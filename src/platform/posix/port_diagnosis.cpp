// Why a device cannot be had: seen from its node's owner and mode and from the open files
// of the processes this user may look at. And the driver's answer to the low-latency
// request, which the serial service makes without looking at it.

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/port_discovery.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

std::string UserName() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr ? entry->pw_name : std::to_string(::geteuid());
}

bool IsNumber(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
    }
    return *text != '\0';
}

bool HoldsDevice(const std::string& pid, dev_t device) {
    const std::string folder = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) {
        return false;  // another user's process: not ours to see
    }
    bool holds = false;
    while (const dirent* fd = ::readdir(fds)) {
        struct stat target {};
        if (IsNumber(fd->d_name) && ::stat((folder + "/" + fd->d_name).c_str(), &target) == 0 &&
            S_ISCHR(target.st_mode) && target.st_rdev == device) {
            holds = true;
            break;
        }
    }
    ::closedir(fds);
    return holds;
}

std::vector<PortHolder> Holders(dev_t device) {
    std::vector<PortHolder> holders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return holders;
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        if (!IsNumber(entry->d_name) || entry->d_name == self ||
            !HoldsDevice(entry->d_name, device)) {
            continue;
        }
        std::string name;
        std::ifstream comm(std::string("/proc/") + entry->d_name + "/comm");
        std::getline(comm, name);
        holders.push_back({std::strtoul(entry->d_name, nullptr, 10), name});
    }
    ::closedir(proc);
    return holders;
}

}  // namespace

PortProblem DiagnosePort(const std::string& device) {
    PortProblem problem;
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        problem.kind = PortProblem::Kind::Missing;
        return problem;
    }
    if (::access(device.c_str(), R_OK | W_OK) != 0) {
        problem.kind = PortProblem::Kind::NoAccess;
        problem.group = GroupName(node.st_gid);
        problem.user = UserName();
        return problem;
    }
    if (S_ISCHR(node.st_mode)) {
        problem.holders = Holders(node.st_rdev);
        if (!problem.holders.empty()) {
            problem.kind = PortProblem::Kind::Busy;
        }
    }
    return problem;
}

LowLatencyAnswer RequestLowLatency(const std::string& device) {
    LowLatencyAnswer answer;
    for (const PortInfo& port : DiscoverPorts()) {
        if (PortHasName(port, device)) {
            answer.latencyMs = port.latencyMs;
        }
    }
    if (answer.latencyMs < 0) {
        return answer;
    }
    const UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    serial_struct ss{};
    if (!fd || ::ioctl(fd.Get(), TIOCGSERIAL, &ss) != 0) {
        return answer;
    }
    ss.flags |= ASYNC_LOW_LATENCY;
    // A driver may take the call and drop the flag; only the flag read back counts.
    answer.granted = ::ioctl(fd.Get(), TIOCSSERIAL, &ss) == 0 &&
                     ::ioctl(fd.Get(), TIOCGSERIAL, &ss) == 0 &&
                     (ss.flags & ASYNC_LOW_LATENCY) != 0;
    return answer;
}

}  // namespace platform
