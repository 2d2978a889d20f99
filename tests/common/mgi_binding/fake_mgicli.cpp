// A scriptable administration library for the binding's and the sessions' tests. It exports
// the 24 entries under their names, records every call with its arguments, answers with
// statuses the test chooses, and can hold a call until the test releases it. The test reaches
// the control functions (FakeMgi*) by opening this same file with dlopen: the binding and the
// test then share one copy.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

struct Fake {
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::string, int> calls;
  std::map<std::string, std::deque<std::uint16_t>> queued;
  std::map<std::string, std::uint16_t> fixed;
  std::vector<std::string> log;
  std::string blocked;  // entry that waits for FakeMgiRelease
  int waiting = 0;
  bool released = false;
  int startDelayMs = 0;
  int lastStartArgument = -1;
  bool lastStopArgumentNull = false;
  std::int32_t nextHandle = 100;
};

// Never destroyed, so late calls during the program's exit stay harmless.
Fake& fake() {
  static Fake* f = new Fake();
  return *f;
}

std::string text(const char* s) { return s == nullptr ? "<null>" : s; }

// Records the call and picks its status: a queued one first, then a fixed one, else 0.
std::uint16_t enter(const std::string& entry, const std::string& args) {
  Fake& f = fake();
  std::unique_lock guard(f.lock);
  ++f.calls[entry];
  f.log.push_back(entry + "(" + args + ")");
  if (f.blocked == entry) {
    ++f.waiting;
    f.changed.notify_all();
    f.changed.wait(guard, [&] { return f.released; });
    --f.waiting;
  }
  if (auto q = f.queued.find(entry); q != f.queued.end() && !q->second.empty()) {
    const std::uint16_t status = q->second.front();
    q->second.pop_front();
    return status;
  }
  if (auto s = f.fixed.find(entry); s != f.fixed.end()) return s->second;
  return 0;
}

std::uint16_t fillText(const std::string& value, std::uint32_t* length, char* buffer) {
  if (length == nullptr || buffer == nullptr) return 7002;
  if (*length < value.size() + 1) {
    *length = static_cast<std::uint32_t>(value.size() + 1);
    return 7003;
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  *length = static_cast<std::uint32_t>(value.size() + 1);
  return 0;
}

}  // namespace

// ---- Control ---------------------------------------------------------------------------------

FAKE_API void FakeMgiReset() {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.calls.clear();
  f.queued.clear();
  f.fixed.clear();
  f.log.clear();
  f.blocked.clear();
  f.released = false;
  f.startDelayMs = 0;
  f.lastStartArgument = -1;
  f.lastStopArgumentNull = false;
}

FAKE_API int FakeMgiCalls(const char* entry) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  auto it = f.calls.find(entry);
  return it == f.calls.end() ? 0 : it->second;
}

FAKE_API int FakeMgiLogCount() {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  return static_cast<int>(f.log.size());
}

// Copies log line `index` into buffer (truncated to size); false past the end.
FAKE_API bool FakeMgiLogLine(int index, char* buffer, std::uint32_t size) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  if (index < 0 || index >= static_cast<int>(f.log.size()) || size == 0) return false;
  std::strncpy(buffer, f.log[static_cast<std::size_t>(index)].c_str(), size - 1);
  buffer[size - 1] = '\0';
  return true;
}

FAKE_API void FakeMgiSetStatus(const char* entry, std::uint16_t status) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.fixed[entry] = status;
}

FAKE_API void FakeMgiQueueStatus(const char* entry, std::uint16_t status) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.queued[entry].push_back(status);
}

FAKE_API void FakeMgiSetStartDelay(int milliseconds) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.startDelayMs = milliseconds;
}

FAKE_API int FakeMgiLastStartArgument() {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  return f.lastStartArgument;
}

FAKE_API bool FakeMgiLastStopArgumentWasNull() {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  return f.lastStopArgumentNull;
}

// The next calls of `entry` wait inside the library until FakeMgiRelease.
FAKE_API void FakeMgiBlock(const char* entry) {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.blocked = entry;
  f.released = false;
}

// Waits until `count` calls are held (at most two seconds); true when they are.
FAKE_API bool FakeMgiWaitHeld(int count) {
  Fake& f = fake();
  std::unique_lock guard(f.lock);
  return f.changed.wait_for(guard, std::chrono::seconds(2), [&] { return f.waiting >= count; });
}

