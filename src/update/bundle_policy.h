#pragma once
// What the update does with a firmware bundle's check and with an older version: the
// refusals' texts in the run's language, and the RefuseDowngrade setting.

#include <cstdint>
#include <optional>
#include <string>

#include "bundle/bundle_check.h"

// Why the bundle was refused, in the current language, with the closing advice.
std::string BundleRefusalText(const bundle::BundleCheck& check, const std::string& folder);

// The same without the closing advice: the reason alone, for a console line.
std::string BundleFaultText(const bundle::BundleCheck& check, const std::string& folder);

// The "RefuseDowngrade" value of the program's key (off when unset).
bool RefuseDowngradeSetting();

// Whether fileVersion is older than the machine's; false when either is unknown.
bool IsDowngrade(std::optional<int16_t> machineVersion, std::optional<uint16_t> machineBuild,
                 std::optional<uint32_t> fileVersion);
