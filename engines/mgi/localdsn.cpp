// The local machine's DSNs, kept by the ODBC installer library (unixODBC's libodbcinst) in
// $ODBCSYSINI/odbc.ini (system) and $ODBCINI (user).
//
// The installer's configuration mode is one setting for the whole process, so every use here
// runs under one mutex, sets the mode it needs and puts the previous mode back afterwards.
//
// Two habits of the installer library shape the code:
// - It answers a key lookup from a cache for some seconds, refreshed only by this process's own
//   writes, so a DSN another process just changed would read stale. The cache is keyed by the
//   default answer too, so every lookup here passes a default no other lookup used.
// - It fixes the system file's folder ($ODBCSYSINI) at its first use in the process; the system
//   file is located through the installer itself so both agree.
// - Its cache is not freed when it is unloaded, which would happen whenever the loader unloads
//   this library and nothing else uses the installer; so it is kept loaded once used.
#include <atomic>
#include <cstdlib>
#include <mutex>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <odbcinst.h>

#include "engines/mgi/internal.h"
#include "engines/mgi/mgicli.h"
#include "engines/store/dsnstore.h"
#include "engines/store/fileio.h"
#include "engines/store/home.h"

// Exported by the installer library (declared in its extension header): the folder of the
// system files, as the installer itself resolves it.
extern "C" char* odbcinst_system_file_path(char* buffer);

namespace kxmgi {
namespace {

constexpr const char* kOdbcIni = "odbc.ini";

// A default answer no stored value equals (it tells an absent key from an empty one), and
// never the same twice (see above).
std::string absentMarker() {
  static std::atomic<unsigned long long> n{0};
  return "\x01kx-absent-" + std::to_string(n++) + "\x01";
}

std::mutex& installerMutex() {
  static std::mutex m;
  return m;
}

void keepInstallerLoaded() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&SQLGetPrivateProfileString), &info) == 0 || info.dli_fname == nullptr) return;
    // A reference that is never closed, on a library that is already loaded: it stays.
    ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  });
}

// Holds the installer for one operation in one configuration mode.
class Installer {
 public:
  Installer() : lock_(installerMutex()) {
    keepInstallerLoaded();
    if (!SQLGetConfigMode(&saved_)) saved_ = ODBC_BOTH_DSN;
  }
  ~Installer() { SQLSetConfigMode(saved_); }
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  void mode(UWORD m) { SQLSetConfigMode(m); }

  // Every section of odbc.ini in the current mode.
  std::vector<std::string> sections() {
    std::vector<char> buf(16384);
    for (;;) {
      const int n = SQLGetPrivateProfileString(nullptr, nullptr, "", buf.data(), static_cast<int>(buf.size()), kOdbcIni);
      if (n < 0) return {};
      if (static_cast<std::size_t>(n) + 2 < buf.size() || buf.size() >= (1u << 22)) {
        std::vector<std::string> out;
        std::size_t i = 0;
        const auto end = std::min(static_cast<std::size_t>(n), buf.size() - 1);
        while (i < end) {
          const std::string s(buf.data() + i);
          if (s.empty()) break;
          i += s.size() + 1;
          out.push_back(s);
        }
        return out;
      }
      buf.resize(buf.size() * 4);  // the list may have been cut; ask again with more room
    }
  }

  std::optional<std::string> value(const std::string& section, const char* key) {
    return lookup(section.c_str(), key, kOdbcIni);
  }

  // A key of any installer file, read past the installer's cache.
  static std::optional<std::string> lookup(const char* section, const char* key, const char* file) {
    std::vector<char> buf(4096);
    for (;;) {
      const std::string absent = absentMarker();
      const int n = SQLGetPrivateProfileString(section, key, absent.c_str(), buf.data(), static_cast<int>(buf.size()), file);
      if (n < 0) return std::nullopt;
      if (static_cast<std::size_t>(n) + 1 < buf.size() || buf.size() >= (1u << 20)) {
        buf.back() = '\0';
        std::string v(buf.data());
        if (v == absent) return std::nullopt;
        return v;
      }
      buf.resize(buf.size() * 4);
    }
  }

  bool write(const std::string& section, const char* key, const std::string& v) {
    return SQLWritePrivateProfileString(section.c_str(), key, v.c_str(), kOdbcIni) != 0;
  }

 private:
  std::lock_guard<std::mutex> lock_;
  UWORD saved_ = ODBC_BOTH_DSN;
};

// Whether a DSN's Driver entry is one of this engine's drivers: by name, or by the library
// path that odbcinst.ini gives those names. Taking the Installer shows its lock is held.
bool isDriver(const std::string& driver, const char* name) {
  if (kxstore::equalNoCase(driver, name)) return true;
  const auto library = Installer::lookup(name, "Driver", "odbcinst.ini");
  return library && !library->empty() && driver == *library;
}

bool isKestrinDriver(Installer&, const std::string& driver) {
  return isDriver(driver, kxstore::kEngineDriverName) || isDriver(driver, kxstore::kClientDriverName);
}

bool isEngineDriver(Installer&, const std::string& driver) { return isDriver(driver, kxstore::kEngineDriverName); }

struct Found {
  UWORD mode;
  std::string section;  // the name as stored
  std::string driver;
};

