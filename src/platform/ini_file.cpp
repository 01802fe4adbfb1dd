#include "platform/ini_file.h"

#include <algorithm>
#include <cctype>

#include "platform/file_io.h"

namespace platform {
namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    std::string text;
    const ReadResult result = ReadWholeFile(path, text);
    if (result == ReadResult::Missing) {
        lines_.clear();
        return true;
    }
    if (result != ReadResult::Ok) {
        return false;
    }
    Parse(text);
    return true;
}

void IniFile::Parse(const std::string& text) {
    lines_.clear();
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') {
            raw.pop_back();
        }
        Line line{raw, section, "", ""};
        const std::string t = Trim(raw);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            section = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            line.section = section;
        } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
            const size_t eq = t.find('=');
            if (eq != std::string::npos) {
                line.key = Trim(t.substr(0, eq));
                line.value = Trim(t.substr(eq + 1));
            }
        }
        lines_.push_back(std::move(line));
    }
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    for (const Line& line : lines_) {
        if (!line.key.empty() && SameName(line.section, section) && SameName(line.key, key)) {
            return line.value;
        }
    }
    return std::nullopt;
}

bool IniFile::HasSection(const std::string& section) const {
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const Line& l) { return SameName(l.section, section); });
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    for (const Line& line : lines_) {
        if (!line.key.empty() && SameName(line.section, section)) {
            keys.push_back(line.key);
        }
    }
    return keys;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    for (Line& line : lines_) {
        if (!line.key.empty() && SameName(line.section, section) && SameName(line.key, key)) {
            line.value = value;
            line.text = line.key + "=" + value;
            return;
        }
    }
    // New key: behind the last line of its section, or in a new section at the end.
    size_t insertAt = lines_.size();
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (SameName(lines_[i].section, section) &&
            (!lines_[i].key.empty() || Trim(lines_[i].text).rfind('[', 0) == 0)) {
            insertAt = i + 1;
            found = true;
        }
    }
    if (!found) {
        lines_.push_back(Line{"[" + section + "]", section, "", ""});
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  Line{key + "=" + value, section, key, value});
}

bool IniFile::Remove(const std::string& section, const std::string& key) {
    for (auto it = lines_.begin(); it != lines_.end(); ++it) {
        if (!it->key.empty() && SameName(it->section, section) && SameName(it->key, key)) {
            lines_.erase(it);
            return true;
        }
    }
    return false;
}

std::string IniFile::Text() const {
    std::string text;
    for (const Line& line : lines_) {
        text += line.text;
        text += "\r\n";
    }
    return text;
}

bool IniFile::Save(const std::string& path) const {
    return WriteFileAtomically(path, Text());
}

}  // namespace platform
