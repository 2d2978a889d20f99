// The 24 entry points. Each checks its pointers, resolves the handle, does its work through
// the shared stores and maps the result to a status. No exception leaves an entry point.
#include "engines/mgi/mgicli.h"

#include <cstring>
#include <new>

#include "engines/mgi/internal.h"
#include "engines/store/dbnames.h"
#include "engines/store/dsnstore.h"
#include "engines/store/home.h"

using kxmgi::Connection;

namespace {

constexpr std::uint32_t kVersionMajor = 7;
constexpr std::uint32_t kVersionMinor = 8;
constexpr std::uint32_t kVersionBuild = 1;
constexpr std::uint8_t kEngineKindServer = 1;

// Runs an entry's body; anything thrown (out of memory) becomes a failure status.
template <typename F>
std::uint16_t guarded(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return KX_MGI_FAIL;
  }
}

// Hands a text out through (length, buffer) as the header describes.
std::uint16_t putText(std::string_view text, std::uint32_t* length, char* buffer) {
  if (length == nullptr) return KX_MGI_NULL_PTR;
  if (text.size() >= 0xFFFFFFFFu) return KX_MGI_OUT_OF_RANGE;
  const auto need = static_cast<std::uint32_t>(text.size() + 1);
  if (*length < need) {
    if (buffer != nullptr && *length > 0) buffer[0] = '\0';
    *length = need;
    return KX_MGI_BUFFER_TOO_SMALL;
  }
  if (buffer == nullptr) return KX_MGI_NULL_PTR;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *length = need;
  return KX_MGI_SUCCESS;
}

// The connection behind a handle, or the status that refuses it.
std::uint16_t resolve(std::int32_t handle, Connection& out) {
  bool vanished = false;
  auto c = kxmgi::connection(handle, &vanished);
  if (!c) return KX_MGI_INVALID_HANDLE;
  if (vanished) return KX_MGI_FAIL;  // the simulated server was removed: "server is not found"
  out = std::move(*c);
  return KX_MGI_SUCCESS;
}

std::uint16_t dbStatus(kxstore::DbStatus s) { return kxstore::mgiStatus(s); }

// A server's own DSN file names the drivers, never their library paths.
bool isKestrinDriver(std::string_view driver) {
  return kxstore::equalNoCase(driver, kxstore::kEngineDriverName) ||
         kxstore::equalNoCase(driver, kxstore::kClientDriverName);
}

std::uint16_t dsnStatus(kxstore::DsnStatus s) {
  switch (s) {
    case kxstore::DsnStatus::ok: return KX_MGI_SUCCESS;
    case kxstore::DsnStatus::notFound: return KX_MGI_DSN_DOES_NOT_EXIST;
    case kxstore::DsnStatus::duplicate: return KX_MGI_DSN_ALREADY_EXIST;
    case kxstore::DsnStatus::invalidName: return KX_MGI_INVALID_NAME;
    case kxstore::DsnStatus::cannotOpen:
    case kxstore::DsnStatus::damaged: return KX_MGI_FILE_NOT_OPEN;
    case kxstore::DsnStatus::cannotUpdate:
    case kxstore::DsnStatus::cannotCreate: return KX_MGI_ACCESS_RIGHT;
  }
  return KX_MGI_FAIL;
}

std::uint16_t getEntry(std::int32_t handle, const char* name, kxstore::DbEntry& e, Connection* conn = nullptr) {
  if (name == nullptr) return KX_MGI_NULL_PTR;
  Connection c;
  if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
  if (const auto s = dbStatus(kxstore::DbNames(c.home).get(name, e)); s != KX_MGI_SUCCESS) return s;
  if (conn != nullptr) *conn = std::move(c);
  return KX_MGI_SUCCESS;
}

// The Kestrin DSNs (or all) of a server, in store order.
std::uint16_t listDsns(const Connection& c, std::uint16_t filter, std::vector<std::string>& names) {
  const bool kestrinOnly = filter != KX_MGI_DSN_FILTER_FALSE;
  if (c.local) return kxmgi::localListDsns(kestrinOnly, names);
  std::vector<kxstore::ServerDsn> dsns;
  if (const auto s = kxstore::ServerDsnStore(c.home).list(dsns); s != kxstore::DsnStatus::ok) return dsnStatus(s);
  names.clear();
  for (const auto& d : dsns) {
    const auto driver = d.value("Driver");
    if (!driver) continue;
    if (kestrinOnly && !isKestrinDriver(*driver)) continue;
    if (d.name.find(';') == std::string::npos) names.push_back(d.name);
  }
  return KX_MGI_SUCCESS;
}

