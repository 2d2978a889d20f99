// The engine catalogue kept inside every database file.
//
// A named database is one SQLite file (see dbnames.h). Its user tables are plain SQLite tables
// (the row id is the record manager's 4-byte bookmark) and its indexes plain SQLite indexes.
// What SQLite cannot say about them - the record manager's column class and native type, sizes,
// decimals, required/default/collation, index flags (primary, case-insensitive segments), table
// owners and options - lives in the kx_* tables below, together with the stored procedures of
// the relational engine and the database's users.
//
// Both engines open the same files, so both go through this header:
//   - installExtensions(db) on every connection, before touching user tables: it registers the
//     KX_NOCASE collation that case-insensitive index segments are declared with. A connection
//     without it cannot write tables that have such an index ("no such collation sequence").
//   - ensureCatalogue(db) once after opening a file read-write: it creates the kx_* tables
//     when missing (idempotent, cheap when they exist).
//   - readTable(db, name, def) for a table's columns and indexes. Tables created by plain SQL
//     have no catalogue rows; their metadata is derived from the declared types and from
//     SQLite's own index list (see deriveColumn). Catalogue rows that no longer match a
//     physical column or index (the table was altered by SQL) are ignored.
//
// Catalogue tables (all names lower case; the layout is versioned in kx_meta 'catalogue'):
//
//   kx_meta(key TEXT PRIMARY KEY, value TEXT)
//   kx_tables(table_id INTEGER PRIMARY KEY, name TEXT UNIQUE COLLATE NOCASE, owner TEXT,
//             access_mode INTEGER, flags INTEGER, secured INTEGER)
//   kx_columns(table_id, name TEXT COLLATE NOCASE, column_no, class, native, size, precision,
//              scale, flags, default_value, collation, autoinc_last;
//              PRIMARY KEY(table_id, name))
//   kx_indexes(table_id, sql_name TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE, index_no,
//              flags; PRIMARY KEY(table_id, sql_name))
//   kx_index_segments(table_id, sql_name, segment_no, column_name, flags;
//                     PRIMARY KEY(table_id, sql_name, segment_no))
//   kx_procedures(proc_id INTEGER PRIMARY KEY, name TEXT UNIQUE COLLATE NOCASE,
//                 proc_type INTEGER, definition TEXT, body TEXT, remarks TEXT, created TEXT)
//   kx_procedure_params(proc_id, param_no, name, direction, sql_type, type_name,
//                       column_size, decimal_digits, nullable; PRIMARY KEY(proc_id, param_no))
//   kx_users(name TEXT PRIMARY KEY COLLATE NOCASE, salt TEXT, hash TEXT, rights INTEGER)
//
// Value formats in user tables (what either engine must write so that the other reads it):
//   bit 0/1 INTEGER; integers INTEGER; currency, floats REAL; exact numerics INTEGER when
//   integral and within 64 bits, else REAL; date TEXT 'YYYY-MM-DD'; time TEXT 'HH:MM:SS';
//   timestamp TEXT 'YYYY-MM-DD HH:MM:SS' followed by '.' and 1-7 fraction digits when the
//   fraction is not zero (trailing zeros dropped, so equal values are equal texts);
//   fixed text TEXT without its trailing blanks; variable text TEXT; long text TEXT;
//   binary, variable binary and long binary BLOB. NULL is NULL; a long value of length 0 is
//   stored as NULL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kxstore {

// ---- Column classes (low byte of the record manager's ColTyp) --------------------------------
inline constexpr int kClassBit = 1;
inline constexpr int kClassTinyInt = 2;
inline constexpr int kClassSmallInt = 3;
inline constexpr int kClassInteger = 4;
inline constexpr int kClassCurrency = 5;
inline constexpr int kClassSingle = 6;
inline constexpr int kClassDouble = 7;
inline constexpr int kClassTimestamp = 8;
inline constexpr int kClassBinary = 9;
inline constexpr int kClassFixedText = 10;
inline constexpr int kClassLongBinary = 11;
inline constexpr int kClassLongText = 12;
inline constexpr int kClassDate = 101;
inline constexpr int kClassTime = 102;
inline constexpr int kClassExactNumeric = 103;
inline constexpr int kClassVarText = 104;
inline constexpr int kClassVarBinary = 106;

// ---- Native type codes (second byte of ColTyp) ------------------------------------------------
// Codes the engines act on; any other code is stored and reported as given.
inline constexpr int kNativeNone = 0;
inline constexpr int kNativeSigned = 1;
inline constexpr int kNativeFloat = 2;
inline constexpr int kNativeDate = 3;
inline constexpr int kNativeTime = 4;
inline constexpr int kNativeBit = 7;
inline constexpr int kNativeDecimal = 8;
inline constexpr int kNativeVarBinary = 10;
inline constexpr int kNativeString = 11;
inline constexpr int kNativeNote = 12;
inline constexpr int kNativeNumeric = 13;
inline constexpr int kNativeUnsigned = 14;
inline constexpr int kNativeAutoInc = 15;
inline constexpr int kNativeCurrency = 19;
inline constexpr int kNativeTimestamp = 20;
inline constexpr int kNativeBlob = 21;

