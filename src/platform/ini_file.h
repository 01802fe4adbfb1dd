#pragma once
// A small INI file model that keeps the file's lines, comments and order, and writes
// atomically (temporary file + rename). Section and key names match without regard to
// letter case, as Windows profile files do.

#include <optional>
#include <string>
#include <vector>

namespace platform {

class IniFile {
  public:
    // Reads the file; a missing file gives an empty model. False on a read error.
    bool Load(const std::string& path);

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    bool Remove(const std::string& section, const std::string& key);
    bool HasSection(const std::string& section) const;
    std::vector<std::string> Keys(const std::string& section) const;

    std::string Text() const;
    void Parse(const std::string& text);

    // Writes the whole file atomically, creating missing parent directories.
    bool Save(const std::string& path) const;

  private:
    struct Line {
        std::string text;     // the line as it stands in the file
        std::string section;  // section the line belongs to
        std::string key;      // empty for non-entry lines
        std::string value;
    };
    std::vector<Line> lines_;
};

}  // namespace platform
