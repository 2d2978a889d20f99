#pragma once

#include <optional>

#include "engines/odbc/driver.h"

namespace kxodbc {

// A catalogue argument: absent (null pointer) or a text.
using Arg = std::optional<std::string>;

void catalogTables(Stmt& s, const Arg& cat, const Arg& schema, const Arg& table, const Arg& types);
void catalogColumns(Stmt& s, const Arg& cat, const Arg& schema, const Arg& table, const Arg& column);
void catalogStatistics(Stmt& s, const std::string& table, SQLUSMALLINT unique);
void catalogPrimaryKeys(Stmt& s, const std::string& table);
void catalogForeignKeys(Stmt& s, const Arg& pkTable, const Arg& fkTable);
void catalogSpecialColumns(Stmt& s, SQLUSMALLINT idType, const std::string& table);
void catalogProcedures(Stmt& s, const Arg& proc);
void catalogProcedureColumns(Stmt& s, const Arg& proc, const Arg& column);
void catalogTypeInfo(Stmt& s, SQLSMALLINT dataType);

}  // namespace kxodbc