std::uint16_t getDsn(std::int32_t handle, const char* dsn, kxmgi::DsnInfo& info) {
  if (dsn == nullptr) return KX_MGI_NULL_PTR;
  Connection c;
  if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
  if (!kxstore::isValidDsnName(dsn)) return KX_MGI_DSN_DOES_NOT_EXIST;
  if (c.local) return kxmgi::localGetDsn(dsn, info);
  kxstore::ServerDsn d;
  if (const auto s = kxstore::ServerDsnStore(c.home).get(dsn, d); s != kxstore::DsnStatus::ok) return dsnStatus(s);
  if (!isKestrinDriver(d.driver())) return KX_MGI_DSN_DOES_NOT_EXIST;
  info.name = d.name;
  info.description = d.value("Description").value_or("");
  info.database = d.value("DBQ").value_or("");
  info.openMode = d.value("OpenMode");
  return KX_MGI_SUCCESS;
}

// Both texts of a DSN; on a too-small buffer both lengths get the sizes needed.
std::uint16_t putDsnTexts(const kxmgi::DsnInfo& info, std::uint32_t* descriptionLength, char* description,
                          std::uint32_t* databaseLength, char* database) {
  const auto a = putText(info.description, descriptionLength, description);
  const auto b = putText(info.database, databaseLength, database);
  if (a != KX_MGI_SUCCESS && a != KX_MGI_BUFFER_TOO_SMALL) return a;
  if (b != KX_MGI_SUCCESS && b != KX_MGI_BUFFER_TOO_SMALL) return b;
  return a != KX_MGI_SUCCESS ? a : b;
}

std::uint16_t writeDsn(std::int32_t handle, const char* dsn, const char* description, const char* database,
                       std::int32_t openMode, bool create) {
  if (dsn == nullptr || description == nullptr || database == nullptr) return KX_MGI_NULL_PTR;
  Connection c;
  if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
  if (!kxstore::isValidDsnName(dsn)) return create ? KX_MGI_INVALID_NAME : KX_MGI_DSN_DOES_NOT_EXIST;
  const auto mode = kxstore::storedOpenMode(openMode);
  if (!mode) return KX_MGI_INVALID_OPEN_MODE;
  // A line break would end the value in the ini files and start a forged key.
  if (std::strpbrk(description, "\r\n") != nullptr || std::strpbrk(database, "\r\n") != nullptr)
    return KX_MGI_OUT_OF_RANGE;

  kxmgi::DsnInfo info{dsn, description, database, std::to_string(*mode)};
  if (c.local) return create ? kxmgi::localCreateDsn(info) : kxmgi::localModifyDsn(info);

  kxstore::ServerDsnStore store(c.home);
  if (create) {
    kxstore::ServerDsn d;
    d.name = dsn;
    d.set("Driver", std::string(kxstore::kEngineDriverName));
    d.set("Description", info.description);
    d.set("DBQ", info.database);
    d.set("OpenMode", info.openMode);
    return dsnStatus(store.add(d));
  }
  // Only engine DSNs carry a database and an open mode; a client DSN is not turned into one.
  return dsnStatus(store.change(dsn, [&](kxstore::ServerDsn& d) {
    if (!kxstore::equalNoCase(d.driver(), kxstore::kEngineDriverName)) return kxstore::DsnStatus::notFound;
    d.set("Description", info.description);
    d.set("DBQ", info.database);
    d.set("OpenMode", info.openMode);
    return kxstore::DsnStatus::ok;
  }));
}

}  // namespace

