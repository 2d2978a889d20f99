// The named-database store shared by the record manager (librcx), the administration library
// (libmgicli78) and the ODBC driver: one file, dbnames.cfg, in a home folder (see home.h).
//
// A named database has a name, a dictionary path, a data path and flags. Over SQLite the
// dictionary is the database file itself: every named database is one SQLite file,
// <dictionary folder>/kestrin.db, holding the table definitions and their rows. The data path
// is kept, reported and checked for sharing, but holds no files of its own.
//
// Paths as stored are the texts the caller gave. They are resolved as follows:
//   - empty dictionary path  -> <home>/databases/<name in lower case>
//   - empty data path        -> the dictionary folder
//   - relative path          -> relative to the home folder (never to the working directory,
//                               which differs between the processes that share the store)
//   - absolute path          -> as given
// and then normalised lexically (no "..", no "//", no trailing '/').
//
// Names: 1 to kMaxDbNameLength bytes, no control bytes (a tab separates host and name in the
// record manager's database string), none of  [ ] = ; / \  and no blank at either end. They are
// compared ignoring ASCII case (MyDb and MYDB are one database) and kept as they were given.
//
// Every function is safe to call from several threads and several processes at once: writers
// take an in-process mutex and an exclusive flock on <home>/dbnames.lck around read-modify-write,
// and replace the file atomically (temporary file, fsync, rename, fsync of the folder). Readers
// need no lock because the file is only ever replaced whole. A missing file is an empty store.
// A damaged or unreadable file is reported (DbStatus::damaged / cannotOpen) and never
// overwritten, so no entry is lost by a write over a file that could not be read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kxstore {

// Flag bits, as the administration library passes them. The record manager's ten-byte flag
// array maps element 0 -> kDbBound, 1 -> kDbIntegrity, 2 -> kDbCreateDdf.
inline constexpr std::uint32_t kDbBound = 1;
inline constexpr std::uint32_t kDbIntegrity = 2;
// An action, not a property: "create the dictionary when saving". Never stored.
inline constexpr std::uint32_t kDbCreateDdf = 4;
// The bits kept in the store; others are ignored.
inline constexpr std::uint32_t kDbStoredFlags = kDbBound | kDbIntegrity;

inline constexpr std::size_t kMaxDbNameLength = 64;  // bytes, without the terminating zero
inline constexpr std::size_t kMaxDbPathLength = 511;  // bytes, without the terminating zero

// The file name of a named database's SQLite file inside its dictionary folder.
inline constexpr const char* kDatabaseFileName = "kestrin.db";

struct DbEntry {
  std::string name;
  std::string dictionaryPath;  // as given; may be empty or relative
  std::string dataPath;        // as given; may be empty or relative
  std::uint32_t flags = kDbIntegrity;
};

enum class DbStatus {
  ok = 0,
  notFound,           // no named database of that name
  duplicate,          // the name is taken (add, or modify to a new name)
  invalidName,        // empty, or a forbidden byte
  nameTooLong,        // longer than kMaxDbNameLength
  invalidPath,        // a control byte, or the path exists and is not a folder, or cannot be made
  pathTooLong,        // longer than kMaxDbPathLength
  dictionaryExists,   // create-dictionary asked for a new database, but its file exists already
  boundSharesDictionary,  // a bound database would share its dictionary folder with another
  boundSharesData,        // a bound database would share its data folder with another
  // Modify rules: these changes may not be made in one call.
  renameAndMoveDictionary,
  renameAndBind,
  renameAndUnbind,
  renameAndMoveData,
  moveDictionaryAndBind,
  moveDictionaryAndUnbind,
  bindAndMoveData,
  unbindAndMoveData,
  // The file itself.
  cannotOpen,    // dbnames.cfg exists but cannot be read (permissions, I/O error)
  damaged,       // dbnames.cfg is not in the store's format; it is left untouched
  cannotUpdate,  // writing or replacing dbnames.cfg failed (disk full, permissions)
  cannotCreate,  // the home folder or the lock file could not be created
};

// The record manager's status for a store result (SQLAddDatabaseName2 family): 0 for ok,
// otherwise one of 290, 2301, 2302, 2303, 2305, 2306, 2307, 2312, 2313, 2314, 2331-2342, 2343.
std::int32_t rcxStatus(DbStatus s);
// The administration library's status (7001-7021 family): 0 for ok, 7013 for notFound, ...
std::uint16_t mgiStatus(DbStatus s);
// A short English description, for logs and test failure messages.
const char* describe(DbStatus s);

// Name rules (see the header comment).
bool sameDbName(std::string_view a, std::string_view b);
DbStatus checkDbName(std::string_view name);

class DbNames {
 public:
  // The store in the given home folder (normally engineHome() or a server's home).
  explicit DbNames(std::string home);

  const std::string& home() const { return home_; }
  std::string file() const;  // <home>/dbnames.cfg

  // All entries, sorted by name ignoring case.
  DbStatus list(std::vector<DbEntry>& out) const;
  DbStatus get(std::string_view name, DbEntry& out) const;

  // Adds a new named database. With kDbCreateDdf in flags the dictionary folder is created and
  // an empty database file is made there (dictionaryExists when one is there already).
  DbStatus add(const DbEntry& entry);

  // Replaces the entry `oldName` by `entry` (whose name may differ: a rename). notFound when
  // there is no `oldName`. With kDbCreateDdf the dictionary folder and an empty database file
  // are created when missing; an existing file is kept.
  DbStatus modify(std::string_view oldName, const DbEntry& entry);

  // Removes the entry. With removeFiles the database file (and its journal files) is deleted
  // too, unless another named database uses the same dictionary folder.
  DbStatus drop(std::string_view name, bool removeFiles = false);

 private:
  std::string home_;
};

// The folders a stored entry resolves to, in the home folder that holds it.
std::string dictionaryFolder(const std::string& home, const DbEntry& entry);
std::string dataFolder(const std::string& home, const DbEntry& entry);

struct ResolvedDb {
  DbEntry entry;        // the stored entry
  std::string folder;   // the dictionary folder, absolute and normalised
  std::string file;     // folder + "/" + kDatabaseFileName: the SQLite file both engines open
};

// THE way from a named database to its SQLite file, for every engine. Looks `name` up in the
// store of `home`; with createFolder the dictionary folder (and its parents) is created when
// missing (invalidPath when that fails). The file itself is not created: opening it with SQLite
// creates it, and an empty or zero-length file is a new, empty database.
DbStatus resolveDatabase(const std::string& home, std::string_view name, ResolvedDb& out,
                         bool createFolder);

}  // namespace kxstore
