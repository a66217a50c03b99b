#pragma once

#include <string>
#include <vector>

namespace korvane::cli {

// Each returns the process exit status. args are the words after the command's name.
int runCheck(const std::vector<std::string>& args);
int runPorts(const std::vector<std::string>& args);
int runSend(const std::vector<std::string>& args);

}  // namespace korvane::cli
