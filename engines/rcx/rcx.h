/* librcx: the record manager. A key-indexed record manager over SQLite files.
 *
 * Conventions
 *   - Every function returns a 32-bit status: 0 success, negative an error, a few positive
 *     conditions (1004 NULL column, 1006 truncated read, 5203 truncated long-value write).
 *     VoskIntPower10 returns non-zero on success; the four SQL...DatabaseName functions return
 *     the named-database statuses (2300-2343, 288, 290, 348). VoskGetExtErrStr gives a longer
 *     text for the last failure of a session.
 *   - Handles are unsigned 32-bit and never 0. Session, database and table handles come from one
 *     counter and are never reused within a process, so a handle of the wrong kind is refused
 *     (-1104 session, -1010 database, -1310 table).
 *   - Texts are NUL-terminated 8-bit strings in the system code page (UTF-8).
 *   - Structures are packed and little-endian. Pointer members have the native size, so on a
 *     64-bit build RCX_FilterStruct is 21 bytes, RCX_TABLELIST 36 and RCX_COLUMNDEF 36; the
 *     Struct member of a structure must equal its sizeof here (-1003 otherwise).
 *   - Every call is thread-safe. Calls on one session are serialised; different sessions run
 *     in parallel. Several processes may open the same database.
 *
 * Storage: one SQLite file per named database (see docs/engine-rcx.md).
 */
#ifndef KESTRIN_RCX_H
#define KESTRIN_RCX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RCX_API __attribute__((visibility("default")))

/* ---- Move codes (VoskMove) ---------------------------------------------------------------- */
#define RCX_MoveFirst 0x80000000u
#define RCX_MovePrev 0xF0000000u
#define RCX_MoveLast 0xC0000000u
#define RCX_MoveNext 1u

/* ---- Transaction codes (VoskSetTransact) ---------------------------------------------------
 * A session has one transaction over all its databases, made of nested save points:
 *   RCX_LOGGING_ON (3) name  starts a transaction, or a nested save point when one is open;
 *                            -3054 when a save point of that name (ignoring case) is open.
 *   RCX_SAVEPOINT  (6) name  a nested save point; -3050 when no transaction is open.
 *   RCX_COMMIT     (4) name  keeps the work since that save point; committing the outermost
 *                            one commits the transaction. Later save points end with it.
 *   RCX_ROLLBACK   (5) name  undoes the work since that save point and ends it (and later ones).
 *   RCX_AUTO_COMMIT (1)      commits everything open and returns to one transaction per write.
 *   RCX_LOGGING_OFF (2)      rolls back everything open.
 * -3051 for a save-point name that is not open. Record locks taken inside a transaction are
 * kept until it ends. */
#define RCX_AUTO_COMMIT 1
#define RCX_LOGGING_OFF 2
#define RCX_LOGGING_ON 3
#define RCX_COMMIT 4
#define RCX_ROLLBACK 5
#define RCX_SAVEPOINT 6

/* ---- Session options (VoskSetSessionOption) --------------------------------------------------
 *   2  lock wait: seconds (0-3600) to wait for a lock held by another session before failing
 *      with -5202; default 1.
 *   6  cursor stability: 0 (default) cursors see work committed by other sessions whenever
 *      they reposition (first, last, bookmark, key search, refresh); 1 a cursor keeps the
 *      snapshot it started walking in until it repositions outside a walk.
 * Other options: -1114. Values out of range: -1003. */
#define RCX_OPT_LOCK_WAIT 2
#define RCX_OPT_CURSOR_STABILITY 6

/* ---- Database open flags (VoskOpenDatabase) --------------------------------------------------- */
#define RCX_OPEN_EXCLUSIVE 2 /* no other session may open the database (-1207 either way) */
#define RCX_OPEN_OEM 4       /* stored text is CP850: converted to and from UTF-8 */

