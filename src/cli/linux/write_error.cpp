#include "cli/write_error.h"

namespace korvane::cli {

// A closed pipe is EPIPE already.
int writeErrorOf(int error) {
    return error;
}

}  // namespace korvane::cli
