#include <gtest/gtest.h>

#include <array>

#include "platform/dynlib.h"

namespace {

// SysInfo.Dll ships beside TQ8Flash.exe and must carry the release's version as the
// programs do; the build puts a copy beside this test, where the program looks first.
TEST(SysInfoLibrary, CarriesTheProjectVersion) {
    ModuleHandle library = platform::OpenLibrary("SysInfo.Dll");
    ASSERT_NE(library, nullptr);
    const auto version = platform::ModuleFileVersion(library);
    platform::CloseLibrary(library);
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(*version, (std::array<uint16_t, 4>{TQ8_VERSION_MAJOR, TQ8_VERSION_MINOR,
                                                 TQ8_VERSION_PATCH, 0}));
}

}  // namespace