// ---- Flags --------------------------------------------------------------------------------------
inline constexpr std::uint32_t kColumnRequired = 0x04;    // NOT NULL
inline constexpr std::uint32_t kColumnReadOnly = 0x10;    // reported, e.g. auto-increment
inline constexpr std::uint32_t kColumnUpdatable = 0x20;   // reported for writable handles

inline constexpr std::uint32_t kIndexUnique = 0x01;
inline constexpr std::uint32_t kIndexPrimary = 0x02;
inline constexpr std::uint32_t kIndexCaseSensitive = 0x10000;  // clear: text compares ignoring case

inline constexpr std::uint32_t kSegmentDescending = 0x01;
// Set on a segment that compares text with regard to case (a text column in a case-sensitive
// index); clear on case-insensitive text segments and on every non-text segment.
inline constexpr std::uint32_t kSegmentCaseSensitive = 0x10000;

inline constexpr std::uint32_t kTableSystem = 0x80000000u;

// The collation of case-insensitive index segments (registered by installExtensions).
inline constexpr const char* kNoCaseCollation = "KX_NOCASE";

// ---- Definitions --------------------------------------------------------------------------------
struct ColumnDef {
  std::string name;
  int columnNo = 0;  // 1-based position in the table: the record manager's column id
  int colClass = kClassVarText;
  int native = kNativeNone;
  std::uint32_t size = 0;  // maximum data length in bytes (cbMax)
  int precision = 0;
  int scale = 0;
  std::uint32_t flags = 0;  // kColumnRequired
  std::optional<std::string> defaultValue;  // default as text (engine-neutral literal)
  std::optional<std::string> collation;     // "_CASE", "_ACS_FILE_x", ... as given
  std::string declaredType;  // the SQLite declared type ("VARCHAR(30)")
  bool inCatalogue = false;  // false: derived from the declared type

  std::uint32_t colTyp() const { return (std::uint32_t(native) << 8) | std::uint32_t(colClass); }
  bool isBlob() const { return colClass == kClassLongBinary || colClass == kClassLongText; }
  bool isText() const {
    return colClass == kClassFixedText || colClass == kClassVarText || colClass == kClassLongText;
  }
};

struct IndexSegment {
  int columnNo = 0;          // 1-based column position
  std::string columnName;
  std::uint32_t flags = 0;   // kSegmentDescending | kSegmentCaseSensitive
  std::string collation;     // the SQLite collation of the segment ("BINARY", "NOCASE", "KX_NOCASE")
  bool descending() const { return (flags & kSegmentDescending) != 0; }
};

struct IndexDef {
  std::string name;     // the name the record manager shows
  std::string sqlName;  // the SQLite index name; empty for the row-id primary key
  std::uint32_t flags = kIndexCaseSensitive;  // kIndexUnique | kIndexPrimary | kIndexCaseSensitive
  std::vector<IndexSegment> segments;
  bool inCatalogue = false;
  bool caseInsensitive() const { return (flags & kIndexCaseSensitive) == 0; }
};

struct TableDef {
  std::int64_t tableId = 0;  // kx_tables row id; 0 when the table has no catalogue row
  std::string name;          // as stored in sqlite_schema
  std::string owner;         // owner name ("table password"); empty: none
  std::uint32_t accessMode = 0;
  std::uint32_t flags = 0;   // kTableSystem
  bool secured = false;      // option 1 of the record manager, as last set
  bool withoutRowid = false; // such tables cannot be walked by bookmark
  std::vector<ColumnDef> columns;   // physical order
  std::vector<IndexDef> indexes;    // primary first, then in creation order
  bool inCatalogue = false;

  const ColumnDef* findColumn(std::string_view name) const;  // ignoring ASCII case
};

struct TableEntry {
  std::string name;
  std::uint32_t flags = 0;  // kTableSystem for the catalogue's own tables
};

// Stored procedures of the relational engine. Directions and SQL types are ODBC's codes.
inline constexpr int kParamIn = 1;      // SQL_PARAM_INPUT
inline constexpr int kParamInOut = 2;   // SQL_PARAM_INPUT_OUTPUT
inline constexpr int kParamOut = 4;     // SQL_PARAM_OUTPUT
inline constexpr int kParamReturn = 5;  // SQL_RETURN_VALUE
inline constexpr int kProcProcedure = 1;  // SQL_PT_PROCEDURE
inline constexpr int kProcFunction = 2;   // SQL_PT_FUNCTION

struct ProcedureParam {
  int paramNo = 0;  // 1-based in declaration order; a return value is number 0
  std::string name;
  int direction = kParamIn;
  int sqlType = 0;         // SQL_INTEGER, SQL_VARCHAR, ...
  std::string typeName;    // as declared ("VARCHAR(20)")
  std::int64_t columnSize = 0;
  int decimalDigits = 0;
  bool nullable = true;
};

