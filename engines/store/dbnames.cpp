#include "engines/store/dbnames.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engines/store/fileio.h"
#include "engines/store/home.h"
#include "engines/store/inifile.h"

namespace kxstore {
namespace {

constexpr const char* kCfgName = "dbnames.cfg";
constexpr const char* kLockName = "dbnames.lck";
constexpr const char* kHeader =
    "Kestrin named databases. The engines replace this file whole; edit it only while no\n"
    "engine runs. One [name] section per database: DDF_PATH, PATH and FLAGS (1 bound, 2 integrity).";

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerName(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = lowerAscii(c);
  return r;
}

bool hasControlByte(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
}

DbStatus checkPath(std::string_view p) {
  if (p.size() > kMaxDbPathLength) return DbStatus::pathTooLong;
  if (hasControlByte(p)) return DbStatus::invalidPath;
  return DbStatus::ok;
}

DbStatus checkEntry(const DbEntry& e) {
  if (const auto s = checkDbName(e.name); s != DbStatus::ok) return s;
  if (const auto s = checkPath(e.dictionaryPath); s != DbStatus::ok) return s;
  return checkPath(e.dataPath);
}

bool parseFlags(const std::string& v, std::uint32_t& out) {
  if (v.empty() || v.size() > 10) return false;
  for (const char c : v)
    if (c < '0' || c > '9') return false;
  const unsigned long long n = std::strtoull(v.c_str(), nullptr, 10);
  if (n > 0xFFFFFFFFull) return false;
  out = static_cast<std::uint32_t>(n);
  return true;
}

// Reads and checks the whole store. Anything the store would not have written itself is
// "damaged": a write over it could drop entries that a person or a newer engine put there.
DbStatus load(const std::string& home, std::vector<DbEntry>& out) {
  out.clear();
  std::string text;
  switch (readWholeFile(home + "/" + kCfgName, text)) {
    case ReadResult::missing:
      return DbStatus::ok;
    case ReadResult::cannotOpen:
      return DbStatus::cannotOpen;
    case ReadResult::ok:
      break;
  }
  IniDocument doc;
  if (parseIni(text, true, doc) != IniParse::ok) return DbStatus::damaged;
  for (const auto& sec : doc.sections) {
    DbEntry e;
    e.name = sec.name;
    if (checkDbName(e.name) != DbStatus::ok) return DbStatus::damaged;
    bool seenDict = false, seenData = false, seenFlags = false;
    for (const auto& [k, v] : sec.values) {
      bool* seen = nullptr;
      if (k == "DDF_PATH") {
        seen = &seenDict;
        e.dictionaryPath = v;
      } else if (k == "PATH") {
        seen = &seenData;
        e.dataPath = v;
      } else if (k == "FLAGS") {
        seen = &seenFlags;
        if (!parseFlags(v, e.flags)) return DbStatus::damaged;
        e.flags &= kDbStoredFlags;
      } else {
        return DbStatus::damaged;
      }
      if (*seen) return DbStatus::damaged;
      *seen = true;
    }
    if (checkPath(e.dictionaryPath) != DbStatus::ok || checkPath(e.dataPath) != DbStatus::ok)
      return DbStatus::damaged;
    for (const auto& other : out)
      if (sameDbName(other.name, e.name)) return DbStatus::damaged;
    out.push_back(std::move(e));
  }
  return DbStatus::ok;
}

DbStatus save(const std::string& home, const std::vector<DbEntry>& entries) {
  IniDocument doc;
  for (const auto& e : entries) {
    IniSection sec;
    sec.name = e.name;
    sec.values = {{"DDF_PATH", e.dictionaryPath},
                  {"PATH", e.dataPath},
                  {"FLAGS", std::to_string(e.flags & kDbStoredFlags)}};
    doc.sections.push_back(std::move(sec));
  }
  switch (writeFileAtomically(home + "/" + kCfgName, formatIni(doc, kHeader))) {
    case WriteResult::ok:
      return DbStatus::ok;
    case WriteResult::cannotCreate:
      return DbStatus::cannotCreate;
    case WriteResult::cannotUpdate:
      return DbStatus::cannotUpdate;
  }
  return DbStatus::cannotUpdate;
}

std::vector<DbEntry>::iterator findEntry(std::vector<DbEntry>& v, std::string_view name) {
  return std::find_if(v.begin(), v.end(), [&](const DbEntry& e) { return sameDbName(e.name, name); });
}

bool existsAsNonFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A bound database owns its folders: nobody else may use them, and it may not use others'.
DbStatus checkSharing(const std::string& home, const DbEntry& e, const std::vector<DbEntry>& others,
                      std::string_view skipName) {
  const std::string dict = dictionaryFolder(home, e);
  const std::string data = dataFolder(home, e);
  for (const auto& o : others) {
    if (!skipName.empty() && sameDbName(o.name, skipName)) continue;
    if (((e.flags | o.flags) & kDbBound) == 0) continue;
    if (dictionaryFolder(home, o) == dict) return DbStatus::boundSharesDictionary;
    if (dataFolder(home, o) == data) return DbStatus::boundSharesData;
  }
  return DbStatus::ok;
}

DbStatus checkFolders(const std::string& home, const DbEntry& e) {
  if (existsAsNonFolder(dictionaryFolder(home, e)) || existsAsNonFolder(dataFolder(home, e)))
    return DbStatus::invalidPath;
  return DbStatus::ok;
}

// Makes the dictionary: its folder and an empty database file (a zero-length file is a valid,
// empty SQLite database). `created` tells whether this call made the file.
DbStatus createDictionary(const std::string& home, const DbEntry& e, bool mustBeNew, bool& created) {
  created = false;
  const std::string folder = dictionaryFolder(home, e);
  if (!makeFolders(folder)) return DbStatus::invalidPath;
  const std::string file = folder + "/" + kDatabaseFileName;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return mustBeNew ? DbStatus::dictionaryExists : DbStatus::ok;
    return DbStatus::invalidPath;
  }
  ::close(fd);
  created = true;
  return DbStatus::ok;
}

void removeDatabaseFiles(const std::string& folder, bool removeFolder) {
  const std::string file = folder + "/" + kDatabaseFileName;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) ::unlink((file + suffix).c_str());
  if (removeFolder) ::rmdir(folder.c_str());  // only when empty; failure is harmless
}