/* ---- Table open modes (VoskOpenTable) ---------------------------------------------------------
 * Bits: 3 = exclusive (no other cursor of any session or process may have the table open:
 * -1304 when others have it open, -1302 for opening a table another cursor holds exclusively),
 * 4 = read-only (writes refused with -1809). Modes 0, 3, 4, 7. */
#define RCX_TABLE_EXCLUSIVE 3
#define RCX_TABLE_READONLY 4

/* ---- VoskInitUpdate modes -----------------------------------------------------------------------
 *   0  prepare an insert: the prepared record holds each column's default (auto-increment 0).
 *   2  prepare an update of the current record: takes its record lock (-5202 when another
 *      session holds it) and copies the record.
 *   4  end the insert preparation phase. It never discards a prepared record (only
 *      VoskCancelUpdate does), so it is harmless when nothing is prepared and long values can
 *      still be written to the prepared insert afterwards.
 *   8, 16, 32  accepted, no effect: reads always come from the prepared record while one is
 *      prepared.
 * While a record is prepared VoskRetrieveColumn reads the prepared values. Moving the cursor
 * (VoskMove, VoskGotoBookmark to another record, VoskGetByPercentage) cancels a prepared record. */
#define RCX_INIT_INSERT 0
#define RCX_INIT_UPDATE 2
#define RCX_INIT_END_INSERT 4

/* ---- Key kinds (VoskMakeFilterKey) -----------------------------------------------------------
 *   0, 1  filter keys: checked and kept (VoskGetMardexInfo shows them). Which records pass is
 *         decided by the installed filter chains alone, so a key never hides a record that the
 *         chain admits.
 *   2, 3  range start and end keys. VoskSetRange uses them when called with a count of 0.
 *   4     search key for VoskMove(RCX_MoveFirst). Parts are matched to the current index's
 *         segments by column. Flag 1 starts a new key; flag $100 makes the part "nearest": the
 *         key then finds the first record at or after it in index order, otherwise the first
 *         record equal to every part. A part for a column outside the current index is ignored.
 * Values are in the column's interface format; a nil value is a NULL part. */
#define RCX_KEY_FILTER_LOW 0
#define RCX_KEY_FILTER_HIGH 1
#define RCX_KEY_RANGE_START 2
#define RCX_KEY_RANGE_END 3
#define RCX_KEY_SEARCH 4
#define RCX_KEYFLAG_FIRST 0x001
#define RCX_KEYFLAG_NEAREST 0x100

/* ---- Index and column flags ---------------------------------------------------------------------- */
#define RCX_IDX_UNIQUE 0x01
#define RCX_IDX_PRIMARY 0x02
#define RCX_IDX_CASE_SENSITIVE 0x10000
#define RCX_SEG_DESCENDING 0x01
#define RCX_SEG_CASE_SENSITIVE 0x10000 /* a text segment compared with regard to case */
#define RCX_COL_REQUIRED 0x04
#define RCX_COL_READONLY 0x10
#define RCX_COL_UPDATABLE 0x20
#define RCX_TABLE_SYSTEM 0x80000000u

/* ---- Filter terms ------------------------------------------------------------------------------ */
#define fisConst 0
#define fisColumn 1
#define fisPartialConst 2
#define fisNull 3
#define LE_LAST_TERM 0
#define LE_AND 1
#define LE_OR 2
#define FCC_EQUAL 1
#define FCC_GREATER 2
#define FCC_LESS 3
#define FCC_NOT_EQUAL 4
#define FCC_GREATER_EQUAL 5
#define FCC_LESS_EQUAL 6
#define FCC_NO_CASE 0x80

#define RCX_BOOKMARK_SIZE 4

#pragma pack(push, 1)

/* List records (VoskGetDatabaseTableInfo, ...): the caller sets Struct; the library returns the
 * handle of a list table and the column ids of its columns, walked with VoskMove and
 * VoskRetrieveColumn and closed with VoskCloseTable. Texts read into buffers of at least their
 * length + 1 are NUL-terminated; numbers are 4 bytes (Scale and Precision 2). */
