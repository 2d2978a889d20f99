// Internal model of the ODBC driver: handles, diagnostics, descriptors, values.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/store/catalog.h"

namespace kxodbc {

// ---------------------------------------------------------------------------------------------
// Errors. Deep code throws OdbcError; the entry points turn it into a diagnostic record.

struct OdbcError {
  std::string state;
  std::string message;
  SQLINTEGER native = 0;
};

[[noreturn]] void fail(const char* state, std::string message, SQLINTEGER native = 0);
// Throws an error built from the SQLite connection's last message.
[[noreturn]] void failSqlite(sqlite3* db, int rc, const char* context = nullptr);
// SQLSTATE for an SQLite result code.
const char* sqliteState(int rc);

// Native error numbers the driver reports; the login ones are what clients test for.
enum Native : SQLINTEGER {
  kNativeBadAccount = -1903,
  kNativeBadPassword = -1905,
  kNativeNoDatabase = -2301,
  kNativeSqliteBase = -10000,  // -10000 - SQLite extended result code
};

struct DiagRec {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
  SQLLEN row = SQL_NO_ROW_NUMBER;
  SQLINTEGER column = SQL_NO_COLUMN_NUMBER;
};

enum class HKind : uint32_t {
  Env = 0x4b58454eu,
  Dbc = 0x4b584443u,
  Stmt = 0x4b585354u,
  Desc = 0x4b584453u,
  Dead = 0xdeadbeefu,
};

struct Handle {
  explicit Handle(HKind k) : kind(k) {}
  virtual ~Handle() { kind = HKind::Dead; }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HKind kind;
  std::vector<DiagRec> diags;
  SQLRETURN lastReturn = SQL_SUCCESS;
  SQLLEN diagRowCount = 0;
  std::string diagFunction;
  SQLINTEGER diagFunctionCode = 0;

  void warn(const char* state, std::string message, SQLINTEGER native = 0);
  void add(const OdbcError& e);
  virtual std::recursive_mutex& mutex() = 0;
};

// ---------------------------------------------------------------------------------------------
// Values. A view is what conversions read: either straight out of a stepping SQLite statement
// (no copy, the fast path) or out of a materialised row.

enum class VK : uint8_t { Null, Int, Real, Text, Blob };

struct Value {
  VK kind = VK::Null;
  int64_t i = 0;
  double d = 0;
  std::string s;  // text (UTF-8) or blob bytes

  static Value null() { return {}; }
  static Value integer(int64_t v) { Value x; x.kind = VK::Int; x.i = v; return x; }
  static Value real(double v) { Value x; x.kind = VK::Real; x.d = v; return x; }
  static Value text(std::string v) { Value x; x.kind = VK::Text; x.s = std::move(v); return x; }
  static Value blob(std::string v) { Value x; x.kind = VK::Blob; x.s = std::move(v); return x; }
  bool isNull() const { return kind == VK::Null; }
};

struct ValView {
  VK kind = VK::Null;
  int64_t i = 0;
  double d = 0;
  const char* p = nullptr;
  size_t n = 0;
};

inline ValView viewOf(const Value& v) {
  ValView w;
  w.kind = v.kind;
  w.i = v.i;
  w.d = v.d;
  w.p = v.s.data();
  w.n = v.s.size();
  return w;
}
ValView viewOf(sqlite3_stmt* st, int col);
Value valueOf(sqlite3_stmt* st, int col);
Value valueOf(sqlite3_value* v);
void bindValue(sqlite3* db, sqlite3_stmt* st, int idx, const Value& v);

// ---------------------------------------------------------------------------------------------
// Column description (implementation row descriptor record).

struct ColInfo {
  std::string name;
  std::string label;
  std::string baseColumn;
  std::string baseTable;
  std::string typeName;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN size = 255;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE;
  bool autoUnique = false;
  bool unsignedType = false;
  SQLSMALLINT updatable = SQL_ATTR_READWRITE_UNKNOWN;
  bool declared = false;  // false: the type comes from the values (expressions)
};

// ---------------------------------------------------------------------------------------------
// Descriptors. Bindings of columns (ARD) and parameters (APD/IPD) live in descriptor records so
// that SQLGetDescField/SQLSetDescField see the same state as SQLBindCol/SQLBindParameter.

struct DescRec {
  // application side
  SQLSMALLINT conciseType = SQL_C_DEFAULT;  // C type (ARD/APD) or SQL type (IPD)
  SQLPOINTER dataPtr = nullptr;
  SQLLEN octetLength = 0;  // buffer length
  SQLLEN* indicatorPtr = nullptr;
  SQLLEN* octetLengthPtr = nullptr;
  SQLSMALLINT precision = 0;
  SQLSMALLINT scale = 0;
  // implementation parameter side
  SQLULEN length = 0;  // column size
  SQLSMALLINT paramType = SQL_PARAM_INPUT;
  SQLSMALLINT nullable = SQL_NULLABLE;
  bool unnamed = true;
  std::string name;
};

struct Stmt;
struct Dbc;

enum class DescKind { ARD, APD, IRD, IPD, Explicit };

struct Desc final : Handle {
  Desc(Dbc* d, Stmt* owner, DescKind k) : Handle(HKind::Desc), dbc(d), stmt(owner), which(k) {}
  Dbc* dbc;
  Stmt* stmt;  // null for explicitly allocated descriptors
  DescKind which;
  std::vector<DescRec> recs;  // index 0 is the bookmark record
  SQLULEN arraySize = 1;
  SQLUSMALLINT* arrayStatusPtr = nullptr;
  SQLLEN* bindOffsetPtr = nullptr;
  SQLULEN bindType = SQL_BIND_BY_COLUMN;
  SQLULEN* rowsProcessedPtr = nullptr;
  std::vector<Stmt*> users;  // statements using this explicit descriptor

