#include "TerminalEnvironment.h"

#include <cstdlib>

// TODO(terminal-view): forward to termcore::Terminal::getEnvironmentVariables once it lands.
std::vector<std::string> defaultTerminalEnvironment(const std::optional<std::string>& termName, bool trueColor)
{
    std::vector<std::string> env;
    env.push_back("TERM=" + termName.value_or("xterm-256color"));
    if (trueColor)
        env.push_back("COLORTERM=truecolor");
    env.push_back("LANG=en_US.UTF-8");
    for (const char* name : {"LOGNAME", "USER", "DISPLAY", "LC_TYPE", "HOME"}) {
        if (const char* v = std::getenv(name))
            env.push_back(std::string(name) + "=" + v);
    }
    return env;
}