typedef struct RCX_TABLELIST {
  uint32_t Struct; /* sizeof(RCX_TABLELIST) */
  uint32_t TableId;
  uint32_t ColumnIdObjectName;
  uint32_t ColumnIdObjTyp; /* tables: 1; procedures: 1 procedure, 2 function */
  uint32_t ColumnIdcRecord; /* not maintained: 0 */
  uint32_t ColumnIdcPage;   /* not maintained: 0 */
  uint32_t ColumnIdFlags;   /* RCX_TABLE_SYSTEM for the engine's catalogue tables */
  const char* pTabNameFilterIn; /* nil, or a pattern with * and ? matched ignoring case */
} RCX_TABLELIST;

typedef struct RCX_COLUMNLIST {
  uint32_t Struct; /* 52 */
  uint32_t TableId;
  uint32_t cRecord; /* number of rows */
  uint32_t ColumnIdColumnName;
  uint32_t ColumnIdColumnId; /* 1-based column position, the id every column call takes */
  uint32_t ColumnIdColTyp;   /* native type << 8 | column class */
  uint32_t ColumnIdcbMax;    /* interface length: 16 timestamp, 6 date/time, 38 exact numeric */
  uint32_t ColumnIdgrBit;    /* RCX_COL_*: UPDATABLE unless the handle cannot write */
  uint32_t ColumnIdScale;
  uint32_t ColumnIdPrecision;
  uint32_t ColumnIdBaseTableId;   /* the table's catalogue id (0 for a table made by SQL) */
  uint32_t ColumnIdProcColType;   /* 0 */
  uint32_t ColumnIdColSequenceID; /* the column position */
} RCX_COLUMNLIST;

typedef struct RCX_INDEXLIST {
  uint32_t Struct; /* 36 */
  uint32_t TableId;
  uint32_t cRecord;
  uint32_t ColumnIdIndexName;
  uint32_t ColumnIdgrBitIndex;  /* RCX_IDX_* */
  uint32_t ColumnIdiColumn;     /* the segment's position in its index, from 0 */
  uint32_t ColumnIdColumnId;
  uint32_t ColumnIdgrBitColumn; /* RCX_SEG_* */
  uint32_t ColumnIdColumnName;
} RCX_INDEXLIST;

typedef struct RCX_DATE {
  int16_t year;
  uint16_t month;
  uint16_t day;
} RCX_DATE;

typedef struct RCX_TIME {
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
} RCX_TIME;

typedef struct RCX_TIMESTAMP {
  int16_t year;
  uint16_t month, day, hour, minute, second;
  uint32_t fraction; /* ten-thousandths of a millisecond */
} RCX_TIMESTAMP;

typedef struct RCX_EXACTNUMERIC {
  uint16_t Overflow;
  int16_t Scale; /* value = mantissa * 10^Scale */
  uint16_t Size; /* mantissa words used */
  uint16_t Word[16]; /* two's complement, least significant first */
} RCX_EXACTNUMERIC;

typedef struct RCX_FilterStruct {
  uint8_t IsColumn;
  uint32_t ColumnId;
  uint8_t ExprWithNextTerm; /* $80 (a descending key segment) is ignored */
  uint8_t CompareCode;
  uint32_t CompColumnId;
  const void* pConst;
  uint16_t ConstLen;
} RCX_FilterStruct;

typedef struct RCX_COLUMNDEF {
  uint32_t Struct; /* sizeof(RCX_COLUMNDEF) */
  uint32_t coltyp; /* native type << 8 | class */
  uint32_t Max;
  int16_t Precision;
  int16_t Scale;
  uint32_t grbit; /* RCX_COL_REQUIRED */
  const char* pDefault;
  const char* pCollate;
} RCX_COLUMNDEF;

