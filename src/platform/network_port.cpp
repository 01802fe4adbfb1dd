#include "platform/network_port.h"

#include <cctype>
#include <map>
#include <mutex>

#include "platform/string_resources.h"

namespace platform {
namespace {

constexpr char kScheme[] = "rfc2217://";
constexpr size_t kSchemeSize = sizeof kScheme - 1;
// The text of kErrorNetworkPortName; the others follow in the order of their codes.
constexpr unsigned kFirstTextId = 2170;

bool ValidPort(const std::string& text) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

struct Failures {
    std::mutex mutex;
    std::map<std::string, uint32_t> byName;
};

Failures& TheFailures() {
    static Failures failures;
    return failures;
}

}  // namespace

uint32_t NetworkPortFailure(const std::string& name) {
    Failures& failures = TheFailures();
    std::lock_guard<std::mutex> lock(failures.mutex);
    const auto it = failures.byName.find(name);
    return it != failures.byName.end() ? it->second : 0;
}

void NoteNetworkPortFailure(const std::string& name, uint32_t code) {
    Failures& failures = TheFailures();
    std::lock_guard<std::mutex> lock(failures.mutex);
    failures.byName[name] = code;
}

bool IsNetworkPortName(const std::string& name) {
    if (name.size() < kSchemeSize) {
        return false;
    }
    for (size_t i = 0; i < kSchemeSize; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kScheme[i]) {
            return false;
        }
    }
    return true;
}

bool ParseNetworkPortName(const std::string& name, NetworkAddress& address) {
    if (!IsNetworkPortName(name)) {
        return false;
    }
    const std::string rest = name.substr(kSchemeSize);
    std::string host;
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return false;
        }
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string::npos || rest.find(':') != colon) {
            return false;
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/ ") != std::string::npos || !ValidPort(port)) {
        return false;
    }
    address.host = host;
    address.port = port;
    return true;
}

unsigned NetworkPortErrorTextId(uint32_t code) {
    if (code < kErrorNetworkPortName || code > kErrorHostLookupSlow) {
        return 0;
    }
    return kFirstTextId + (code - kErrorNetworkPortName);
}

std::string NetworkPortErrorText(uint32_t code) {
    char text[400];
    const unsigned id = NetworkPortErrorTextId(code);
    return id != 0 && LoadStringResource(id, text, sizeof text) > 0 ? text : "";
}

}  // namespace platform
