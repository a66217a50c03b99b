#include "cli/commands.h"
#include "cli/exit_status.h"

namespace korvane::cli {

int runCheck(const std::vector<std::string>&) { return kExitUsage; }

}  // namespace korvane::cli