/* Offset of a long-value piece: VoskRetrieveColumn's last argument, and VoskSetColumn's when
 * its grbit is 1. */
typedef struct RCX_RETINFO {
  uint32_t Struct; /* 8 */
  uint32_t LongValue;
} RCX_RETINFO;

/* VoskGetMardexInfo. The pointers stay valid until the next call on the cursor that changes
 * its search key or filters, or until it is closed. */
typedef struct TMardexInfo {
  void* pKeyBuf;       /* the search key parts, each: column id (4), length (2), bytes */
  uint8_t KeyLen;      /* bytes in pKeyBuf, at most 255 */
  int8_t KeyNum;       /* the current index's position in the index list; -1 none */
  void* CurFilter;     /* the installed filter terms (RCX_FilterStruct, copies) */
  int32_t CurFilterLen; /* bytes at CurFilter */
} TMardexInfo;

typedef uint8_t TSqlDbFlags[10]; /* [0] BOUND, [1] INTEGRITY, [2] CREATE_DDF */

#pragma pack(pop)

/* ---- Session ---------------------------------------------------------------------------------
 * VoskBeginSession accepts any credentials (logins are checked per database); they become the
 * session's defaults for VoskOpenDatabase calls with an empty user. `reserved` must be nil or "". */
RCX_API int32_t VoskBeginSession(uint32_t* hSes, const char* user, const char* password, const char* reserved);
RCX_API int32_t VoskEndSession(uint32_t hSes);
RCX_API int32_t VoskSetSessionOption(uint32_t hSes, int32_t option, int32_t value);
RCX_API int32_t VoskSetTransact(uint32_t hSes, int32_t code, const char* savepointName);

/* ---- Database ----------------------------------------------------------------------------------
 * dbString: "host<TAB>name" (or just "name"). The host is this computer (its name, "localhost"
 * or empty) or a simulated server with a folder under $KX_ENGINE_HOME/servers. The name is a
 * named database. A secured database (one with users) checks the login: -4828 no user given,
 * -1903 unknown user, -1905 wrong password. "user___admin" / "password___adminpassword" logs in
 * as the user, or failing that as the admin when that user has admin rights. */
RCX_API int32_t VoskOpenDatabase(uint32_t hSes, const char* dbString, uint32_t* hDb, int32_t flags,
                                 const char* user, const char* password);
RCX_API int32_t VoskCloseDatabase(uint32_t hSes, uint32_t hDb);
RCX_API int32_t VoskIsDatabaseSecured(uint32_t hDb, int32_t* result);
RCX_API int32_t VoskGetDatabaseTableInfo(uint32_t hSes, uint32_t hDb, RCX_TABLELIST* list);
RCX_API int32_t VoskGetDatabaseProcedureInfo(uint32_t hSes, uint32_t hDb, RCX_TABLELIST* list);

/* ---- Named databases (in $KX_ENGINE_HOME/dbnames.cfg, shared with the administration library)
 * Lengths are buffer sizes: a path is read up to its NUL and never beyond the given length.
 * SQLGetDatabaseInfo2 sets each length to the path's length + 1 (2302 when a buffer is too
 * small). user/password are the server administrator's; a server without users accepts any.
 * Dropping a named database that a session of this process has open gives 2309. */
RCX_API int32_t SQLAddDatabaseName2(const char* name, const uint8_t* flags, int32_t dictLen, const char* dictPath,
                                    int32_t dataLen, const char* dataPath, int32_t reserved, const char* user,
                                    const char* password);
RCX_API int32_t SQLDropDatabaseName2(const char* name, int32_t reserved, const char* user, const char* password);
RCX_API int32_t SQLGetDatabaseInfo2(const char* name, uint8_t* flags, int32_t* dictLen, char* dictBuf, int32_t* dataLen,
                                    char* dataBuf, const char* user, const char* password);
