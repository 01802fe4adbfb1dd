// The machine's command table: every request it knows, by code and name, with the bytes
// that follow the introduction and the handler that answers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tq8sim/simulator.h"

namespace tq8sim {

struct CommandSpec {
    uint16_t code;
    const char* name;
    bool framed;         // introduced by 11 HH LL and acknowledged; else the device-type byte
    size_t requestSize;  // bytes the host sends after the introduction (and its ACK)
    void (Simulator::Impl::*handler)(const uint8_t* request);
};

// The longest request of any command (StartDownload: guard, start, end).
inline constexpr size_t kLongestRequest = 12;

const CommandSpec* FindCommand(uint16_t code);
const CommandSpec* FindCommand(std::string_view name);  // ignoring case

}  // namespace tq8sim
