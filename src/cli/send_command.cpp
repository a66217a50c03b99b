#include "cli/commands.h"
#include "cli/exit_status.h"

namespace korvane::cli {

int runSend(const std::vector<std::string>&, int, char**) { return kExitUsage; }

}  // namespace korvane::cli
