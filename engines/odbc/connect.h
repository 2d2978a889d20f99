#pragma once

#include <utility>

#include "engines/odbc/driver.h"

namespace kxodbc {

// Keywords upper-cased, in the order given.
using ConnAttrs = std::vector<std::pair<std::string, std::string>>;

ConnAttrs parseConnectionString(std::string_view s);
std::string attr(const ConnAttrs& a, const char* key);
bool hasAttr(const ConnAttrs& a, const char* key);

// Opens the connection. On success `outString` (when given) receives the completed string.
void connect(Dbc& dbc, const ConnAttrs& attrs, std::string* outString);

}  // namespace kxodbc
