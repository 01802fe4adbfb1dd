// The registry of the machine's options per test, and the listing the wine script reads.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "sim_link.h"

namespace {

std::map<std::string, std::string>& Registry() {
    static std::map<std::string, std::string> registry;
    return registry;
}

// With TQ8_SIM_LIST set the binary prints "SIM|test|options" per line and ends, before
// any test runs.
class ListOptions : public ::testing::Environment {
  public:
    void SetUp() override {
        if (std::getenv("TQ8_SIM_LIST") == nullptr) {
            return;
        }
        for (const auto& [test, options] : Registry()) {
            std::printf("SIM|%s|%s\n", test.c_str(), options.c_str());
        }
        std::fflush(stdout);
        std::_Exit(0);
    }
};

const bool kListing = (::testing::AddGlobalTestEnvironment(new ListOptions), true);

}  // namespace

bool RegisterSimOptions(const char* test, const char* options) {
    Registry()[test] = options;
    return kListing;
}

const char* SimOptionsOf(const std::string& test) {
    auto it = Registry().find(test);
    return it == Registry().end() ? nullptr : it->second.c_str();
}
