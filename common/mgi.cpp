#include "common/mgi.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstddef>
#include <utility>

#include "platform/rtl/os.h"
#include "platform/rtl/sync.h"

namespace kx {

namespace {

// Entry slots, in the order of the wrappers.
enum Slot : std::size_t {
  sKxConnectServer,
  sKxDisconnect,
  sKxGetServerName,
  sKxStart,
  sKxStop,
  sKxGetDbNamesData,
  sKxFreeDbNamesData,
  sKxGetDbName,
  sKxCreateDatabase,
  sKxDropDatabase,
  sKxModifyDatabase,
  sKxCheckDbInfo,
  sKxGetDbServerName,
  sKxGetDbFlags,
  sKxGetDbDictionaryPath,
  sKxGetDbDataPath,
  sKxGetDSN,
  sKxCountDSNs,
  sKxListDSNs,
  sKxCreateDSN,
  sKxDeleteDSN,
  sKxGetDSNEx,
  sKxModifyDSN,
  sKxGetEngineInformation,
  SlotCount
};

constexpr std::array<const char*, SlotCount> kEntryNames = {
    "KxConnectServer",  "KxDisconnect",      "KxGetServerName",       "KxStart",
    "KxStop",           "KxGetDbNamesData",  "KxFreeDbNamesData",     "KxGetDbName",
    "KxCreateDatabase", "KxDropDatabase",    "KxModifyDatabase",      "KxCheckDbInfo",
    "KxGetDbServerName", "KxGetDbFlags",     "KxGetDbDictionaryPath", "KxGetDbDataPath",
    "KxGetDSN",         "KxCountDSNs",       "KxListDSNs",            "KxCreateDSN",
    "KxDeleteDSN",      "KxGetDSNEx",        "KxModifyDSN",           "KxGetEngineInformation"};

// The binding's process-wide state. The library handle, the slots and the file name change
// only under the write lock and are read under the read lock.
struct MgiState {
  host::TMultiReadExclusiveWriteSynchronizer Lock;
  host::HMODULE Library = nullptr;
  std::array<void*, SlotCount> Slots{};
  std::string FileName = MgiLibraryName;
  bool FinalizeRegistered = false;
  // Set when kxcommon is finalized (the program ends, or the package is unloaded): from then
  // on no wrapper calls into the library or loads it again.
  std::atomic<bool> Finalized{false};
};

// Never destroyed: sessions freed late in the program's exit may still call a wrapper, which
// then finds a finalized binding instead of a destroyed one.
MgiState& State() {
  static MgiState* state = new MgiState();
  return *state;
}

// Finalization. By the time the exit handlers of kxcommon run, those of the library (its static
// objects, such as its table of connections) may already have run: C++ destroys static objects
// in the reverse order of their construction, across all libraries, and the library builds
// its own lazily. Calling KxStop or any other entry then works on destroyed objects. So
// finalization only shuts the binding: the library stays loaded until the process ends. A
// host that wants the library unloaded earlier calls detail::DeinitMgi while the library is
// still whole.
void FinalizeMgi() { State().Finalized.store(true, std::memory_order_release); }

std::uint16_t CheckCall(Slot slot) {
  MgiState& s = State();
  host::TReadLockGuard read(s.Lock);
  std::uint16_t status = 0;
  if (s.Library == nullptr) status = detail::InitMgi();
  if (status == 0 && s.Slots[slot] == nullptr) status = MGI_CALL_NOT_SUPPORTED;
  return status;
}

// Every wrapper: under the read lock, load when needed, then call the entry with the
// wrapper's own arguments. The argument types are the wrapper's parameter types, which are
// the entry's.
template <Slot S, class... Args>
std::uint16_t Call(Args... args) {
  MgiState& s = State();
  if (s.Finalized.load(std::memory_order_acquire)) return MGI_PROBLEM_TO_LOAD_DLL;
  host::TReadLockGuard read(s.Lock);
  if (const std::uint16_t status = CheckCall(S); status != 0) return status;
  using Entry = std::uint16_t (*)(Args...);
  return reinterpret_cast<Entry>(s.Slots[S])(args...);
}

}  // namespace

namespace detail {

std::uint16_t InitMgi() {
  MgiState& s = State();
  // A thread holding read locks may become the writer; another thread may have loaded the
  // library while this one waited, hence the check after taking the lock.
  host::TWriteLockGuard write(s.Lock);
  if (s.Library != nullptr) return 0;
  if (s.Finalized.load(std::memory_order_acquire)) return MGI_PROBLEM_TO_LOAD_DLL;
  std::uint16_t status = 0;
  try {
    host::HMODULE library = host::LoadLibrary(s.FileName);
    if (library == nullptr) host::RaiseLibraryError(s.FileName);
    s.Library = library;
    // Registered after the library's load, so that it runs before the exit handlers that
    // kxcommon and the engine packages registered earlier (their sessions' destructors still
    // disconnect through the wrappers). Without it the binding stays usable to the end, as it
    // is without a library.
    if (!s.FinalizeRegistered) s.FinalizeRegistered = std::atexit(FinalizeMgi) == 0;
    // A missing entry leaves its slot empty; only its own wrapper will answer 7591.
    for (std::size_t i = 0; i < SlotCount; ++i) s.Slots[i] = host::GetProcAddress(library, kEntryNames[i]);
    status = KxStart(0);
  } catch (...) {
    // The reason is not reported further: the status says the library is unusable.
    DeinitMgi();
    status = MGI_PROBLEM_TO_LOAD_DLL;
  }
  return status;
}

std::uint16_t DeinitMgi() {
  MgiState& s = State();
  host::TWriteLockGuard write(s.Lock);
  // After finalization the library's own objects may be gone: leave it to the process's end.
  if (s.Library != nullptr && !s.Finalized.load(std::memory_order_acquire)) {
    try {
      // Its status changes nothing: the library goes either way.
      static_cast<void>(KxStop(nullptr));
    } catch (...) {
      // Unloading must go on.
    }
    // A failed unload leaves nothing to undo here; the handle is forgotten either way.
    static_cast<void>(host::FreeLibrary(s.Library));
    s.Library = nullptr;
    s.Slots.fill(nullptr);
  }
  return 0;
}

std::string SetMgiLibraryFile(std::string FileName) {
  MgiState& s = State();
  host::TWriteLockGuard write(s.Lock);
  std::swap(s.FileName, FileName);
  return FileName;
}

bool IsMgiLoaded() {
  MgiState& s = State();
  host::TReadLockGuard read(s.Lock);
  return s.Library != nullptr;
}

}  // namespace detail

std::uint16_t KxConnectServer(const char* ServerName, const char* UserName, const char* Password,
                              VOSK_MGI_LONG_PTR Connection) {
  return Call<sKxConnectServer>(ServerName, UserName, Password, Connection);
}

std::uint16_t KxDisconnect(std::int32_t Connection) { return Call<sKxDisconnect>(Connection); }

std::uint16_t KxGetServerName(std::int32_t Connection, VOSK_MGI_ULONG_PTR Length, VOSK_MGI_BUFFER_PTR Buffer) {
  return Call<sKxGetServerName>(Connection, Length, Buffer);
}

std::uint16_t KxStart(std::int32_t Reserved) { return Call<sKxStart>(Reserved); }

std::uint16_t KxStop(VOSK_MGI_LONG_PTR Reserved) { return Call<sKxStop>(Reserved); }

std::uint16_t KxGetDbNamesData(std::int32_t Connection, VOSK_MGI_ULONG_PTR Count) {
  return Call<sKxGetDbNamesData>(Connection, Count);
}

std::uint16_t KxFreeDbNamesData(std::int32_t Connection) { return Call<sKxFreeDbNamesData>(Connection); }

std::uint16_t KxGetDbName(std::int32_t Connection, std::uint32_t Number, VOSK_MGI_ULONG_PTR Length,
                          VOSK_MGI_BUFFER_PTR Buffer) {
  return Call<sKxGetDbName>(Connection, Number, Length, Buffer);
}

std::uint16_t KxCreateDatabase(std::int32_t Connection, const char* DbName, const char* DictionaryPath,
                               const char* DataPath, std::uint32_t Flags) {
  return Call<sKxCreateDatabase>(Connection, DbName, DictionaryPath, DataPath, Flags);
}

std::uint16_t KxDropDatabase(std::int32_t Connection, const char* DbName, std::uint8_t Option) {
  return Call<sKxDropDatabase>(Connection, DbName, Option);
}

std::uint16_t KxModifyDatabase(std::int32_t Connection, const char* OldName, const char* NewName,
                               const char* DictionaryPath, const char* DataPath, std::uint32_t Flags) {
  return Call<sKxModifyDatabase>(Connection, OldName, NewName, DictionaryPath, DataPath, Flags);
}

std::uint16_t KxCheckDbInfo(std::int32_t Connection, const char* DbName, std::uint32_t Flags) {
  return Call<sKxCheckDbInfo>(Connection, DbName, Flags);
}

std::uint16_t KxGetDbServerName(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                                VOSK_MGI_BUFFER_PTR Buffer, VOSK_MGI_SINT_PTR IsLocal) {
  return Call<sKxGetDbServerName>(Connection, DbName, Length, Buffer, IsLocal);
}

std::uint16_t KxGetDbFlags(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Flags) {
  return Call<sKxGetDbFlags>(Connection, DbName, Flags);
}

std::uint16_t KxGetDbDictionaryPath(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                                    VOSK_MGI_BUFFER_PTR Buffer) {
  return Call<sKxGetDbDictionaryPath>(Connection, DbName, Length, Buffer);
}

std::uint16_t KxGetDbDataPath(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                              VOSK_MGI_BUFFER_PTR Buffer) {
  return Call<sKxGetDbDataPath>(Connection, DbName, Length, Buffer);
}

std::uint16_t KxGetDSN(std::int32_t Connection, const char* DsnName, VOSK_MGI_ULONG_PTR DescriptionLength,
                       VOSK_MGI_BUFFER_PTR Description, VOSK_MGI_ULONG_PTR DbNameLength,
                       VOSK_MGI_BUFFER_PTR DbName) {
  return Call<sKxGetDSN>(Connection, DsnName, DescriptionLength, Description, DbNameLength, DbName);
}

std::uint16_t KxCountDSNs(std::int32_t Connection, VOSK_MGI_ULONG_PTR Count, std::uint16_t Filter) {
  return Call<sKxCountDSNs>(Connection, Count, Filter);
}

std::uint16_t KxListDSNs(std::int32_t Connection, VOSK_MGI_ULONG_PTR Length, VOSK_MGI_BUFFER_PTR Buffer,
                         std::uint16_t Filter) {
  return Call<sKxListDSNs>(Connection, Length, Buffer, Filter);
}

std::uint16_t KxCreateDSN(std::int32_t Connection, const char* DsnName, const char* Description,
                          const char* DbName, std::int32_t OpenMode) {
  return Call<sKxCreateDSN>(Connection, DsnName, Description, DbName, OpenMode);
}

std::uint16_t KxDeleteDSN(std::int32_t Connection, const char* DsnName) {
  return Call<sKxDeleteDSN>(Connection, DsnName);
}

std::uint16_t KxGetDSNEx(std::int32_t Connection, const char* DsnName, VOSK_MGI_ULONG_PTR DescriptionLength,
                         VOSK_MGI_BUFFER_PTR Description, VOSK_MGI_ULONG_PTR DbNameLength,
                         VOSK_MGI_BUFFER_PTR DbName, VOSK_MGI_LONG_PTR OpenMode) {
  return Call<sKxGetDSNEx>(Connection, DsnName, DescriptionLength, Description, DbNameLength, DbName, OpenMode);
}

std::uint16_t KxModifyDSN(std::int32_t Connection, const char* DsnName, const char* Description,
                          const char* DbName, std::int32_t OpenMode) {
  return Call<sKxModifyDSN>(Connection, DsnName, Description, DbName, OpenMode);
}

std::uint16_t KxGetEngineInformation(std::int32_t Connection, std::uint8_t* EngineKind, VOSK_MGI_ULONG_PTR Major,
                                     VOSK_MGI_ULONG_PTR Minor, VOSK_MGI_ULONG_PTR Build,
                                     VOSK_MGI_ULONG_PTR Platform) {
  return Call<sKxGetEngineInformation>(Connection, EngineKind, Major, Minor, Build, Platform);
}

}  // namespace kx