  DescRec& rec(int n) {
    if (n >= static_cast<int>(recs.size())) recs.resize(n + 1);
    return recs[n];
  }
  int count() const { return recs.empty() ? 0 : static_cast<int>(recs.size()) - 1; }
  void trim();  // drops trailing unbound records
  std::recursive_mutex& mutex() override;
};

// ---------------------------------------------------------------------------------------------

struct Env final : Handle {
  Env() : Handle(HKind::Env) {}
  std::recursive_mutex mu;
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
  std::vector<Dbc*> dbcs;
  std::recursive_mutex& mutex() override { return mu; }
};

class Result;
struct Program;
struct PendingResult;

struct Dbc final : Handle {
  explicit Dbc(Env* e) : Handle(HKind::Dbc), env(e) {}
  ~Dbc() override;
  Env* env;
  std::recursive_mutex mu;
  sqlite3* db = nullptr;
  std::vector<Stmt*> stmts;
  std::vector<Desc*> descs;

  // attributes
  bool autocommit = true;
  bool readOnly = false;  // SQL_ATTR_ACCESS_MODE or OpenMode ReadOnly
  bool openReadOnly = false;
  SQLUINTEGER loginTimeout = 0;
  SQLUINTEGER connectionTimeout = 0;
  SQLUINTEGER packetSize = 0;
  SQLUINTEGER txnIsolation = SQL_TXN_SERIALIZABLE;
  SQLULEN quietMode = 0;
  int cursorCounter = 0;
  std::map<std::string, kxstore::TableDef> metaCache;  // by upper-case table name
  int metaVersion = -1;                                 // schema version the cache is for
  unsigned metaEpoch = 1;         // moves at every statement; the version is checked once per move
  unsigned metaCheckedEpoch = 0;

  // what the connection was made to
  std::string dsn;
  std::string driverName;
  std::string databaseName;  // DBQ
  std::string databasePath;
  std::string serverName;
  std::string user;
  std::string engineVersion;
  bool clientInterface = false;

  bool connected() const { return db != nullptr; }
  bool inTransaction() const { return db && !sqlite3_get_autocommit(db); }
  // Starts the implicit transaction of manual-commit mode before a statement runs.
  void beginIfManual();
  void endTransaction(bool commit);
  void disconnect();
  Stmt* findCursor(const std::string& name);
  std::recursive_mutex& mutex() override { return mu; }
};

// Hooks a test can put into a statement's text to make the driver answer in unusual ways.
struct Hooks {
  std::string execInfo;   // SQLSTATE reported with SQL_SUCCESS_WITH_INFO at execution
  std::string fetchInfo;  // SQLSTATE reported with every row fetched
  std::string priorInfo;  // SQLSTATE reported when FETCH_PRIOR leaves the result
  bool readOnly = false;  // report SQL_CONCUR_READ_ONLY whatever was asked
  bool precisionZero = false;  // describe NUMERIC/DECIMAL columns with precision 0
};

struct Stmt final : Handle {
  explicit Stmt(Dbc* d);
  ~Stmt() override;
  Dbc* dbc;

  // implicit descriptors and the ones in use
  Desc ard, apd, ird, ipd;
  Desc* curArd;
  Desc* curApd;

