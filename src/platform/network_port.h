#pragma once
// Network ports: a serial line behind a device server that speaks RFC 2217, named
// "rfc2217://HOST:PORT" wherever a device name may stand. The error codes are the OS
// layer's own (application codes on Win32), and SystemMessage gives their texts.

#include <cstdint>
#include <string>

namespace platform {

inline constexpr uint32_t kErrorNetworkPortName = 0x20002170;
inline constexpr uint32_t kErrorNetworkHostUnknown = 0x20002171;
inline constexpr uint32_t kErrorNoComPortOption = 0x20002172;
inline constexpr uint32_t kErrorServerSilent = 0x20002173;
inline constexpr uint32_t kErrorLineNotConfirmed = 0x20002174;
inline constexpr uint32_t kErrorServerClosed = 0x20002175;
inline constexpr uint32_t kErrorNetworkPortUnsupported = 0x20002176;

// How long a device server may take to accept a connection or to answer a request.
inline constexpr uint32_t kServerAnswerMs = 3000;

struct NetworkAddress {
    std::string host;
    std::string port;
};

// Whether the name is a network port's ("rfc2217://", letters in any case).
bool IsNetworkPortName(const std::string& name);

// HOST and PORT of "rfc2217://HOST:PORT" (an IPv6 host in brackets); false for a name
// without a host or with a port outside 1..65535.
bool ParseNetworkPortName(const std::string& name, NetworkAddress& address);

// The text of one of the codes above, or null for any other code.
const char* NetworkPortErrorText(uint32_t code);

}  // namespace platform
