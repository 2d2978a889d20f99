#include "engines/store/dsnstore.h"

#include <algorithm>
#include <optional>

#include "engines/store/fileio.h"
#include "engines/store/home.h"
#include "engines/store/inifile.h"

namespace kxstore {
namespace {

constexpr const char* kIniName = "odbc.ini";
constexpr const char* kLockName = "odbc.ini.lck";

DsnStatus load(const std::string& home, std::vector<ServerDsn>& out) {
  out.clear();
  std::string text;
  switch (readWholeFile(home + "/" + kIniName, text)) {
    case ReadResult::missing:
      return DsnStatus::ok;
    case ReadResult::cannotOpen:
      return DsnStatus::cannotOpen;
    case ReadResult::ok:
      break;
  }
  IniDocument doc;
  if (parseIni(text, false, doc) != IniParse::ok) return DsnStatus::damaged;
  for (auto& sec : doc.sections) {
    for (const auto& d : out)
      if (equalNoCase(d.name, sec.name)) return DsnStatus::damaged;
    out.push_back(ServerDsn{std::move(sec.name), std::move(sec.values)});
  }
  return DsnStatus::ok;
}

DsnStatus save(const std::string& home, const std::vector<ServerDsn>& dsns) {
  IniDocument doc;
  for (const auto& d : dsns) doc.sections.push_back(IniSection{d.name, d.values});
  switch (writeFileAtomically(home + "/" + kIniName, formatIni(doc, {}))) {
    case WriteResult::ok:
      return DsnStatus::ok;
    case WriteResult::cannotCreate:
      return DsnStatus::cannotCreate;
    case WriteResult::cannotUpdate:
      return DsnStatus::cannotUpdate;
  }
  return DsnStatus::cannotUpdate;
}

std::vector<ServerDsn>::iterator findDsn(std::vector<ServerDsn>& v, std::string_view name) {
  return std::find_if(v.begin(), v.end(), [&](const ServerDsn& d) { return equalNoCase(d.name, name); });
}

bool validValues(const ServerDsn& d) {
  for (const auto& [k, v] : d.values) {
    if (k.empty() || k.find_first_of("=[]\r\n") != std::string::npos) return false;
    if (v.find_first_of("\r\n") != std::string::npos || v.find('\0') != std::string::npos) return false;
    if (k.front() == ' ' || k.back() == ' ') return false;
  }
  return true;
}

// Runs a read-modify-write under the store's lock.
template <typename F>
DsnStatus update(const std::string& home, F&& change) {
  if (!makeFolders(home)) return DsnStatus::cannotCreate;
  StoreLock lock(home + "/" + kLockName);
  if (!lock.held()) return DsnStatus::cannotCreate;
  std::vector<ServerDsn> dsns;
  if (const auto s = load(home, dsns); s != DsnStatus::ok) return s;
  if (const auto s = change(dsns); s != DsnStatus::ok) return s;
  return save(home, dsns);
}

}  // namespace

bool isValidDsnName(std::string_view name) {
  if (name.empty() || name.size() > kMaxDsnLength) return false;
  if (name.front() == ' ' || name.back() == ' ') return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return false;
  }
  return name.find_first_of("[]{}(),;?*=!@\\") == std::string_view::npos;
}

std::optional<int> storedOpenMode(std::int32_t libraryMode) {
  switch (libraryMode) {
    case 0: return 0;    // normal
    case 1: return -1;   // accelerated
    case 2: return 1;    // read-only
    case 3: return -4;   // exclusive
    default: return std::nullopt;
  }
}

std::optional<std::int32_t> libraryOpenMode(std::string_view stored) {
  // Blanks around the number are tolerated: hand-edited files have them.
  while (!stored.empty() && stored.front() == ' ') stored.remove_prefix(1);
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  if (stored == "0") return 0;
  if (stored == "-1") return 1;
  if (stored == "1") return 2;
  if (stored == "-4") return 3;
  return std::nullopt;
}

std::optional<std::string> ServerDsn::value(std::string_view key) const {
  for (const auto& [k, v] : values)
    if (equalNoCase(k, key)) return v;
  return std::nullopt;
}

void ServerDsn::set(std::string_view key, std::optional<std::string> v) {
  const auto it = std::find_if(values.begin(), values.end(), [&](const auto& kv) { return equalNoCase(kv.first, key); });
  if (!v) {
    if (it != values.end()) values.erase(it);
  } else if (it != values.end()) {
    it->second = std::move(*v);
  } else {
    values.emplace_back(std::string(key), std::move(*v));
  }
}

ServerDsnStore::ServerDsnStore(std::string home) : home_(std::move(home)) {}

std::string ServerDsnStore::file() const { return home_ + "/" + kIniName; }

DsnStatus ServerDsnStore::list(std::vector<ServerDsn>& out) const {
  const auto s = load(home_, out);
  if (s != DsnStatus::ok) out.clear();
  return s;
}

DsnStatus ServerDsnStore::get(std::string_view name, ServerDsn& out) const {
  if (!isValidDsnName(name)) return DsnStatus::notFound;
  std::vector<ServerDsn> dsns;
  if (const auto s = load(home_, dsns); s != DsnStatus::ok) return s;
  const auto it = findDsn(dsns, name);
  if (it == dsns.end()) return DsnStatus::notFound;
  out = *it;
  return DsnStatus::ok;
}

DsnStatus ServerDsnStore::add(const ServerDsn& dsn) {
  if (!isValidDsnName(dsn.name) || !validValues(dsn)) return DsnStatus::invalidName;
  return update(home_, [&](std::vector<ServerDsn>& dsns) {
    if (findDsn(dsns, dsn.name) != dsns.end()) return DsnStatus::duplicate;
    dsns.push_back(dsn);
    return DsnStatus::ok;
  });
}

DsnStatus ServerDsnStore::modify(const ServerDsn& dsn) {
  return change(dsn.name, [&](ServerDsn& stored) {
    stored.values = dsn.values;  // the stored spelling of the name is kept
    return DsnStatus::ok;
  });
}

DsnStatus ServerDsnStore::change(std::string_view name, const std::function<DsnStatus(ServerDsn&)>& edit) {
  if (!isValidDsnName(name)) return DsnStatus::notFound;
  return update(home_, [&](std::vector<ServerDsn>& dsns) {
    const auto it = findDsn(dsns, name);
    if (it == dsns.end()) return DsnStatus::notFound;
    ServerDsn edited = *it;
    if (const auto s = edit(edited); s != DsnStatus::ok) return s;
    edited.name = it->name;
    if (!validValues(edited)) return DsnStatus::invalidName;
    *it = std::move(edited);
    return DsnStatus::ok;
  });
}

DsnStatus ServerDsnStore::remove(std::string_view name, const std::function<DsnStatus(const ServerDsn&)>& accept) {
  if (!isValidDsnName(name)) return DsnStatus::notFound;
  return update(home_, [&](std::vector<ServerDsn>& dsns) {
    const auto it = findDsn(dsns, name);
    if (it == dsns.end()) return DsnStatus::notFound;
    if (accept)
      if (const auto s = accept(*it); s != DsnStatus::ok) return s;
    dsns.erase(it);
    return DsnStatus::ok;
  });
}

}  // namespace kxstore
