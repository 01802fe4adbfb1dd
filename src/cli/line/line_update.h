#pragma once
// tq8flash update with several --port: every machine at once, one child process each
// (line_child.cpp), one confirmation, one display, one writer of the record file.

#include <string>
#include <vector>

struct LineOptions {
    std::vector<std::string> ports;  // as given; each child resolves its own
    std::string dir;
    std::string record;
    std::string lang;
    int trace = 0;
    bool yes = false;
    bool no = false;
    bool json = false;  // the children's lines on stdout, each with its "port"
};

int RunLine(const LineOptions& options);
