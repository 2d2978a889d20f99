#include "engines/store/home.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engines/store/fileio.h"
#include "engines/store/inifile.h"

namespace kxstore {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string currentFolder() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
    if (errno != ERANGE || buf.size() > (1u << 20)) return "/";
    buf.resize(buf.size() * 2);
  }
}

std::string userHomeFolder() {
  if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') return h;
  struct passwd pw {};
  struct passwd* res = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &res) == 0 && res != nullptr &&
      res->pw_dir != nullptr && *res->pw_dir != '\0')
    return res->pw_dir;
  return "/tmp";
}

}  // namespace

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

std::string normalizePath(std::string_view path, std::string_view base) {
  std::string full;
  if (!path.empty() && path.front() == '/') {
    full = path;
  } else {
    full = base;
    full += '/';
    full += path;
  }
  const bool absolute = !full.empty() && full.front() == '/';
  std::vector<std::string_view> parts;
  std::string_view rest = full;
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
      continue;
    }
    parts.push_back(part);
  }
  if (parts.empty()) return std::string(absolute ? "/" : ".");
  std::string out;
  for (const auto part : parts) {
    if (absolute || !out.empty()) out += '/';
    out += part;
  }
  return out;
}

std::string engineHome() {
  if (const char* h = std::getenv("KX_ENGINE_HOME"); h != nullptr && *h != '\0')
    return normalizePath(h, currentFolder());
  return normalizePath(userHomeFolder() + "/.local/share/kestrin", "/");
}

std::string serversFolder() { return engineHome() + "/servers"; }

std::string computerName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return "localhost";
  return std::string(buf);
}

bool isLocalServerName(std::string_view server) {
  if (server.empty() || equalNoCase(server, "localhost")) return true;
  const std::string me = computerName();
  if (equalNoCase(server, me)) return true;
  // A short name matches a fully qualified host name, and the reverse.
  const std::string_view meShort = std::string_view(me).substr(0, me.find('.'));
  const std::string_view serverShort = server.substr(0, server.find('.'));
  return equalNoCase(server, meShort) || equalNoCase(serverShort, me);
}

bool isValidServerName(std::string_view server) {
  if (server.empty() || server.size() > 255 || server == "." || server == "..") return false;
  for (const char c : server) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

ServerLocation locateServer(std::string_view server) {
  ServerLocation loc;
  loc.name = server;
  if (isLocalServerName(server)) {
    loc.kind = ServerKind::local;
    loc.home = engineHome();
    return loc;
  }
  if (!isValidServerName(server)) return loc;
  const std::string folder = serversFolder();
  const std::string exact = folder + "/" + std::string(server);
  if (isFolder(exact)) {
    loc.kind = ServerKind::remote;
    loc.home = exact;
    return loc;
  }
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string_view n = e->d_name;
      if (n == "." || n == ".." || !equalNoCase(n, server)) continue;
      const std::string candidate = folder + "/" + std::string(n);
      if (isFolder(candidate)) {
        loc.kind = ServerKind::remote;
        loc.home = candidate;
        break;
      }
    }
    ::closedir(d);
  }
  return loc;
}

namespace {

// The [users] section, and whether the file could be used at all.
bool readServerFile(const std::string& home, ServerSettings& settings,
                    std::vector<std::pair<std::string, std::string>>* users) {
  std::string text;
  switch (readWholeFile(home + "/server.ini", text)) {
    case ReadResult::missing:
      return true;
    case ReadResult::cannotOpen:
      settings.readable = false;
      return false;
    case ReadResult::ok:
      break;
  }
  IniDocument doc;
  if (parseIni(text, false, doc) != IniParse::ok) {
    settings.readable = false;
    return false;
  }
  for (const auto& sec : doc.sections) {
    if (equalNoCase(sec.name, "server")) {
      for (const auto& [k, v] : sec.values) {
        if (!equalNoCase(k, "platform")) continue;
        char* end = nullptr;
        errno = 0;
        const unsigned long p = std::strtoul(v.c_str(), &end, 10);
        if (!v.empty() && end != nullptr && *end == '\0' && errno == 0 && p <= 0xFFFFFFFFul)
          settings.platform = static_cast<std::uint32_t>(p);
      }
    } else if (equalNoCase(sec.name, "users")) {
      for (const auto& kv : sec.values) {
        settings.requiresLogin = true;
        if (users != nullptr) users->push_back(kv);
      }
    }
  }
  return true;
}

}  // namespace

ServerSettings readServerSettings(const std::string& home) {
  ServerSettings s;
  readServerFile(home, s, nullptr);
  if (!s.readable) s.requiresLogin = true;
  return s;
}

bool checkServerLogin(const std::string& home, std::string_view user, std::string_view password) {
  ServerSettings s;
  std::vector<std::pair<std::string, std::string>> users;
  if (!readServerFile(home, s, &users)) return false;
  if (!s.requiresLogin) return true;
  if (user.empty()) return false;
  for (const auto& [u, p] : users)
    if (equalNoCase(u, user) && p == password) return true;
  return false;
}

bool makeFolders(const std::string& path) {
  if (path.empty()) return false;
  std::size_t pos = 0;
  for (;;) {
    pos = path.find('/', pos + 1);
    const std::string part = path.substr(0, pos);
    if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  return isFolder(path);
}

}  // namespace kxstore
