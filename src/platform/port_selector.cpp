// Selectors and names of discovered ports: the same on every platform.

#include <cctype>
#include <string_view>

#include "platform/port_discovery.h"

namespace platform {
namespace {

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool IsHexId(std::string_view text) {
    if (text.size() != 4) {
        return false;
    }
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

struct Selector {
    std::string vendor;
    std::string product;
    std::string serial;  // "" matches any
};

bool Parse(const std::string& name, Selector& out) {
    if (Lowered(std::string_view(name).substr(0, 4)) != "usb:") {
        return false;
    }
    const std::string_view rest = std::string_view(name).substr(4);
    const size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const std::string_view vendor = rest.substr(0, colon);
    std::string_view product = rest.substr(colon + 1);
    std::string_view serial;
    if (const size_t second = product.find(':'); second != std::string_view::npos) {
        serial = product.substr(second + 1);
        product = product.substr(0, second);
        if (serial.empty()) {
            return false;
        }
    }
    if (!IsHexId(vendor) || !IsHexId(product)) {
        return false;
    }
    out = {Lowered(vendor), Lowered(product), std::string(serial)};
    return true;
}

}  // namespace

const std::string& PortInfo::StableName() const {
    return !byId.empty() ? byId : !byPath.empty() ? byPath : device;
}

bool IsPortSelector(const std::string& name) {
    Selector selector;
    return Parse(name, selector);
}

std::vector<PortInfo> MatchPortSelector(const std::string& name,
                                        const std::vector<PortInfo>& ports) {
    Selector selector;
    std::vector<PortInfo> found;
    if (!Parse(name, selector)) {
        return found;
    }
    for (const PortInfo& port : ports) {
        if (port.usb && Lowered(port.vendorId) == selector.vendor &&
            Lowered(port.productId) == selector.product &&
            (selector.serial.empty() || port.serial == selector.serial)) {
            found.push_back(port);
        }
    }
    return found;
}

bool PortHasName(const PortInfo& port, const std::string& name) {
    const std::string_view device = std::string_view(name).starts_with("\\\\.\\")
                                        ? std::string_view(name).substr(4)
                                        : std::string_view(name);
    return !name.empty() && (device == port.device || name == port.byId || name == port.byPath);
}

}  // namespace platform
