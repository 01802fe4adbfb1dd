#include "sysinfo_report.h"

std::vector<std::string> SplitFields(const char* text) {
    std::vector<std::string> fields;
    std::string field;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p == '|') {
            if (!field.empty()) {
                fields.push_back(field);
            }
            field.clear();
        } else {
            field += *p;
        }
    }
    if (!field.empty()) {
        fields.push_back(field);
    }
    return fields;
}

std::string SysInfoReport(const char* text, const PcFacts& facts) {
    static constexpr const char* kBreak = "\r\n";
    std::string report = "Connection:";
    report += kBreak;
    const std::vector<std::string> fields = SplitFields(text);
    if (fields.empty()) {
        report += "    none";
        report += kBreak;
    }
    for (const std::string& field : fields) {
        report += "    " + field + kBreak;
    }
    report += kBreak;
    report += "Windows: " + (facts.windowsVersion.empty() ? "unknown" : facts.windowsVersion);
    report += kBreak;
    report += "Memory: " + std::to_string(facts.totalMemoryMiB) + " MB, " +
              std::to_string(facts.freeMemoryMiB) + " MB free";
    report += kBreak;
    report += "COM ports:";
    if (facts.comPorts.empty()) {
        report += " none";
    }
    for (size_t i = 0; i < facts.comPorts.size(); ++i) {
        report += (i == 0 ? " " : ", ") + facts.comPorts[i];
    }
    report += kBreak;
    return report;
}
