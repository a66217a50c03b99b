#include "download/progress.h"

#include <string>

namespace korvane::download {

std::string formatProgressText(std::int32_t position, std::int32_t total) {
    return std::to_string(position) + "/" + std::to_string(total);
}

}  // namespace korvane::download
