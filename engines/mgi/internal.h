// Inner parts of the administration library, shared by its source files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kxmgi {

// What a handle stands for.
struct Connection {
  bool local = true;       // the local machine: DSNs in the ODBC installer's files
  std::string serverName;  // as connected to; this computer's name for handle -1
  std::string home;        // the server's home folder
};

// Resolves a handle (-1 included). nullopt: unknown handle. A remote server whose folder is
// gone is reported through `vanished`.
std::optional<Connection> connection(std::int32_t handle, bool* vanished);
std::int32_t openConnection(Connection c);
bool closeConnection(std::int32_t handle);
int closeAll();  // returns the number of connections that were open

// Listing snapshots, per handle and calling thread.
void putSnapshot(std::int32_t handle, std::vector<std::string> names);
// Copies name `number` (1-based). Returns 0, 7008 (no snapshot) or 7006 (bad number).
std::uint16_t snapshotName(std::int32_t handle, std::uint32_t number, std::string& out);
void freeSnapshot(std::int32_t handle);

// The status KxStart returns; differs between the test builds.
std::uint16_t startStatus();

// A data path received from a client, turned into this server's own path: a UNC form naming
// this server loses its prefix and drive, backslashes become slashes. nullopt when it names
// another host.
std::optional<std::string> localDataPath(std::string_view path, const Connection& c);

// The local machine's DSNs, through the ODBC installer library.
struct DsnInfo {
  std::string name;
  std::string description;
  std::string database;
  std::optional<std::string> openMode;  // stored value; nullopt when absent
};
std::uint16_t localListDsns(bool kestrinOnly, std::vector<std::string>& names);
std::uint16_t localGetDsn(std::string_view name, DsnInfo& out);
std::uint16_t localCreateDsn(const DsnInfo& dsn);
std::uint16_t localModifyDsn(const DsnInfo& dsn);
std::uint16_t localDeleteDsn(std::string_view name);

}  // namespace kxmgi