// Whether a modification combines changes that must be made one at a time.
DbStatus checkModifyRules(const std::string& home, const DbEntry& before, const DbEntry& after) {
  const bool renamed = !sameDbName(before.name, after.name);
  const bool dictMoved = dictionaryFolder(home, before) != dictionaryFolder(home, after);
  const bool dataMoved = dataFolder(home, before) != dataFolder(home, after);
  const bool bind = (before.flags & kDbBound) == 0 && (after.flags & kDbBound) != 0;
  const bool unbind = (before.flags & kDbBound) != 0 && (after.flags & kDbBound) == 0;
  if (renamed && dictMoved) return DbStatus::renameAndMoveDictionary;
  if (renamed && bind) return DbStatus::renameAndBind;
  if (renamed && unbind) return DbStatus::renameAndUnbind;
  if (renamed && dataMoved) return DbStatus::renameAndMoveData;
  if (dictMoved && bind) return DbStatus::moveDictionaryAndBind;
  if (dictMoved && unbind) return DbStatus::moveDictionaryAndUnbind;
  if (bind && dataMoved) return DbStatus::bindAndMoveData;
  if (unbind && dataMoved) return DbStatus::unbindAndMoveData;
  return DbStatus::ok;
}

// The store's writer: the lock, the home folder and the current entries.
struct Writer {
  explicit Writer(const std::string& home) : home(home) {}
  DbStatus open(std::vector<DbEntry>& entries) {
    if (!makeFolders(home)) return DbStatus::cannotCreate;
    lock.emplace(home + "/" + kLockName);
    if (!lock->held()) return DbStatus::cannotCreate;
    return load(home, entries);
  }
  const std::string& home;
  std::optional<StoreLock> lock;
};

}  // namespace

std::int32_t rcxStatus(DbStatus s) {
  switch (s) {
    case DbStatus::ok: return 0;
    case DbStatus::notFound: return 2301;
    case DbStatus::duplicate: return 2303;
    case DbStatus::invalidName: return 2343;
    case DbStatus::nameTooLong: return 2302;
    case DbStatus::invalidPath: return 2305;
    case DbStatus::pathTooLong: return 2305;
    case DbStatus::dictionaryExists: return 290;
    case DbStatus::boundSharesDictionary: return 2313;
    case DbStatus::boundSharesData: return 2312;
    case DbStatus::renameAndMoveDictionary: return 2331;
    case DbStatus::renameAndBind: return 2332;
    case DbStatus::renameAndUnbind: return 2333;
    case DbStatus::renameAndMoveData: return 2335;
    case DbStatus::moveDictionaryAndBind: return 2336;
    case DbStatus::moveDictionaryAndUnbind: return 2337;
    case DbStatus::bindAndMoveData: return 2341;
    case DbStatus::unbindAndMoveData: return 2342;
    case DbStatus::cannotOpen: return 2307;
    case DbStatus::damaged: return 2307;
    case DbStatus::cannotUpdate: return 2306;
    case DbStatus::cannotCreate: return 2314;
  }
  return 2343;
}

