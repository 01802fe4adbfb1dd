#include "sysinfo_report.h"

namespace {

// Appends to a bounded text; what does not fit is cut.
class Text {
  public:
    Text(char* out, int size) : out_(out), size_(size) {
        if (size_ > 0) {
            out_[0] = '\0';
        }
    }
    Text& operator<<(const char* part) {
        for (; part != nullptr && *part != '\0'; ++part) {
            Put(*part);
        }
        return *this;
    }
    Text& operator<<(uint64_t number) {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (count > 0) {
            Put(digits[--count]);
        }
        return *this;
    }
    void Put(char c) {
        if (length_ + 1 < size_) {
            out_[length_++] = c;
            out_[length_] = '\0';
        }
    }
    int Length() const { return length_; }

  private:
    char* out_;
    int size_;
    int length_ = 0;
};

constexpr const char* kBreak = "\r\n";

}  // namespace

int SysInfoReport(const char* fields, const PcFacts& facts, char* out, int size) {
    Text text(out, size);
    text << "Connection:" << kBreak;
    bool any = false;
    bool lineOpen = false;
    for (const char* p = fields; p != nullptr && *p != '\0'; ++p) {
        if (*p == '|') {
            if (lineOpen) {
                text << kBreak;
                lineOpen = false;
            }
            continue;
        }
        if (!lineOpen) {
            text << "    ";
            lineOpen = true;
            any = true;
        }
        text.Put(*p);
    }
    if (lineOpen) {
        text << kBreak;
    }
    if (!any) {
        text << "    none" << kBreak;
    }
    text << kBreak << "Windows: ";
    if (facts.windowsMajor == 0) {
        text << "unknown";
    } else {
        text << uint64_t{facts.windowsMajor} << "." << uint64_t{facts.windowsMinor} << " (build "
             << uint64_t{facts.windowsBuild} << ")";
    }
    text << kBreak << "Memory: " << facts.totalMemoryMiB << " MB, " << facts.freeMemoryMiB
         << " MB free" << kBreak << "COM ports:";
    if (facts.comPortCount == 0) {
        text << " none";
    }
    for (int i = 0; i < facts.comPortCount && i < kMaxComPorts; ++i) {
        text << (i == 0 ? " COM" : ", COM") << static_cast<uint64_t>(facts.comPorts[i]);
    }
    text << kBreak;
    return text.Length();
}
