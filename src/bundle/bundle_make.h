#pragma once
// Writes a bundle's manifest from the files beside it, for the release engineer to sign.

#include <string>

namespace bundle {

enum class MakeResult { Ok, BadName, FileUnreadable, NotWritten };

// TQ8-BUNDLE.INI in folder, from its three files; the file that could not be read in
// failedFile.
MakeResult WriteManifest(const std::string& folder, const std::string& name,
                         std::string& failedFile);

}  // namespace bundle
