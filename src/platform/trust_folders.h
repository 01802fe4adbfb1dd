#pragma once
// Where the keys that firmware bundles must be signed with are kept: folders of minisign
// public-key files, one kept by the administrator for the whole computer and one of the
// user's own.

#include <string>
#include <vector>

namespace platform {

// POSIX: /etc/tq8flash/trusted-keys, then $XDG_CONFIG_HOME/Ostrelwerk/trusted-keys
// (default ~/.config), beside the settings file. Win32: trusted-keys beside the programs,
// then Ostrelwerk\trusted-keys in the user's local application data folder. A folder
// that cannot be named (no home) is left out.
std::vector<std::string> TrustedKeyFolders();

}  // namespace platform
