#pragma once

namespace korvane::ui::form {

// A count the engine hands over as a float, as the nearest int: NaN is 0, and values beyond
// int's range stop at its ends (floats above 2^24 round, and the largest 32-bit count rounds up
// past INT_MAX).
int barInt(float value);

// The bar's integer value for a value handed over as a float, inside minimum..maximum.
int barValue(float value, int minimum, int maximum);

}  // namespace korvane::ui::form
