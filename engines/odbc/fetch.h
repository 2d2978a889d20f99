#pragma once

#include "engines/odbc/driver.h"

namespace kxodbc {

SQLRETURN fetchRows(Stmt& s, SQLSMALLINT orientation, SQLLEN offset, SQLULEN* rowsOut, SQLUSMALLINT* statusOut);
SQLRETURN getData(Stmt& s, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER ptr, SQLLEN bufLen, SQLLEN* ind);
SQLRETURN setPos(Stmt& s, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock);

}  // namespace kxodbc
