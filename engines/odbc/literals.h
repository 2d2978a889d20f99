#pragma once

#include "engines/odbc/driver.h"

namespace kxodbc {

// Rewrites comparisons and assignments of literals to binary, time stamp and floating-point
// columns of `tables` so that values written back as literals match what is stored.
std::string rewriteLiterals(Dbc& dbc, const std::string& sql, const std::vector<std::string>& tables);

}  // namespace kxodbc
