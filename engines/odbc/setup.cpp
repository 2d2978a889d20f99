// The installer's setup entry: SQLConfigDataSource loads this library (the Setup key of both
// driver sections) and calls ConfigDSN to add, change or remove a DSN. The driver manager has
// already chosen the user or system file through the config mode.
#include <odbcinst.h>

#include <string>
#include <utility>
#include <vector>

#include "engines/odbc/driver.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs parseAttributes(const char* attrs) {
  Pairs out;
  if (!attrs) return out;
  const char* p = attrs;
  while (*p) {
    std::string item(p);
    p += item.size() + 1;
    size_t eq = item.find('=');
    std::string key = eq == std::string::npos ? item : item.substr(0, eq);
    std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    while (!key.empty() && key.front() == ' ') key.erase(0, 1);
    if (!key.empty()) out.emplace_back(key, value);
  }
  return out;
}

std::string dsnDriver(const std::string& dsn) { return kxodbc::installerValue(dsn, "Driver").value_or(""); }

BOOL failWith(DWORD code, const std::string& msg) {
  SQLPostInstallerError(code, msg.c_str());
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDSN(HWND, WORD request, LPCSTR driver,
                                                                         LPCSTR attributes) {
  try {
    if (!driver || !*driver) return failWith(ODBC_ERROR_INVALID_NAME, "No driver name given");
    Pairs attrs = parseAttributes(attributes);
    std::string dsn;
    for (auto& kv : attrs)
      if (kxodbc::iequals(kv.first, "DSN")) dsn = kv.second;
    if (dsn.empty()) return failWith(ODBC_ERROR_INVALID_KEYWORD_VALUE, "No DSN given");
    if (!SQLValidDSN(dsn.c_str())) return failWith(ODBC_ERROR_INVALID_DSN, "Invalid DSN name: " + dsn);
    std::string existing = dsnDriver(dsn);
    switch (request) {
      case ODBC_ADD_DSN:
      case ODBC_ADD_SYS_DSN:
      case ODBC_CONFIG_DSN:
      case ODBC_CONFIG_SYS_DSN: {
        bool add = request == ODBC_ADD_DSN || request == ODBC_ADD_SYS_DSN;
        if (!add && existing.empty()) return failWith(ODBC_ERROR_REQUEST_FAILED, "DSN not found: " + dsn);
        // A DSN belongs to one driver; the other one reports it as not its own.
        if (!existing.empty() && !kxodbc::iequals(existing, driver))
          return failWith(ODBC_ERROR_INVALID_NAME, "DSN " + dsn + " belongs to driver " + existing);
        if (existing.empty() && !SQLWriteDSNToIni(dsn.c_str(), driver))
          return failWith(ODBC_ERROR_CREATE_DSN_FAILED, "Cannot create DSN " + dsn);
        for (auto& kv : attrs) {
          if (kxodbc::iequals(kv.first, "DSN") || kxodbc::iequals(kv.first, "Driver")) continue;
          // Empty values stay as empty keys: "present but empty" differs from "absent".
          if (!SQLWritePrivateProfileString(dsn.c_str(), kv.first.c_str(), kv.second.c_str(), "odbc.ini"))
            return failWith(ODBC_ERROR_REQUEST_FAILED, "Cannot write key " + kv.first + " of DSN " + dsn);
        }
        return 1;
      }
      case ODBC_REMOVE_DSN:
      case ODBC_REMOVE_SYS_DSN:
        if (existing.empty()) return failWith(ODBC_ERROR_REQUEST_FAILED, "DSN not found: " + dsn);
        if (!kxodbc::iequals(existing, driver))
          return failWith(ODBC_ERROR_INVALID_NAME, "DSN " + dsn + " belongs to driver " + existing);
        if (!SQLRemoveDSNFromIni(dsn.c_str())) return failWith(ODBC_ERROR_REMOVE_DSN_FAILED, "Cannot remove DSN " + dsn);
        return 1;
      default:
        return failWith(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid request type");
    }
  } catch (...) {
    return failWith(ODBC_ERROR_OUT_OF_MEM, "Out of memory");
  }
}

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDriver(HWND, WORD, LPCSTR, LPCSTR, LPSTR msg,
                                                                            WORD msgMax, WORD* msgOut) {
  if (msg && msgMax > 0) msg[0] = 0;
  if (msgOut) *msgOut = 0;
  return 1;
}