struct ProcedureDef {
  std::int64_t procId = 0;
  std::string name;
  int procType = kProcProcedure;
  std::string definition;  // the whole CREATE PROCEDURE text as given
  std::string body;        // the statements of the body
  std::string remarks;
  std::vector<ProcedureParam> params;  // by paramNo
};

// ---- Connection set-up --------------------------------------------------------------------------
// Registers KX_NOCASE on the connection. Returns an SQLite result code.
int installExtensions(sqlite3* db);
// Creates the catalogue tables when missing. SQLITE_READONLY when the file cannot be written
// and has no catalogue yet (the database is then usable read-only with derived metadata).
int ensureCatalogue(sqlite3* db);
// True when the file holds the catalogue tables.
bool hasCatalogue(sqlite3* db);

// ---- Reading ------------------------------------------------------------------------------------
// All functions return SQLite result codes: SQLITE_OK, SQLITE_NOTFOUND when the object does not
// exist, or the error SQLite reported (SQLITE_CORRUPT, SQLITE_NOTADB, SQLITE_BUSY, ...).
int readTable(sqlite3* db, std::string_view name, TableDef& out);
// User tables (the catalogue's own tables flagged kTableSystem, SQLite's internal ones omitted),
// in name order.
int listTables(sqlite3* db, std::vector<TableEntry>& out);
bool isCatalogueTable(std::string_view name);

// ---- Writing (each function is atomic: it uses a savepoint) -------------------------------------
// Creates the physical table and its catalogue rows (columns in order; at least one).
// SQLITE_CONSTRAINT when a table of that name exists.
int createTable(sqlite3* db, const TableDef& def);
// Appends a column to an existing table (ALTER TABLE ADD COLUMN plus its catalogue row).
int addColumn(sqlite3* db, std::string_view table, const ColumnDef& col);
// Creates an index. IndexDef::sqlName is chosen when empty. SQLITE_CONSTRAINT when an index of
// that name exists on the table; a unique index over duplicate rows fails with SQLITE_CONSTRAINT
// too (nothing is created).
int createIndex(sqlite3* db, std::string_view table, IndexDef def);
int dropIndex(sqlite3* db, std::string_view table, std::string_view indexName);
int dropTable(sqlite3* db, std::string_view table);
int renameTable(sqlite3* db, std::string_view table, std::string_view newName);
// Table owner and options; adds a catalogue row for a table created by SQL.
int setTableOwner(sqlite3* db, std::string_view table, std::string_view owner,
                  std::uint32_t accessMode);
int setTableSecured(sqlite3* db, std::string_view table, bool secured);
// The last auto-increment value handed out for a column, and its update (inside the caller's
// transaction).
int readAutoIncLast(sqlite3* db, std::string_view table, std::string_view column, std::int64_t& out);
int writeAutoIncLast(sqlite3* db, std::string_view table, std::string_view column, std::int64_t v);

// ---- Procedures ---------------------------------------------------------------------------------
int listProcedures(sqlite3* db, std::vector<ProcedureDef>& out);  // without params, name order
int readProcedure(sqlite3* db, std::string_view name, ProcedureDef& out);
// SQLITE_CONSTRAINT when the name is taken.
int createProcedure(sqlite3* db, const ProcedureDef& def);
int dropProcedure(sqlite3* db, std::string_view name);

// ---- Users --------------------------------------------------------------------------------------
// A database with at least one user is secured: its logins are checked. Passwords are kept as
// salted, iterated SHA-256 hashes.
inline constexpr std::uint32_t kUserAdmin = 1;  // may log in on behalf of others
bool hasUsers(sqlite3* db);
int setUser(sqlite3* db, std::string_view name, std::string_view password, std::uint32_t rights);
int dropUser(sqlite3* db, std::string_view name);
enum class LoginResult { ok, unknownUser, badPassword, error };
LoginResult checkLogin(sqlite3* db, std::string_view name, std::string_view password,
                       std::uint32_t* rights = nullptr);

// ---- Types --------------------------------------------------------------------------------------
// Fills class, native, size, precision and scale from an SQLite declared type. Knows the names
// written by declaredTypeFor and the usual SQL names; falls back on SQLite's affinity rules.
void deriveColumn(std::string_view declaredType, ColumnDef& col);
// The declared type the record manager writes for a column ("VARCHAR(30)", "DECIMAL(10,2)").
std::string declaredTypeFor(const ColumnDef& col);
// Normalises class, size, precision and scale of a new column; false for an unknown class.
// Fixed-size classes get their interface size as size (a timestamp 16, a date 6, an exact
// numeric 38, ...).
bool normaliseColumn(ColumnDef& col);

// ---- Text ---------------------------------------------------------------------------------------
// Compares two texts as KX_NOCASE does: UTF-8 code points after simple case folding (Latin,
// Greek, Cyrillic); bytes that are not valid UTF-8 compare by value after every code point.
int compareNoCase(std::string_view a, std::string_view b);
// Quotes an identifier for SQL ("a""b").
std::string quoteIdent(std::string_view name);

}  // namespace kxstore