RCX_API int32_t SQLModifyDatabaseInfo2(const char* oldName, const char* newName, int32_t dictLen, const char* dictPath,
                                       int32_t dataLen, const char* dataPath, const uint8_t* flags, const char* user,
                                       const char* password);

/* ---- Catalogue and definition -------------------------------------------------------------------
 * VoskCreateTable returns a handle on a table being defined: columns are added with
 * VoskCreateColumn and the table is made when the handle is used for anything else or closed
 * (-1507 when it has no column). VoskCreateIndex's keySpec is {'+'|'-', name, 0}... 0, parsed
 * up to its final zero and never beyond specLen. Index flags: RCX_IDX_*. */
RCX_API int32_t VoskGetTableColumnInfo(uint32_t hSes, uint32_t hTab, RCX_COLUMNLIST* list);
RCX_API int32_t VoskGetTableIndexInfo(uint32_t hSes, uint32_t hTab, const char* indexName, RCX_INDEXLIST* list);
RCX_API int32_t VoskCreateTable(uint32_t hSes, uint32_t hDb, const char* tableName, uint32_t* hTab);
RCX_API int32_t VoskCreateColumn(uint32_t hSes, uint32_t hTab, const char* columnName, const RCX_COLUMNDEF* def,
                                 uint32_t* columnId);
RCX_API int32_t VoskCreateIndex(uint32_t hSes, uint32_t hTab, const char* indexName, uint32_t flags,
                                const char* keySpec, int32_t specLen, int32_t reserved);
RCX_API int32_t VoskDeleteTable(uint32_t hSes, uint32_t hDb, const char* tableName);
RCX_API int32_t VoskDeleteIndex(uint32_t hSes, uint32_t hTab, const char* indexName);
RCX_API int32_t VoskRenameTable(uint32_t hTab, const char* newName);
/* Options: 1 = the database is secured (value: one byte, kept for the cursor); 0 = the owner
 * name (value: text): a matching name lifts the owner's restrictions for this cursor, a
 * different non-empty name gives -1907, an empty one changes nothing. */
RCX_API int32_t VoskSetTableOption(uint32_t hTab, int32_t option, const void* value);
/* Sets (empty: removes) the table's owner name, at most 8 bytes. Access modes: 0 = without the
 * owner name a cursor may neither read nor write, 1 = it may read; 2 and 3 act like 0 and 1.
 * Changing an owned table's owner needs a cursor that gave the current owner name. */
RCX_API int32_t VoskSetOwnerOnTable(uint32_t hTab, const char* owner, int32_t accessMode);

/* ---- Cursors --------------------------------------------------------------------------------------
 * A cursor starts before its first record. Moves follow the current index (none: bookmark
 * order), stay inside a range, skip records the filter chains refuse, and return -1603 when
 * there is no record in that direction; the cursor then stays on the record it was on. After
 * VoskDeleteRecord the cursor is between the records around the deleted one (reads give -1603,
 * next/prior moves go on from there). After VoskSetTableIndex it stays on the same record. An
 * empty index name selects bookmark order. Bookmarks are 4-byte record ids (SQLite row ids,
 * 1 to 2^31-1) and survive index changes; -4956 for a bookmark of no record (0, negative, or
 * deleted) -- while an insert is prepared this leaves the prepared record alone. */
RCX_API int32_t VoskOpenTable(uint32_t hSes, uint32_t hDb, const char* tableName, int32_t reserved, int32_t openMode,
                              uint32_t* hTab);
RCX_API int32_t VoskCloseTable(uint32_t hSes, uint32_t hTab);
RCX_API int32_t VoskSetTableIndex(uint32_t hSes, uint32_t hTab, const char* indexName);
RCX_API int32_t VoskMove(uint32_t hSes, uint32_t hTab, uint32_t code);
RCX_API int32_t VoskGetBookmark(uint32_t hSes, uint32_t hTab, void* buf, int32_t bufSize, int32_t* len);
RCX_API int32_t VoskGotoBookmark(uint32_t hSes, uint32_t hTab, const void* bookmark, int32_t size);
/* Position of the current record among the records the cursor sees, in hundredths of a
 * percent: round((n + 1) * 10000 / count) for the n-th record from 0. VoskGetByPercentage goes
 * to record round(count * p / 10000) counted from 1 (at least the first). Both count index
 * entries, so they take time in proportion to the position. */
