// DSNs of a simulated remote server: <server home>/odbc.ini, in the layout of an ODBC
// installer file, so the same keys mean the same thing on both sides:
//
//   [SALES]
//   Driver=Kestrin ODBC Engine Interface
//   Description=Sales figures
//   DBQ=SALESDB                 a named database of that server (its dbnames.cfg)
//   OpenMode=0                  0 normal, -1 accelerated, 1 read-only, -4 exclusive
//
// The local machine keeps its DSNs in the ODBC installer's files ($ODBCSYSINI/odbc.ini for
// system DSNs, $ODBCINI for user DSNs) and this store is not used for it.
//
// Writers take an in-process mutex and an exclusive flock on <home>/odbc.ini.lck and replace
// the file atomically; a damaged file is reported and never overwritten.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kxstore {

inline constexpr const char* kEngineDriverName = "Kestrin ODBC Engine Interface";
inline constexpr const char* kClientDriverName = "Kestrin ODBC Client Interface";

// ODBC's limit on a data source name.
inline constexpr std::size_t kMaxDsnLength = 32;

// A DSN name: 1 to kMaxDsnLength bytes, no control bytes, none of  [ ] { } ( ) , ; ? * = ! @
// and no backslash, and no blank at either end. ';' matters most: DSN lists are ';'-separated.
bool isValidDsnName(std::string_view name);

// Open modes. The administration library speaks 0..3 (normal, accelerated, read-only,
// exclusive); the stores keep the installer values 0, -1, 1, -4.
std::optional<int> storedOpenMode(std::int32_t libraryMode);
std::optional<std::int32_t> libraryOpenMode(std::string_view storedValue);

enum class DsnStatus {
  ok = 0,
  notFound,
  duplicate,
  invalidName,
  cannotOpen,    // odbc.ini exists but cannot be read
  damaged,       // odbc.ini is not an ini file; left untouched
  cannotUpdate,  // writing or replacing it failed
  cannotCreate,  // the folder or lock file could not be made
};

struct ServerDsn {
  std::string name;
  // Every key of the section in file order, "Driver" included. Keys compare ignoring case.
  std::vector<std::pair<std::string, std::string>> values;

  // The value of a key, or nullopt when the key is absent (present-but-empty stays "").
  std::optional<std::string> value(std::string_view key) const;
  // Sets (or adds) a key; a nullopt value removes it.
  void set(std::string_view key, std::optional<std::string> value);
  std::string driver() const { return value("Driver").value_or(""); }
};

class ServerDsnStore {
 public:
  explicit ServerDsnStore(std::string home);

  std::string file() const;  // <home>/odbc.ini

  // All DSNs in file order.
  DsnStatus list(std::vector<ServerDsn>& out) const;
  DsnStatus get(std::string_view name, ServerDsn& out) const;   // name ignoring case
  DsnStatus add(const ServerDsn& dsn);                          // duplicate when it exists
  DsnStatus modify(const ServerDsn& dsn);                        // notFound when it does not
  // Edits an existing DSN under the store's lock, so no other writer's change slips in between
  // reading and writing. `edit` answers ok to store its result, or a status to store nothing.
  DsnStatus change(std::string_view name, const std::function<DsnStatus(ServerDsn&)>& edit);
  // Removes a DSN; with `accept`, only when it accepts the DSN (else the status it returns).
  DsnStatus remove(std::string_view name,
                   const std::function<DsnStatus(const ServerDsn&)>& accept = {});

 private:
  std::string home_;
};

}  // namespace kxstore
