#pragma once

#include <optional>
#include <string>
#include <vector>

// The environment a terminal child gets when its host passes none: TERM, COLORTERM with true
// colour, LANG, then LOGNAME, USER, DISPLAY, LC_TYPE and HOME when this process has them.
std::vector<std::string> defaultTerminalEnvironment(const std::optional<std::string>& termName, bool trueColor);