RCX_API int32_t VoskFindPercentage(uint32_t hTab, int32_t* value);
RCX_API int32_t VoskGetByPercentage(uint32_t hTab, int32_t hundredths);
/* The number of records the cursor sees (range and filters applied). */
RCX_API int32_t VoskGetRecordCount(uint32_t hTab, int32_t* count);
RCX_API int32_t VoskRefreshCurRecord(uint32_t hTab);

/* ---- Column data ---------------------------------------------------------------------------------
 * VoskRetrieveColumn: 1004 for NULL. Long values (classes 11, 12): size 0 gives the length in
 * *actualLen; with info, up to size bytes from info->LongValue (0 bytes at or after the end,
 * status 0); without info, from offset 0, 1006 when the value did not fit. Other columns:
 * *actualLen is the number of bytes delivered; texts are NUL-terminated when the buffer has room
 * (1006 and a cut text otherwise). Fixed text comes padded with blanks to cbMax.
 * Variable binary (class 106) travels as a 2-byte length followed by the bytes.
 * VoskSetColumn writes into the prepared record (-1609 when none): nullMark non-zero writes
 * NULL; long values are replaced whole (grbit 0) or written at info->LongValue (grbit 1; nil
 * info appends). A long-text value written whole ends at its first zero byte. 5203 when a long
 * value would exceed the column's maximum (the part that fits is written). */
RCX_API int32_t VoskRetrieveColumn(uint32_t hSes, uint32_t hTab, uint32_t columnId, void* buf, uint32_t size,
                                   uint32_t* actualLen, const RCX_RETINFO* info);
RCX_API int32_t VoskSetColumn(uint32_t hSes, uint32_t hTab, uint32_t columnId, const void* data, uint32_t length,
                              uint32_t grbit, uint32_t nullMark, const RCX_RETINFO* info);
RCX_API int32_t VoskGetBlobSize(uint32_t hTab, uint32_t columnId, uint32_t* size);
RCX_API int32_t VoskTruncateBlob(uint32_t hTab, uint32_t columnId, uint32_t position);

/* ---- Record updates --------------------------------------------------------------------------
 * VoskUpdateRecord writes the prepared record atomically: -1605 duplicate key, -1504 a required
 * column is NULL, -5202 the table is locked by another session's transaction, -4919 the
 * record was changed by someone else since VoskInitUpdate(2), -4956 it was deleted. After an
 * insert the cursor is on the new record. Auto-increment columns written as NULL or 0 get the
 * next value. */
RCX_API int32_t VoskInitUpdate(uint32_t hSes, uint32_t hTab, int32_t mode);
RCX_API int32_t VoskUpdateRecord(uint32_t hSes, uint32_t hTab);
RCX_API int32_t VoskCancelUpdate(uint32_t hSes, uint32_t hTab);
RCX_API int32_t VoskDeleteRecord(uint32_t hSes, uint32_t hTab);

/* ---- Ranges and filters -----------------------------------------------------------------------
 * VoskSetRange: start and end terms are on the leading segments of the current index, in order;
 * bounds are inclusive and compare only the segments given; a NULL constant ends its bound there.
 * A count of 0 takes the bound from the key parts made with kind 2 (start) or 3 (end); none made:
 * no bound on that side. Counts are capped at the number of segments of the current index.
 * VoskSetFilterOnColumns copies the terms (the caller's memory is not kept) and returns a
 * non-zero tag. A chain is evaluated from left to right without precedence, exactly `count`
 * terms (the link of the last term is ignored). Several chains may be installed at once; a
 * record must pass all of them. A count of 0 installs a chain that admits every record.
 * Comparisons with a NULL column are false (fisNull tests for NULL). fisPartialConst compares the
 * first ConstLen bytes; with FCC_EQUAL and FCC_GREATER_EQUAL it means "starts with". The last
 * argument of both functions (0 or 1) has no effect. */
