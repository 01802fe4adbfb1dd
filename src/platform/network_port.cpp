#include "platform/network_port.h"

#include <cctype>

namespace platform {
namespace {

constexpr char kScheme[] = "rfc2217://";
constexpr size_t kSchemeSize = sizeof kScheme - 1;

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

}  // namespace

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

const char* NetworkPortErrorText(uint32_t code) {
    switch (code) {
        case kErrorNetworkPortName:
            return "A network port is written rfc2217://HOST:PORT.";
        case kErrorNetworkHostUnknown:
            return "The network port's host name is not known.";
        case kErrorNoComPortOption:
            return "The server does not offer RFC 2217 (telnet option 44), so the line rate cannot "
                   "be switched. In ser2net the accepter must be telnet(rfc2217),tcp,PORT.";
        case kErrorServerSilent:
            return "The network port's server did not answer within 3 seconds.";
        case kErrorLineNotConfirmed:
            return "The network port's server did not confirm the line setting.";
        case kErrorServerClosed:
            return "The network port's server closed the connection.";
        case kErrorNetworkPortUnsupported:
            return "Network ports (rfc2217://) are available in the Linux version only.";
        default:
            return nullptr;
    }
}

}  // namespace platform
