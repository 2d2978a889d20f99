// The engine home folder and the simulated servers.
//
// Every store the engine stand-ins share lives in a home folder:
//
//   <home>/dbnames.cfg        named databases (see dbnames.h)
//   <home>/dbnames.lck        lock file that serialises writers of dbnames.cfg
//   <home>/databases/<name>/  default folder of a named database with an empty dictionary path
//   <home>/server.ini         optional: login and engine information of this server
//   <home>/odbc.ini           DSNs of a simulated remote server (the local server keeps its
//                             DSNs in the ODBC installer's files instead)
//
// The local machine's home is $KX_ENGINE_HOME, or ~/.local/share/kestrin when that is unset or
// empty. A "remote" server NAME is simulated by the folder <local home>/servers/NAME, which is a
// home folder of its own with the same layout. A server without such a folder is unknown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kxstore {

// The local machine's engine home. Read from the environment on every call, so a test that
// points KX_ENGINE_HOME elsewhere is honoured at once. Never empty: without KX_ENGINE_HOME and
// HOME the user database's home directory is used, and "/tmp" as a last resort.
std::string engineHome();

// <engineHome()>/servers
std::string serversFolder();

// This computer's name as gethostname reports it (never empty; "localhost" if unavailable).
std::string computerName();

// ASCII-only case-insensitive equality, the rule for server, database and DSN names.
bool equalNoCase(std::string_view a, std::string_view b);

// True for the names that denote this machine: the empty name, "localhost", and this
// computer's name (or its first dot-separated label), all compared ignoring case.
bool isLocalServerName(std::string_view server);

// A usable server name for a folder: not empty, at most 255 bytes, no '/', no control bytes,
// not "." or "..".
bool isValidServerName(std::string_view server);

enum class ServerKind {
  local,    // this machine: home is engineHome()
  remote,   // a simulated server: home is <serversFolder()>/<folder>
  unknown,  // neither local nor an existing server folder (or an unusable name)
};

struct ServerLocation {
  ServerKind kind = ServerKind::unknown;
  std::string name;  // the server name as given
  std::string home;  // the server's home folder; empty when unknown
};

// Where the stores of a server live. A remote server's folder is looked up by exact name first,
// then ignoring ASCII case.
ServerLocation locateServer(std::string_view server);

// Server settings, from <home>/server.ini (all optional):
//
//   [server]
//   platform=2            platform code reported by the administration library
//   [users]
//   ADMIN=secret          a user allowed to log in, with its password
//
// A server with at least one user in [users] requires a login: the user name is compared
// ignoring ASCII case, the password exactly, and empty credentials are refused. A server
// without users accepts any credentials.
inline constexpr std::uint32_t kPlatformWindows = 1;  // drive-letter paths (C:\DATA)
inline constexpr std::uint32_t kPlatformUnix = 2;     // one rooted tree (/data)

struct ServerSettings {
  std::uint32_t platform = kPlatformUnix;
  bool requiresLogin = false;
  bool readable = true;  // false when server.ini exists but cannot be read or parsed
};

ServerSettings readServerSettings(const std::string& home);

// Whether a login with these credentials is accepted by the server whose home is given.
// An unreadable server.ini refuses every login.
bool checkServerLogin(const std::string& home, std::string_view user, std::string_view password);

// Creates a folder and its missing parents (mode 0755 less the umask for new ones). False when a part exists
// and is not a folder, or cannot be created.
bool makeFolders(const std::string& path);

// Lexical normalisation of a path: collapses "//", "/./" and "dir/.." (never above the root),
// drops a trailing '/'. Relative paths are resolved against `base` first.
std::string normalizePath(std::string_view path, std::string_view base);

}  // namespace kxstore
