#pragma once
// Network ports: a serial line behind a device server that speaks RFC 2217, named
// "rfc2217://HOST:PORT" wherever a device name may stand. The error codes are the OS
// layer's own (application codes on Win32); their texts stand in the string table, in both
// languages (NetworkPortErrorTextId).

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
inline constexpr uint32_t kErrorServerStreamBroken = 0x20002177;
inline constexpr uint32_t kErrorHostLookupSlow = 0x20002178;

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

// Why the latest open of the network port of this name failed: its error code, or 0 when it
// did not fail or was never tried. The serial service notes each failure.
uint32_t NetworkPortFailure(const std::string& name);
void NoteNetworkPortFailure(const std::string& name, uint32_t code);

// The string table's id of the English text of one of the codes above (the German one is
// 1000 more), or 0 for any other code.
unsigned NetworkPortErrorTextId(uint32_t code);

// The English text of one of the codes above, or "" for any other code.
std::string NetworkPortErrorText(uint32_t code);

}  // namespace platform