  // attributes
  SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
  SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
  SQLULEN scrollable = SQL_NONSCROLLABLE;
  SQLULEN sensitivity = SQL_UNSPECIFIED;
  SQLULEN useBookmarks = SQL_UB_OFF;
  SQLULEN maxRows = 0;
  SQLULEN maxLength = 0;
  SQLULEN queryTimeout = 0;
  SQLULEN noscan = SQL_NOSCAN_OFF;
  SQLULEN retrieveData = SQL_RD_ON;
  SQLULEN keysetSize = 0;
  SQLULEN asyncEnable = SQL_ASYNC_ENABLE_OFF;
  SQLULEN simulateCursor = SQL_SC_NON_UNIQUE;
  SQLULEN enableAutoIpd = SQL_FALSE;
  SQLULEN metadataId = SQL_FALSE;
  SQLULEN rowNumber = 0;  // of the current row, 1-based
  void* fetchBookmarkPtr = nullptr;
  std::string cursorName;
  bool cursorNameSet = false;

  // prepared statement and its result
  std::unique_ptr<Program> prog;
  std::unique_ptr<Result> result;
  std::vector<PendingResult> pending;  // result sets after the current one
  std::vector<ColInfo> cols;
  bool prepared = false;
  bool executed = false;
  SQLLEN rowCount = -1;
  SQLULEN effectiveCursor = SQL_CURSOR_FORWARD_ONLY;
  SQLULEN effectiveConcurrency = SQL_CONCUR_READ_ONLY;

  // SQLGetData progress on the current row
  int gdColumn = -1;
  size_t gdOffset = 0;
  bool gdDone = false;
  SQLLEN gdRow = 0;  // row in the rowset SQLSetPos chose (0-based)
  SQLLEN lastRowset = 1;  // rows in the last rowset fetched

  // Column bindings resolved once for the fetch loop; rebuilt when bindVersion moves.
  struct BoundColumn {
    int col;  // 0-based result column
    SQLSMALLINT ctype;
    char* ptr;
    SQLLEN elemSize;
    SQLLEN bufLen;
    SQLLEN* ind;
    SQLLEN* len;
    SQLSMALLINT precision, scale;
    SQLSMALLINT sqlType;
    SQLULEN size;
    SQLSMALLINT digits;
    bool plainText;  // text goes out as stored (no padding or scaling)
  };
  std::vector<BoundColumn> plan;
  unsigned bindVersion = 1;
  unsigned planVersion = 0;

  // data at execution
  bool needData = false;
  int needParam = 0;  // 1-based, the parameter whose data is being sent
  bool putStarted = false;
  SQLULEN needRow = 0;
  std::map<int, Value> dataAtExec;  // parameter -> data sent so far
  bool needDataForExecDirect = false;

  bool cursorOpen() const { return result != nullptr; }
  const std::string& getCursorName();
  void closeCursor();  // SQL_CLOSE: result gone, bindings kept
  void resetProgram();
  std::recursive_mutex& mutex() override { return dbc->mu; }
};

// UTF-8 helpers shared by the narrow and wide entry points.
std::string utf16ToUtf8(const SQLWCHAR* s, SQLLEN lenChars);  // lenChars may be SQL_NTS
std::u16string utf8ToUtf16(std::string_view s);
size_t utf8Chars(std::string_view s);

// Copies text into an application buffer with ODBC truncation rules. Returns true when truncated.
bool copyOut(std::string_view src, SQLCHAR* buf, SQLLEN bufLen, SQLSMALLINT* outLen);
bool copyOut(std::string_view src, SQLCHAR* buf, SQLLEN bufLen, SQLINTEGER* outLen);
// UTF-16 output: lengths in characters (bufChars, *outChars) or in bytes. True when truncated.
bool wideOutChars(std::string_view utf8, SQLWCHAR* buf, SQLLEN bufChars, SQLSMALLINT* outChars);
bool wideOutChars(std::string_view utf8, SQLWCHAR* buf, SQLLEN bufChars, SQLINTEGER* outChars);
bool wideOutBytes(std::string_view utf8, SQLPOINTER buf, SQLLEN bufBytes, SQLSMALLINT* outBytes);
bool wideOutBytes(std::string_view utf8, SQLPOINTER buf, SQLLEN bufBytes, SQLINTEGER* outBytes);
// Text argument in: SQL_NTS or a length (bytes for narrow texts, UTF-16 units for wide ones).
std::string textIn(const SQLCHAR* s, SQLLEN len);
std::string textIn(const SQLWCHAR* s, SQLLEN len);

// A key of an installer file (odbc.ini in the current config mode), read past the installer's
// cache; nullopt when absent.
std::optional<std::string> installerValue(const std::string& section, const char* key);

std::string upper(std::string_view s);
bool iequals(std::string_view a, std::string_view b);

}  // namespace kxodbc