FAKE_API void FakeMgiRelease() {
  Fake& f = fake();
  std::lock_guard guard(f.lock);
  f.released = true;
  f.blocked.clear();
  f.changed.notify_all();
}

// ---- The 24 entries --------------------------------------------------------------------------

FAKE_API std::uint16_t KxConnectServer(const char* server, const char* user, const char* password,
                                       std::int32_t* handle) {
  const std::uint16_t status = enter("KxConnectServer", text(server) + "," + text(user) + "," + text(password));
  if (status == 0 && handle != nullptr) {
    Fake& f = fake();
    std::lock_guard guard(f.lock);
    *handle = f.nextHandle++;
  }
  return status;
}

FAKE_API std::uint16_t KxDisconnect(std::int32_t handle) { return enter("KxDisconnect", std::to_string(handle)); }

FAKE_API std::uint16_t KxGetServerName(std::int32_t handle, std::uint32_t* length, char* buffer) {
  const std::uint16_t status = enter("KxGetServerName", std::to_string(handle));
  return status != 0 ? status : fillText("FAKESERVER", length, buffer);
}

FAKE_API std::uint16_t KxStart(std::int32_t reserved) {
  int delay = 0;
  {
    Fake& f = fake();
    std::lock_guard guard(f.lock);
    f.lastStartArgument = reserved;
    delay = f.startDelayMs;
  }
  // Widens the window in which a second thread could start loading too.
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  return enter("KxStart", std::to_string(reserved));
}

FAKE_API std::uint16_t KxStop(std::int32_t* openConnections) {
  {
    Fake& f = fake();
    std::lock_guard guard(f.lock);
    f.lastStopArgumentNull = openConnections == nullptr;
  }
  return enter("KxStop", openConnections == nullptr ? "null" : "ptr");
}

FAKE_API std::uint16_t KxGetDbNamesData(std::int32_t handle, std::uint32_t* count) {
  const std::uint16_t status = enter("KxGetDbNamesData", std::to_string(handle));
  if (status == 0 && count != nullptr) *count = 2;
  return status;
}

FAKE_API std::uint16_t KxFreeDbNamesData(std::int32_t handle) {
  return enter("KxFreeDbNamesData", std::to_string(handle));
}

FAKE_API std::uint16_t KxGetDbName(std::int32_t handle, std::uint32_t number, std::uint32_t* length, char* buffer) {
  const std::uint16_t status =
      enter("KxGetDbName", std::to_string(handle) + "," + std::to_string(number) + "," +
                               std::to_string(length == nullptr ? 0 : *length));
  return status != 0 ? status : fillText("DB" + std::to_string(number), length, buffer);
}

FAKE_API std::uint16_t KxCreateDatabase(std::int32_t handle, const char* name, const char* dictionary,
                                        const char* data, std::uint32_t flags) {
  return enter("KxCreateDatabase", std::to_string(handle) + "," + text(name) + "," + text(dictionary) + "," +
                                       text(data) + "," + std::to_string(flags));
}

FAKE_API std::uint16_t KxDropDatabase(std::int32_t handle, const char* name, std::uint8_t option) {
  return enter("KxDropDatabase", std::to_string(handle) + "," + text(name) + "," + std::to_string(option));
}

FAKE_API std::uint16_t KxModifyDatabase(std::int32_t handle, const char* oldName, const char* newName,
                                        const char* dictionary, const char* data, std::uint32_t flags) {
  return enter("KxModifyDatabase", std::to_string(handle) + "," + text(oldName) + "," + text(newName) + "," +
                                       text(dictionary) + "," + text(data) + "," + std::to_string(flags));
}

FAKE_API std::uint16_t KxCheckDbInfo(std::int32_t handle, const char* name, std::uint32_t flags) {
  return enter("KxCheckDbInfo", std::to_string(handle) + "," + text(name) + "," + std::to_string(flags));
}

FAKE_API std::uint16_t KxGetDbServerName(std::int32_t handle, const char* name, std::uint32_t* length,
                                         char* buffer, std::int16_t* isLocal) {
  const std::uint16_t status = enter("KxGetDbServerName", std::to_string(handle) + "," + text(name));
  if (status != 0) return status;
  if (isLocal != nullptr) *isLocal = 1;
  return fillText("FAKESERVER", length, buffer);
}

