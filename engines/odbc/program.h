// A prepared statement: the translated SQL, its compiled SQLite statements and what the driver
// learned about it (base table, hidden row id column, parameter descriptions).
#pragma once

#include <deque>

#include "engines/odbc/driver.h"
#include "engines/odbc/result.h"
#include "engines/odbc/sqltext.h"

namespace kxodbc {

struct ParamInfo {
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN size = 255;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
  SQLSMALLINT direction = SQL_PARAM_INPUT;  // procedures
};

struct ProcParam {
  std::string name;
  SQLSMALLINT direction = SQL_PARAM_INPUT;  // SQL_PARAM_INPUT, _OUTPUT, _INPUT_OUTPUT, SQL_RETURN_VALUE
  std::string typeText;
  ParamInfo type;
};

struct ProcDef {
  std::string name;
  std::vector<ProcParam> params;  // return values first, then the parameter list
  std::string body;
  std::string remarks;
  std::string definition;  // the CREATE PROCEDURE text
};

struct Program {
  enum class Kind { Sql, Call, CreateProc, DropProc };
  ~Program();

  Kind kind = Kind::Sql;
  std::string text;  // after escape translation
  Hooks hooks;
  CallSyntax call;
  std::vector<std::string> parts;
  std::vector<sqlite3_stmt*> stmts;  // parallel to parts; null until prepared
  std::vector<int> partMarkers;
  int markers = 0;

  // First statement, when it is a query over one table.
  int rowidCol = -1;  // hidden trailing column holding the row id
  std::string baseTable;
  int visibleCols = 0;

  // UPDATE/DELETE ... WHERE CURRENT OF
  bool currentOf = false;
  std::string cursorName;
  std::string dmlTable;
  std::string dmlVerb;

  // CREATE/DROP PROCEDURE and calls
  ProcDef proc;
  std::string dropName;
  bool dropIfExists = false;

  std::vector<ParamInfo> paramInfo;
  bool paramInfoDone = false;
  size_t nextPart = 0;
  std::vector<std::string> tablesUsed;  // tables the first statement reads or writes
};

// Queued result sets of a statement (after the current one), for SQLMoreResults.
struct PendingResult {
  std::unique_ptr<Result> result;
  std::vector<ColInfo> cols;
};

// Statement operations (stmt.cpp).
void prepareStatement(Stmt& s, const std::string& sql);
SQLRETURN executeStatement(Stmt& s);
SQLRETURN paramData(Stmt& s, SQLPOINTER* token);
SQLRETURN putData(Stmt& s, SQLPOINTER data, SQLLEN len);
SQLRETURN moreResults(Stmt& s);
void describeColumns(Stmt& s, sqlite3_stmt* st, int visible, const Program* p);
Value paramValue(Stmt& s, int n, SQLULEN row);
void writeOutputParam(Stmt& s, int n, const Value& v, SQLSMALLINT sqlType, SQLSMALLINT digits);
int numParams(const Stmt& s);
const ParamInfo& describeParam(Stmt& s, int n);
std::vector<ParamInfo> inferParams(Dbc& dbc, const Program& p);
void setResult(Stmt& s, std::unique_ptr<Result> r, std::vector<ColInfo> cols);

// Procedures (procs.cpp).
ProcDef parseProcedure(const std::string& createText);
void createProcedure(Dbc& dbc, const ProcDef& def);
bool dropProcedure(Dbc& dbc, const std::string& name);
bool findProcedure(Dbc& dbc, const std::string& name, ProcDef& out);
std::vector<ProcDef> listProcedures(Dbc& dbc);
SQLRETURN callProcedure(Stmt& s);

// Metadata from the engine's catalogue (catalog overlay, metadata.cpp).
void applyCatalogType(Dbc& dbc, const std::string& table, const std::string& column, ColInfo& ci);

}  // namespace kxodbc