extern "C" {

uint16_t KxConnectServer(const char* server, const char* user, const char* password, int32_t* handle) {
  return guarded([&]() -> std::uint16_t {
    if (server == nullptr || handle == nullptr) return KX_MGI_NULL_PTR;
    const auto loc = kxstore::locateServer(server);
    if (loc.kind == kxstore::ServerKind::unknown) return KX_MGI_FAIL;
    if (!kxstore::checkServerLogin(loc.home, user != nullptr ? user : "", password != nullptr ? password : ""))
      return KX_MGI_ACCESS_RIGHT;
    const bool local = loc.kind == kxstore::ServerKind::local;
    *handle = kxmgi::openConnection(Connection{local, local ? kxstore::computerName() : std::string(server), loc.home});
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxDisconnect(int32_t handle) {
  return guarded([&]() -> std::uint16_t {
    if (handle == KX_MGI_LOCAL) return KX_MGI_SUCCESS;  // nothing to close, nothing to free
    return kxmgi::closeConnection(handle) ? KX_MGI_SUCCESS : KX_MGI_INVALID_HANDLE;
  });
}

uint16_t KxGetServerName(int32_t handle, uint32_t* length, char* buffer) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    return putText(c.serverName, length, buffer);
  });
}

uint16_t KxStart(int32_t) { return guarded([] { return kxmgi::startStatus(); }); }

uint16_t KxStop(int32_t* openConnections) {
  return guarded([&]() -> std::uint16_t {
    const int n = kxmgi::closeAll();
    if (openConnections != nullptr) *openConnections = n;
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxGetDbNamesData(int32_t handle, uint32_t* count) {
  return guarded([&]() -> std::uint16_t {
    if (count == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    std::vector<kxstore::DbEntry> entries;
    if (const auto s = dbStatus(kxstore::DbNames(c.home).list(entries)); s != KX_MGI_SUCCESS) return s;
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (auto& e : entries) names.push_back(std::move(e.name));
    *count = static_cast<std::uint32_t>(names.size());
    kxmgi::putSnapshot(handle, std::move(names));
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxFreeDbNamesData(int32_t handle) {
  return guarded([&]() -> std::uint16_t {
    kxmgi::freeSnapshot(handle);
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxGetDbName(int32_t handle, uint32_t number, uint32_t* length, char* buffer) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    std::string name;
    if (const auto s = kxmgi::snapshotName(handle, number, name); s != KX_MGI_SUCCESS) return s;
    return putText(name, length, buffer);
  });
}

uint16_t KxCreateDatabase(int32_t handle, const char* name, const char* dictionaryPath, const char* dataPath,
                          uint32_t flags) {
  return guarded([&]() -> std::uint16_t {
    if (name == nullptr || dictionaryPath == nullptr || dataPath == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    const auto data = kxmgi::localDataPath(dataPath, c);
    if (!data) return KX_MGI_DATA_UNAVAILABLE;
    return dbStatus(kxstore::DbNames(c.home).add(kxstore::DbEntry{name, dictionaryPath, *data, flags}));
  });
}

uint16_t KxDropDatabase(int32_t handle, const char* name, uint8_t option) {
  return guarded([&]() -> std::uint16_t {
    if (name == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    return dbStatus(kxstore::DbNames(c.home).drop(name, (option & KX_MGI_DROP_FILES) != 0));
  });
}

uint16_t KxModifyDatabase(int32_t handle, const char* oldName, const char* newName, const char* dictionaryPath,
                          const char* dataPath, uint32_t flags) {
  return guarded([&]() -> std::uint16_t {
    if (oldName == nullptr || newName == nullptr || dictionaryPath == nullptr || dataPath == nullptr)
      return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    const auto data = kxmgi::localDataPath(dataPath, c);
    if (!data) return KX_MGI_DATA_UNAVAILABLE;
    return dbStatus(kxstore::DbNames(c.home).modify(oldName, kxstore::DbEntry{newName, dictionaryPath, *data, flags}));
  });
}

uint16_t KxCheckDbInfo(int32_t handle, const char* name, uint32_t flags) {
  return guarded([&]() -> std::uint16_t {
    if (name == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    kxstore::ResolvedDb r;
    if (const auto s = dbStatus(kxstore::resolveDatabase(c.home, name, r, false)); s != KX_MGI_SUCCESS) return s;
    const std::uint32_t wanted = flags & kxstore::kDbStoredFlags;
    return (r.entry.flags & wanted) == wanted ? KX_MGI_SUCCESS : KX_MGI_INVALID_SELECTION;
  });
}

uint16_t KxGetDbServerName(int32_t handle, const char* name, uint32_t* length, char* buffer, int16_t* isLocal) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr || isLocal == nullptr) return KX_MGI_NULL_PTR;
    kxstore::DbEntry e;
    Connection c;
    if (const auto s = getEntry(handle, name, e, &c); s != KX_MGI_SUCCESS) return s;
    const auto s = putText(c.serverName, length, buffer);
    if (s == KX_MGI_SUCCESS) *isLocal = c.local ? 1 : 0;
    return s;
  });
}

uint16_t KxGetDbFlags(int32_t handle, const char* name, uint32_t* flags) {
  return guarded([&]() -> std::uint16_t {
    if (flags == nullptr) return KX_MGI_NULL_PTR;
    kxstore::DbEntry e;
    if (const auto s = getEntry(handle, name, e); s != KX_MGI_SUCCESS) return s;
    *flags = e.flags;
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxGetDbDictionaryPath(int32_t handle, const char* name, uint32_t* length, char* buffer) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr) return KX_MGI_NULL_PTR;
    kxstore::DbEntry e;
    if (const auto s = getEntry(handle, name, e); s != KX_MGI_SUCCESS) return s;
    return putText(e.dictionaryPath, length, buffer);
  });
}

uint16_t KxGetDbDataPath(int32_t handle, const char* name, uint32_t* length, char* buffer) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr) return KX_MGI_NULL_PTR;
    kxstore::DbEntry e;
    if (const auto s = getEntry(handle, name, e); s != KX_MGI_SUCCESS) return s;
    return putText(e.dataPath, length, buffer);
  });
}

uint16_t KxGetDSN(int32_t handle, const char* dsn, uint32_t* descriptionLength, char* description,
                  uint32_t* databaseLength, char* database) {
  return guarded([&]() -> std::uint16_t {
    if (descriptionLength == nullptr || databaseLength == nullptr) return KX_MGI_NULL_PTR;
    kxmgi::DsnInfo info;
    if (const auto s = getDsn(handle, dsn, info); s != KX_MGI_SUCCESS) return s;
    return putDsnTexts(info, descriptionLength, description, databaseLength, database);
  });
}

uint16_t KxCountDSNs(int32_t handle, uint32_t* count, uint16_t filter) {
  return guarded([&]() -> std::uint16_t {
    if (count == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    std::vector<std::string> names;
    if (const auto s = listDsns(c, filter, names); s != KX_MGI_SUCCESS) return s;
    *count = static_cast<std::uint32_t>(names.size());
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxListDSNs(int32_t handle, uint32_t* length, char* buffer, uint16_t filter) {
  return guarded([&]() -> std::uint16_t {
    if (length == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    std::vector<std::string> names;
    if (const auto s = listDsns(c, filter, names); s != KX_MGI_SUCCESS) return s;
    std::string text;
    for (const auto& n : names) {
      if (!text.empty()) text += ';';
      text += n;
    }
    return putText(text, length, buffer);
  });
}

uint16_t KxCreateDSN(int32_t handle, const char* dsn, const char* description, const char* database,
                     int32_t openMode) {
  return guarded([&] { return writeDsn(handle, dsn, description, database, openMode, true); });
}

uint16_t KxDeleteDSN(int32_t handle, const char* dsn) {
  return guarded([&]() -> std::uint16_t {
    if (dsn == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    if (!kxstore::isValidDsnName(dsn)) return KX_MGI_DSN_DOES_NOT_EXIST;
    if (c.local) return kxmgi::localDeleteDsn(dsn);
    return dsnStatus(kxstore::ServerDsnStore(c.home).remove(dsn, [](const kxstore::ServerDsn& d) {
      return isKestrinDriver(d.driver()) ? kxstore::DsnStatus::ok : kxstore::DsnStatus::notFound;
    }));
  });
}

uint16_t KxGetDSNEx(int32_t handle, const char* dsn, uint32_t* descriptionLength, char* description,
                    uint32_t* databaseLength, char* database, int32_t* openMode) {
  return guarded([&]() -> std::uint16_t {
    if (descriptionLength == nullptr || databaseLength == nullptr || openMode == nullptr) return KX_MGI_NULL_PTR;
    kxmgi::DsnInfo info;
    if (const auto s = getDsn(handle, dsn, info); s != KX_MGI_SUCCESS) return s;
    if (const auto s = putDsnTexts(info, descriptionLength, description, databaseLength, database); s != KX_MGI_SUCCESS)
      return s;
    if (!info.openMode) {
      *openMode = KX_MGI_OPEN_NORMAL;
      return KX_MGI_SUCCESS;
    }
    const auto mode = kxstore::libraryOpenMode(*info.openMode);
    if (!mode) return KX_MGI_INVALID_OPEN_MODE;  // the texts are delivered; the mode stays unset
    *openMode = *mode;
    return KX_MGI_SUCCESS;
  });
}

uint16_t KxModifyDSN(int32_t handle, const char* dsn, const char* description, const char* database,
                     int32_t openMode) {
  return guarded([&] { return writeDsn(handle, dsn, description, database, openMode, false); });
}

uint16_t KxGetEngineInformation(int32_t handle, uint8_t* engineKind, uint32_t* major, uint32_t* minor,
                                uint32_t* build, uint32_t* platform) {
  return guarded([&]() -> std::uint16_t {
    if (platform == nullptr) return KX_MGI_NULL_PTR;
    Connection c;
    if (const auto s = resolve(handle, c); s != KX_MGI_SUCCESS) return s;
    const auto settings = kxstore::readServerSettings(c.home);
    if (engineKind != nullptr) *engineKind = kEngineKindServer;
    if (major != nullptr) *major = kVersionMajor;
    if (minor != nullptr) *minor = kVersionMinor;
    if (build != nullptr) *build = kVersionBuild;
    *platform = settings.platform;
    return KX_MGI_SUCCESS;
  });
}

}  // extern "C"