FAKE_API std::uint16_t KxGetDbFlags(std::int32_t handle, const char* name, std::uint32_t* flags) {
  const std::uint16_t status = enter("KxGetDbFlags", std::to_string(handle) + "," + text(name));
  if (status == 0 && flags != nullptr) *flags = 3;
  return status;
}

FAKE_API std::uint16_t KxGetDbDictionaryPath(std::int32_t handle, const char* name, std::uint32_t* length,
                                             char* buffer) {
  const std::uint16_t status = enter("KxGetDbDictionaryPath", std::to_string(handle) + "," + text(name));
  return status != 0 ? status : fillText("/dict", length, buffer);
}

FAKE_API std::uint16_t KxGetDbDataPath(std::int32_t handle, const char* name, std::uint32_t* length, char* buffer) {
  const std::uint16_t status = enter("KxGetDbDataPath", std::to_string(handle) + "," + text(name));
  return status != 0 ? status : fillText("/data", length, buffer);
}

FAKE_API std::uint16_t KxGetDSN(std::int32_t handle, const char* dsn, std::uint32_t* descriptionLength,
                                char* description, std::uint32_t* databaseLength, char* database) {
  const std::uint16_t status = enter("KxGetDSN", std::to_string(handle) + "," + text(dsn));
  if (status != 0) return status;
  if (const std::uint16_t s = fillText("desc", descriptionLength, description); s != 0) return s;
  return fillText("db", databaseLength, database);
}

FAKE_API std::uint16_t KxCountDSNs(std::int32_t handle, std::uint32_t* count, std::uint16_t filter) {
  const std::uint16_t status = enter("KxCountDSNs", std::to_string(handle) + "," + std::to_string(filter));
  if (status == 0 && count != nullptr) *count = 1;
  return status;
}

FAKE_API std::uint16_t KxListDSNs(std::int32_t handle, std::uint32_t* length, char* buffer, std::uint16_t filter) {
  const std::uint16_t status = enter("KxListDSNs", std::to_string(handle) + "," + std::to_string(filter));
  return status != 0 ? status : fillText("A;B", length, buffer);
}

FAKE_API std::uint16_t KxCreateDSN(std::int32_t handle, const char* dsn, const char* description,
                                   const char* database, std::int32_t openMode) {
  return enter("KxCreateDSN", std::to_string(handle) + "," + text(dsn) + "," + text(description) + "," +
                                  text(database) + "," + std::to_string(openMode));
}

FAKE_API std::uint16_t KxDeleteDSN(std::int32_t handle, const char* dsn) {
  return enter("KxDeleteDSN", std::to_string(handle) + "," + text(dsn));
}

FAKE_API std::uint16_t KxGetDSNEx(std::int32_t handle, const char* dsn, std::uint32_t* descriptionLength,
                                  char* description, std::uint32_t* databaseLength, char* database,
                                  std::int32_t* openMode) {
  const std::uint16_t status = enter("KxGetDSNEx", std::to_string(handle) + "," + text(dsn));
  if (status != 0) return status;
  if (openMode != nullptr) *openMode = 2;
  if (const std::uint16_t s = fillText("desc", descriptionLength, description); s != 0) return s;
  return fillText("db", databaseLength, database);
}

FAKE_API std::uint16_t KxModifyDSN(std::int32_t handle, const char* dsn, const char* description,
                                   const char* database, std::int32_t openMode) {
  return enter("KxModifyDSN", std::to_string(handle) + "," + text(dsn) + "," + text(description) + "," +
                                  text(database) + "," + std::to_string(openMode));
}

FAKE_API std::uint16_t KxGetEngineInformation(std::int32_t handle, std::uint8_t* kind, std::uint32_t* major,
                                              std::uint32_t* minor, std::uint32_t* build, std::uint32_t* platform) {
  const std::uint16_t status = enter("KxGetEngineInformation", std::to_string(handle));
  if (status != 0) return status;
  if (kind != nullptr) *kind = 1;
  if (major != nullptr) *major = 7;
  if (minor != nullptr) *minor = 8;
  if (build != nullptr) *build = 1;
  if (platform != nullptr) *platform = 2;
  return 0;
}
