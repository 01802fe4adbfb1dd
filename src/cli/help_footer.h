#pragma once
// The end of every --help page: exit codes, the port rule, where settings and records are.

#include <string>

std::string HelpFooter();
