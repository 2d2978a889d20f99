#pragma once

#include "engines/odbc/driver.h"

namespace kxodbc {

// `wide`: string answers are UTF-16 and lengths count bytes (SQLGetInfoW).
SQLRETURN getInfo(Dbc& dbc, SQLUSMALLINT type, SQLPOINTER ptr, SQLSMALLINT bufLen, SQLSMALLINT* outLen,
                  bool wide = false);

}  // namespace kxodbc