// Looks a DSN up: system DSNs first, then the user's.
std::optional<Found> find(Installer& inst, std::string_view name) {
  for (const UWORD m : {static_cast<UWORD>(ODBC_SYSTEM_DSN), static_cast<UWORD>(ODBC_USER_DSN)}) {
    inst.mode(m);
    for (const auto& s : inst.sections()) {
      if (!kxstore::equalNoCase(s, name)) continue;
      const auto driver = inst.value(s, "Driver");
      if (!driver) continue;  // a section without a driver is no DSN
      return Found{m, s, *driver};
    }
  }
  return std::nullopt;
}

// The installer refuses to write the system file while it does not exist.
void ensureSystemIni() {
  // The answer may be the installer's own saved copy rather than our buffer.
  std::vector<char> buffer(16384, '\0');
  const char* folder = odbcinst_system_file_path(buffer.data());
  if (folder == nullptr || *folder == '\0') return;
  const std::string path = std::string(folder) + "/" + kOdbcIni;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

// Serialises this library's writers of the installer files across processes.
std::string writersLockPath() { return kxstore::engineHome() + "/odbc-local.lck"; }

bool writeValues(Installer& inst, const DsnInfo& d, const std::string& section) {
  return inst.write(section, "Description", d.description) && inst.write(section, "DBQ", d.database) &&
         inst.write(section, "OpenMode", d.openMode.value_or("0"));
}

}  // namespace

std::uint16_t localListDsns(bool kestrinOnly, std::vector<std::string>& names) {
  names.clear();
  Installer inst;
  for (const UWORD m : {static_cast<UWORD>(ODBC_SYSTEM_DSN), static_cast<UWORD>(ODBC_USER_DSN)}) {
    inst.mode(m);
    for (const auto& s : inst.sections()) {
      const auto driver = inst.value(s, "Driver");
      if (!driver) continue;
      if (kestrinOnly && !isKestrinDriver(inst, *driver)) continue;
      bool seen = false;
      for (const auto& n : names) seen = seen || kxstore::equalNoCase(n, s);
      // A name that cannot be listed without breaking the ';' list is left out.
      if (!seen && s.find(';') == std::string::npos) names.push_back(s);
    }
  }
  return KX_MGI_SUCCESS;
}

std::uint16_t localGetDsn(std::string_view name, DsnInfo& out) {
  Installer inst;
  const auto f = find(inst, name);
  if (!f || !isKestrinDriver(inst, f->driver)) return KX_MGI_DSN_DOES_NOT_EXIST;
  inst.mode(f->mode);
  out.name = f->section;
  out.description = inst.value(f->section, "Description").value_or("");
  out.database = inst.value(f->section, "DBQ").value_or("");
  out.openMode = inst.value(f->section, "OpenMode");
  return KX_MGI_SUCCESS;
}

std::uint16_t localCreateDsn(const DsnInfo& dsn) {
  if (!kxstore::makeFolders(kxstore::engineHome())) return KX_MGI_ACCESS_RIGHT;
  kxstore::StoreLock writers(writersLockPath());
  if (!writers.held()) return KX_MGI_ACCESS_RIGHT;
  Installer inst;
  if (find(inst, dsn.name)) return KX_MGI_DSN_ALREADY_EXIST;
  ensureSystemIni();
  inst.mode(ODBC_SYSTEM_DSN);
  if (!SQLWriteDSNToIni(dsn.name.c_str(), kxstore::kEngineDriverName)) return KX_MGI_ACCESS_RIGHT;
  if (!writeValues(inst, dsn, dsn.name)) {
    SQLRemoveDSNFromIni(dsn.name.c_str());  // no half-made DSN
    return KX_MGI_ACCESS_RIGHT;
  }
  return KX_MGI_SUCCESS;
}

std::uint16_t localModifyDsn(const DsnInfo& dsn) {
  if (!kxstore::makeFolders(kxstore::engineHome())) return KX_MGI_ACCESS_RIGHT;
  kxstore::StoreLock writers(writersLockPath());
  if (!writers.held()) return KX_MGI_ACCESS_RIGHT;
  Installer inst;
  const auto f = find(inst, dsn.name);
  // Only engine DSNs carry a database and an open mode; a client DSN is not turned into one.
  if (!f || !isEngineDriver(inst, f->driver)) return KX_MGI_DSN_DOES_NOT_EXIST;
  inst.mode(f->mode);
  return writeValues(inst, dsn, f->section) ? KX_MGI_SUCCESS : KX_MGI_ACCESS_RIGHT;
}

std::uint16_t localDeleteDsn(std::string_view name) {
  if (!kxstore::makeFolders(kxstore::engineHome())) return KX_MGI_ACCESS_RIGHT;
  kxstore::StoreLock writers(writersLockPath());
  if (!writers.held()) return KX_MGI_ACCESS_RIGHT;
  Installer inst;
  const auto f = find(inst, name);
  if (!f || !isKestrinDriver(inst, f->driver)) return KX_MGI_DSN_DOES_NOT_EXIST;
  inst.mode(f->mode);
  if (!SQLRemoveDSNFromIni(f->section.c_str())) return KX_MGI_ACCESS_RIGHT;
  // The installer answers true even when nothing was removed; make sure it is gone.
  return find(inst, name) ? KX_MGI_ACCESS_RIGHT : KX_MGI_SUCCESS;
}

}  // namespace kxmgi
