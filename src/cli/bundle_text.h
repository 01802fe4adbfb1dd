#pragma once
// A firmware bundle's check as the console says it, the same for update, info, inspect
// and a line of machines.

#include <string>

#include "bundle/bundle_check.h"

// One or two lines, each ended: the state, the key and the trusted comment.
std::string BundleStateText(const bundle::BundleCheck& check, const std::string& folder);

// The check of the bundle in folder against the installed keys.
bundle::BundleCheck CheckInstalled(const std::string& folder);

// The trusted-key folders, joined for a person to read.
std::string TrustedKeyFolderList();
