#include "platform/settings_store.h"

#include <cstdio>
#include <cstdlib>

#include "platform/ini_file.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Typed values: "dword:0000002a", "sz:text" (\\, \r, \n escaped), "hex:01,02,ff".
std::string Encode(const SettingsValue& value) {
    switch (value.kind) {
        case ValueKind::Dword:
            if (value.data.size() == 4) {
                const uint32_t v = uint32_t{value.data[0]} | uint32_t{value.data[1]} << 8 |
                                   uint32_t{value.data[2]} << 16 | uint32_t{value.data[3]} << 24;
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", v);
                return buf;
            }
            break;
        case ValueKind::String: {
            std::string out = "sz:";
            for (size_t i = 0; i < value.data.size(); ++i) {
                const char c = static_cast<char>(value.data[i]);
                if (c == '\0' && i + 1 == value.data.size()) {
                    break;
                }
                if (c == '\\') {
                    out += "\\\\";
                } else if (c == '\r') {
                    out += "\\r";
                } else if (c == '\n') {
                    out += "\\n";
                } else if (c == '\0') {
                    out += "\\0";
                } else {
                    out += c;
                }
            }
            return out;
        }
        case ValueKind::Binary:
            break;
    }
    std::string out = "hex:";
    for (size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += kHex[value.data[i] >> 4];
        out += kHex[value.data[i] & 0xF];
    }
    return out;
}

std::optional<SettingsValue> Decode(const std::string& text) {
    if (text.rfind("dword:", 0) == 0) {
        char* end = nullptr;
        const std::string digits = text.substr(6);
        const unsigned long v = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || *end != '\0' || v > 0xFFFFFFFFUL) {
            return std::nullopt;
        }
        return SettingsValue{ValueKind::Dword,
                             {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)}};
    }
    if (text.rfind("sz:", 0) == 0) {
        SettingsValue value{ValueKind::String, {}};
        for (size_t i = 3; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\\' && i + 1 < text.size()) {
                const char e = text[++i];
                c = e == 'r' ? '\r' : e == 'n' ? '\n' : e == '0' ? '\0' : e;
            }
            value.data.push_back(static_cast<uint8_t>(c));
        }
        value.data.push_back(0);
        return value;
    }
    if (text.rfind("hex:", 0) == 0) {
        SettingsValue value{ValueKind::Binary, {}};
        const std::string list = text.substr(4);
        size_t i = 0;
        while (i < list.size()) {
            if (i + 1 >= list.size()) {
                return std::nullopt;
            }
            const int hi = HexValue(list[i]);
            const int lo = HexValue(list[i + 1]);
            if (hi < 0 || lo < 0) {
                return std::nullopt;
            }
            value.data.push_back(static_cast<uint8_t>(hi << 4 | lo));
            i += 2;
            if (i < list.size() && list[i] != ',') {
                return std::nullopt;
            }
            ++i;
        }
        return value;
    }
    return std::nullopt;
}

bool LoadStore(SettingsRoot root, IniFile& ini) {
    return root == kCurrentUser && ini.Load(SettingsFilePath());
}

}  // namespace

std::string SettingsFilePath() {
    std::string base = Environment("XDG_CONFIG_HOME");
    if (base.empty()) {
        base = Environment("HOME");
        if (base.empty()) {
            return {};
        }
        base += "/.config";
    }
    return base + "/Ostrelwerk/TQ8Flash.ini";
}

bool SettingsOpenKey(SettingsRoot root, const std::string& key) {
    IniFile ini;
    return LoadStore(root, ini) && ini.HasSection(key);
}

std::optional<SettingsValue> SettingsQuery(SettingsRoot root, const std::string& key,
                                           const std::string& name) {
    IniFile ini;
    if (!LoadStore(root, ini)) {
        return std::nullopt;
    }
    const auto text = ini.Get(key, name);
    if (!text) {
        return std::nullopt;
    }
    return Decode(*text);
}

bool SettingsWrite(SettingsRoot root, const std::string& key, const std::string& name,
                   const SettingsValue& value) {
    IniFile ini;
    if (!LoadStore(root, ini) || SettingsFilePath().empty()) {
        return false;
    }
    ini.Set(key, name, Encode(value));
    return ini.Save(SettingsFilePath());
}

}  // namespace platform
