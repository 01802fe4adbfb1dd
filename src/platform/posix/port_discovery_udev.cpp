// Serial devices as udev knows them: the tty class, with the names udev gave them and
// the identity of the USB device they hang off.

#include <libudev.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "platform/port_discovery.h"

namespace platform {
namespace {

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string Text(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

// Sysfs values of the USB descriptors end with a line break.
std::string Attribute(udev_device* device, const char* name) {
    std::string value = Text(udev_device_get_sysattr_value(device, name));
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) {
        value.pop_back();
    }
    return value;
}

std::string Property(udev_device* device, const char* name) {
    return Text(udev_device_get_property_value(device, name));
}

// The links from udev's database, and from the DEVLINKS property where the database
// keeps none of its own.
void ReadLinks(udev_device* device, PortInfo& port) {
    std::vector<std::string> links;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_devlinks_list_entry(device)) {
        links.push_back(Text(udev_list_entry_get_name(entry)));
    }
    std::istringstream property(Property(device, "DEVLINKS"));
    for (std::string link; property >> link;) {
        links.push_back(link);
    }
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        if (port.byId.empty() && link.starts_with("/dev/serial/by-id/")) {
            port.byId = link;
        } else if (port.byPath.empty() && link.starts_with("/dev/serial/by-path/")) {
            port.byPath = link;
        }
    }
}

void ReadUsb(udev_device* tty, PortInfo& port) {
    // Borrowed from the child: not to be unreferenced.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb == nullptr) {
        return;
    }
    port.usb = true;
    port.vendorId = Attribute(usb, "idVendor");
    port.productId = Attribute(usb, "idProduct");
    port.maker = Attribute(usb, "manufacturer");
    port.product = Attribute(usb, "product");
    port.serial = Attribute(usb, "serial");
    const auto fallback = [&](std::string& field, const char* name) {
        if (field.empty()) {
            field = Property(tty, name);
        }
    };
    fallback(port.vendorId, "ID_VENDOR_ID");
    fallback(port.productId, "ID_MODEL_ID");
    fallback(port.maker, "ID_VENDOR");
    fallback(port.product, "ID_MODEL");
    fallback(port.serial, "ID_SERIAL_SHORT");
    if (udev_device* serial =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb-serial", nullptr)) {
        const std::string latency = Attribute(serial, "latency_timer");
        if (!latency.empty()) {
            port.latencyMs = std::atoi(latency.c_str());
        }
    }
}

// The nearest driver: the sysfs link, else what the device's uevent says.
std::string DriverOf(udev_device* device) {
    for (udev_device* d = device; d != nullptr; d = udev_device_get_parent(d)) {
        if (const char* driver = udev_device_get_driver(d)) {
            return driver;
        }
        if (std::string driver = Property(d, "DRIVER"); !driver.empty()) {
            return driver;
        }
    }
    return {};
}

// A tty that is a serial device: one with a device node that hangs off hardware, and
// for the UARTs of the board, one whose driver found a chip (port type not 0).
bool IsSerialDevice(udev_device* tty) {
    const std::string syspath = Text(udev_device_get_syspath(tty));
    return udev_device_get_devnode(tty) != nullptr &&
           syspath.find("/devices/virtual/") == std::string::npos &&
           udev_device_get_parent(tty) != nullptr && Attribute(tty, "type") != "0";
}

}  // namespace

std::vector<PortInfo> DiscoverPorts() {
    std::vector<PortInfo> ports;
    const UdevPtr<udev> context(udev_new());
    if (!context) {
        return ports;
    }
    const UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const UdevPtr<udev_device> tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!tty || !IsSerialDevice(tty.get())) {
            continue;
        }
        PortInfo port;
        port.device = udev_device_get_devnode(tty.get());
        port.driver = DriverOf(tty.get());
        ReadLinks(tty.get(), port);
        ReadUsb(tty.get(), port);
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        if (a.usb != b.usb) {
            return a.usb;
        }
        if (a.StableName() != b.StableName()) {
            return a.StableName() < b.StableName();
        }
        return a.device < b.device;
    });
    return ports;
}

}  // namespace platform