std::uint16_t mgiStatus(DbStatus s) {
  switch (s) {
    case DbStatus::ok: return 0;
    case DbStatus::notFound: return 7013;                 // Named database does not exist
    case DbStatus::duplicate: return 7012;                // ... already exists on the server
    case DbStatus::invalidName: return 7007;              // Invalid selection
    case DbStatus::nameTooLong: return 7006;              // Out of range
    case DbStatus::invalidPath: return 7009;              // Data for database name are not available
    case DbStatus::pathTooLong: return 7006;              // Out of range
    case DbStatus::dictionaryExists: return 7017;         // DDF files already exist at the path
    case DbStatus::boundSharesDictionary: return 7016;    // Dictionary path is used by another
    case DbStatus::boundSharesData: return 7016;
    case DbStatus::renameAndMoveDictionary:
    case DbStatus::renameAndBind:
    case DbStatus::renameAndUnbind:
    case DbStatus::renameAndMoveData:
    case DbStatus::moveDictionaryAndBind:
    case DbStatus::moveDictionaryAndUnbind:
    case DbStatus::bindAndMoveData:
    case DbStatus::unbindAndMoveData: return 7007;        // Invalid selection
    case DbStatus::cannotOpen: return 7015;               // File is not opened
    case DbStatus::damaged: return 7015;
    case DbStatus::cannotUpdate: return 7011;             // Insufficient access rights
    case DbStatus::cannotCreate: return 7011;
  }
  return 7004;
}

const char* describe(DbStatus s) {
  switch (s) {
    case DbStatus::ok: return "ok";
    case DbStatus::notFound: return "no such named database";
    case DbStatus::duplicate: return "the name is taken";
    case DbStatus::invalidName: return "invalid name";
    case DbStatus::nameTooLong: return "name too long";
    case DbStatus::invalidPath: return "invalid path";
    case DbStatus::pathTooLong: return "path too long";
    case DbStatus::dictionaryExists: return "the dictionary exists already";
    case DbStatus::boundSharesDictionary: return "a bound database would share a dictionary";
    case DbStatus::boundSharesData: return "a bound database would share data";
    case DbStatus::renameAndMoveDictionary: return "rename and move the dictionary at once";
    case DbStatus::renameAndBind: return "rename and bind at once";
    case DbStatus::renameAndUnbind: return "rename and unbind at once";
    case DbStatus::renameAndMoveData: return "rename and move the data at once";
    case DbStatus::moveDictionaryAndBind: return "move the dictionary and bind at once";
    case DbStatus::moveDictionaryAndUnbind: return "move the dictionary and unbind at once";
    case DbStatus::bindAndMoveData: return "bind and move the data at once";
    case DbStatus::unbindAndMoveData: return "unbind and move the data at once";
    case DbStatus::cannotOpen: return "dbnames.cfg cannot be read";
    case DbStatus::damaged: return "dbnames.cfg is damaged";
    case DbStatus::cannotUpdate: return "dbnames.cfg cannot be written";
    case DbStatus::cannotCreate: return "dbnames.cfg cannot be created";
  }
  return "?";
}

bool sameDbName(std::string_view a, std::string_view b) { return equalNoCase(a, b); }

DbStatus checkDbName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return DbStatus::invalidName;
  if (name.size() > kMaxDbNameLength) return DbStatus::nameTooLong;
  if (name.front() == ' ' || name.back() == ' ') return DbStatus::invalidName;
  if (hasControlByte(name)) return DbStatus::invalidName;
  if (name.find_first_of("[]=;/\\") != std::string_view::npos) return DbStatus::invalidName;
  return DbStatus::ok;
}

std::string dictionaryFolder(const std::string& home, const DbEntry& e) {
  if (e.dictionaryPath.empty()) return normalizePath("databases/" + lowerName(e.name), home);
  return normalizePath(e.dictionaryPath, home);
}

std::string dataFolder(const std::string& home, const DbEntry& e) {
  if (e.dataPath.empty()) return dictionaryFolder(home, e);
  return normalizePath(e.dataPath, home);
}

DbNames::DbNames(std::string home) : home_(std::move(home)) {}

std::string DbNames::file() const { return home_ + "/" + kCfgName; }

