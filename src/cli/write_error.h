#pragma once

namespace korvane::cli {

// The errno of a write to standard output that has just failed, with a reader that has gone
// always told as EPIPE: the C runtime on Windows reports a closed pipe as EINVAL, and only the
// system's own error says what happened.
int writeErrorOf(int error);

}  // namespace korvane::cli
