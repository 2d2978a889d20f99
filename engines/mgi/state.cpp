#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include <sys/stat.h>

#include "engines/mgi/internal.h"
#include "engines/mgi/mgicli.h"
#include "engines/store/home.h"

namespace kxmgi {
namespace {

struct State {
  std::mutex mutex;
  std::map<std::int32_t, Connection> connections;
  std::int32_t lastHandle = 0;
  std::map<std::pair<std::int32_t, std::thread::id>, std::vector<std::string>> snapshots;
};

// Destroyed when the library is unloaded; KxStop empties it before that.
State& state() {
  static State s;
  return s;
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<Connection> connection(std::int32_t handle, bool* vanished) {
  if (vanished != nullptr) *vanished = false;
  if (handle == KX_MGI_LOCAL) {
    // Read the environment on every call, so the home follows KX_ENGINE_HOME.
    return Connection{true, kxstore::computerName(), kxstore::engineHome()};
  }
  Connection c;
  {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto it = s.connections.find(handle);
    if (it == s.connections.end()) return std::nullopt;
    c = it->second;
  }
  if (!c.local && vanished != nullptr && !folderExists(c.home)) *vanished = true;
  return c;
}

std::int32_t openConnection(Connection c) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  // Positive handles only, so the reserved -1 and -2 never come out; skip any still in use.
  do {
    s.lastHandle = s.lastHandle == std::numeric_limits<std::int32_t>::max() ? 1 : s.lastHandle + 1;
  } while (s.connections.count(s.lastHandle) != 0);
  s.connections.emplace(s.lastHandle, std::move(c));
  return s.lastHandle;
}

bool closeConnection(std::int32_t handle) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (s.connections.erase(handle) == 0) return false;
  for (auto it = s.snapshots.begin(); it != s.snapshots.end();)
    it = it->first.first == handle ? s.snapshots.erase(it) : std::next(it);
  return true;
}

int closeAll() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  const int n = static_cast<int>(s.connections.size());
  s.connections.clear();
  s.snapshots.clear();
  return n;
}

void putSnapshot(std::int32_t handle, std::vector<std::string> names) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.snapshots[{handle, std::this_thread::get_id()}] = std::move(names);
}

std::uint16_t snapshotName(std::int32_t handle, std::uint32_t number, std::string& out) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  const auto it = s.snapshots.find({handle, std::this_thread::get_id()});
  if (it == s.snapshots.end()) return KX_MGI_INVALID_SEQUENCE;
  if (number == 0 || number > it->second.size()) return KX_MGI_OUT_OF_RANGE;
  out = it->second[number - 1];
  return KX_MGI_SUCCESS;
}

void freeSnapshot(std::int32_t handle) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.snapshots.erase({handle, std::this_thread::get_id()});
}

std::optional<std::string> localDataPath(std::string_view path, const Connection& c) {
  if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return std::string(path);
  std::string_view rest = path.substr(2);
  const auto sep = rest.find('\\');
  const std::string_view host = rest.substr(0, sep);
  rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);

  bool ours = false;
  if (c.local) {
    ours = kxstore::isLocalServerName(host);
  } else {
    const auto slash = c.home.find_last_of('/');
    ours = kxstore::equalNoCase(host, c.serverName) ||
           (slash != std::string::npos && kxstore::equalNoCase(host, std::string_view(c.home).substr(slash + 1)));
  }
  if (!ours) return std::nullopt;

  // A drive share ("C$") stands for the root of this server's one tree.
  std::string local;
  if (rest.size() >= 2 && rest[1] == '$' &&
      ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z')) &&
      (rest.size() == 2 || rest[2] == '\\')) {
    local.push_back('/');
    rest.remove_prefix(rest.size() == 2 ? 2 : 3);
  }
  for (const char ch : rest) local += ch == '\\' ? '/' : ch;
  // "\\SRV\\data" (a rooted path behind the prefix) comes out as "/data"; collapse "//".
  std::string out;
  for (const char ch : local)
    if (!(ch == '/' && !out.empty() && out.back() == '/')) out += ch;
  return out;
}

}  // namespace kxmgi