DbStatus DbNames::list(std::vector<DbEntry>& out) const {
  const DbStatus s = load(home_, out);
  if (s != DbStatus::ok) {
    out.clear();
    return s;
  }
  std::sort(out.begin(), out.end(), [](const DbEntry& a, const DbEntry& b) {
    const std::string la = lowerName(a.name), lb = lowerName(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
  return DbStatus::ok;
}

DbStatus DbNames::get(std::string_view name, DbEntry& out) const {
  // A name the store would refuse cannot be in it.
  if (checkDbName(name) != DbStatus::ok) return DbStatus::notFound;
  std::vector<DbEntry> entries;
  if (const auto s = load(home_, entries); s != DbStatus::ok) return s;
  const auto it = findEntry(entries, name);
  if (it == entries.end()) return DbStatus::notFound;
  out = *it;
  return DbStatus::ok;
}

DbStatus DbNames::add(const DbEntry& entry) {
  if (const auto s = checkEntry(entry); s != DbStatus::ok) return s;
  Writer w(home_);
  std::vector<DbEntry> entries;
  if (const auto s = w.open(entries); s != DbStatus::ok) return s;
  if (findEntry(entries, entry.name) != entries.end()) return DbStatus::duplicate;
  if (const auto s = checkSharing(home_, entry, entries, {}); s != DbStatus::ok) return s;
  if (const auto s = checkFolders(home_, entry); s != DbStatus::ok) return s;

  bool created = false;
  if ((entry.flags & kDbCreateDdf) != 0)
    if (const auto s = createDictionary(home_, entry, true, created); s != DbStatus::ok) return s;

  DbEntry stored = entry;
  stored.flags &= kDbStoredFlags;
  entries.push_back(stored);
  const DbStatus s = save(home_, entries);
  // A dictionary made for an entry that was not stored would be found by the next add.
  if (s != DbStatus::ok && created) removeDatabaseFiles(dictionaryFolder(home_, entry), false);
  return s;
}

DbStatus DbNames::modify(std::string_view oldName, const DbEntry& entry) {
  if (checkDbName(oldName) != DbStatus::ok) return DbStatus::notFound;
  if (const auto s = checkEntry(entry); s != DbStatus::ok) return s;
  Writer w(home_);
  std::vector<DbEntry> entries;
  if (const auto s = w.open(entries); s != DbStatus::ok) return s;
  const auto it = findEntry(entries, oldName);
  if (it == entries.end()) return DbStatus::notFound;
  if (!sameDbName(oldName, entry.name) && findEntry(entries, entry.name) != entries.end())
    return DbStatus::duplicate;

  DbEntry stored = entry;
  stored.flags &= kDbStoredFlags;
  if (const auto s = checkModifyRules(home_, *it, stored); s != DbStatus::ok) return s;
  if (const auto s = checkSharing(home_, stored, entries, it->name); s != DbStatus::ok) return s;
  if (const auto s = checkFolders(home_, stored); s != DbStatus::ok) return s;

  bool created = false;
  if ((entry.flags & kDbCreateDdf) != 0)
    if (const auto s = createDictionary(home_, entry, false, created); s != DbStatus::ok) return s;

  *it = stored;
  const DbStatus s = save(home_, entries);
  if (s != DbStatus::ok && created) removeDatabaseFiles(dictionaryFolder(home_, entry), false);
  return s;
}

DbStatus DbNames::drop(std::string_view name, bool removeFiles) {
  if (checkDbName(name) != DbStatus::ok) return DbStatus::notFound;
  Writer w(home_);
  std::vector<DbEntry> entries;
  if (const auto s = w.open(entries); s != DbStatus::ok) return s;
  const auto it = findEntry(entries, name);
  if (it == entries.end()) return DbStatus::notFound;
  const DbEntry gone = *it;
  entries.erase(it);
  if (const auto s = save(home_, entries); s != DbStatus::ok) return s;

  if (removeFiles) {
    const std::string folder = dictionaryFolder(home_, gone);
    const bool shared = std::any_of(entries.begin(), entries.end(),
                                    [&](const DbEntry& e) { return dictionaryFolder(home_, e) == folder; });
    if (!shared) removeDatabaseFiles(folder, gone.dictionaryPath.empty());
  }
  return DbStatus::ok;
}

DbStatus resolveDatabase(const std::string& home, std::string_view name, ResolvedDb& out,
                         bool createFolder) {
  DbEntry e;
  if (const auto s = DbNames(home).get(name, e); s != DbStatus::ok) return s;
  out.entry = e;
  out.folder = dictionaryFolder(home, e);
  out.file = out.folder + "/" + kDatabaseFileName;
  if (createFolder) {
    if (!makeFolders(out.folder)) return DbStatus::invalidPath;
  } else if (existsAsNonFolder(out.folder)) {
    return DbStatus::invalidPath;
  }
  return DbStatus::ok;
}

}  // namespace kxstore
