// What this vehicle-sim is: its version and the source commit it was built from.
#pragma once

#include <string>

namespace master::cli {

std::string version();
// The commit (12 hexadecimal digits, "-dirty" when the checkout had changes), or empty for a
// build outside a git checkout.
std::string sourceCommit();

}  // namespace master::cli