RCX_API int32_t VoskSetRange(uint32_t hTab, const RCX_FilterStruct* startTerms, int32_t startCount,
                             const RCX_FilterStruct* endTerms, int32_t endCount);
RCX_API int32_t VoskCancelRange(uint32_t hTab);
RCX_API int32_t VoskMakeFilterKey(uint32_t hTab, uint32_t columnId, int32_t kind, const void* value, uint32_t length,
                                  uint32_t flags);
RCX_API int32_t VoskCancelFilterKey(uint32_t hTab, int32_t kind);
RCX_API int32_t VoskSetFilterOnColumns(uint32_t hTab, const RCX_FilterStruct* terms, int32_t count, int32_t* tag,
                                       int32_t mode);
RCX_API int32_t VoskRemoveFilterFromColumns(uint32_t hTab, int32_t tag, int32_t mode);

/* ---- Other -------------------------------------------------------------------------------------
 * VoskGetExtErrStr always writes a NUL-terminated text when size > 0: the detail of the
 * session's last failure when `code` is its status, else a general description of the code.
 * VoskIntPower10 multiplies the 64-bit two's-complement integer held in the four words by
 * 10^power in place; a negative power divides, rounding half away from zero. 0 on overflow
 * (the words are then unchanged).
 * VoskMdxCall operations (keyNum -1: the current index, else the index at that list position):
 *   RCX_MDX_VERSION      data <- version text
 *   RCX_MDX_STAT         data <- u32 record count, u32 column count, u32 index count
 *   RCX_MDX_GET_POSITION data <- the current bookmark (4 bytes)
 *   RCX_MDX_GET_DIRECT   go to the bookmark in data
 *   RCX_MDX_GET_FIRST/NEXT/PREV/LAST  move along the index; data <- the bookmark
 * *dataLen is the buffer size in and the bytes written out; -1038 when it is too small.
 * Any other operation: -1001. */
#define RCX_MDX_VERSION 0
#define RCX_MDX_STAT 1
#define RCX_MDX_GET_POSITION 2
#define RCX_MDX_GET_DIRECT 3
#define RCX_MDX_GET_FIRST 4
#define RCX_MDX_GET_NEXT 5
#define RCX_MDX_GET_PREV 6
#define RCX_MDX_GET_LAST 7
RCX_API int32_t VoskGetExtErrStr(uint32_t hSes, int32_t code, char* buf, uint32_t size, uint32_t* len);
RCX_API int32_t VoskIntPower10(uint16_t* w0, uint16_t* w1, uint16_t* w2, uint16_t* w3, int32_t power);
RCX_API int32_t VoskMdxCall(uint32_t hTab, int16_t op, void* dataBuf, uint16_t* dataLen, void* keyBuf, uint8_t keyLen,
                            int8_t keyNum);
RCX_API int32_t VoskGetMardexInfo(uint32_t hTab, TMardexInfo* info);

/* ---- Database users (not called by the record-level package; for administration and tests) ----
 * A database with at least one user is secured. On a database without users anyone may add the
 * first user, who gets admin rights; afterwards the session must have opened the database as a
 * user with admin rights (-1907). */
#define RCX_USER_ADMIN 1
RCX_API int32_t VoskSetDatabaseUser(uint32_t hSes, uint32_t hDb, const char* user, const char* password,
                                    uint32_t rights);
RCX_API int32_t VoskDropDatabaseUser(uint32_t hSes, uint32_t hDb, const char* user);

#ifdef __cplusplus
}
#endif

#endif /* KESTRIN_RCX_H */
