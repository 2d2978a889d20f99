// Mgi: the binding to the engine's administration library, libmgicli78.so.
//
// The library is loaded by its bare name on the first call of any wrapper and stays loaded
// until the process ends (or detail::DeinitMgi unloads it). Each wrapper passes its arguments to the library's entry of
// the same name unchanged and returns the entry's 16-bit status unchanged; the binding adds
// two statuses of its own:
//   7590  the library cannot be loaded or started ("Unable to initialize MGI"); every later
//         call tries to load it again;
//   7591  the library is loaded but lacks the called entry; only that wrapper answers so.
// No wrapper raises for a status: sessions turn statuses into exceptions (CheckMGI).
//
// When kxcommon is finalized (the program ends) the wrappers stop calling into the library
// and answer 7590: by then the library's own static objects may already be destroyed.
//
// Threads: calls from any number of threads run concurrently under the read side of one
// process-wide multi-reader, single-writer lock; loading and unloading take the write side, so
// the library is loaded once and never freed while a call is in progress.
//
// Texts are zero-terminated 8-bit strings in the system code page; callers convert before the
// call. A length in/out holds the buffer's size on entry and the returned text's length on
// exit.
#pragma once

#include <cstdint>
#include <string>

namespace kx {

// Pointer types of the out-parameters.
using VOSK_MGI_INT_PTR = std::int32_t*;
using VOSK_MGI_LONG_PTR = std::int32_t*;
using VOSK_MGI_SINT_PTR = std::int16_t*;
using VOSK_MGI_WORD_PTR = std::uint16_t*;
using VOSK_MGI_ULONG_PTR = std::uint32_t*;
// Text buffers are bytes; char, so that callers pass their character buffers as they are.
using VOSK_MGI_BUFFER_PTR = char*;

// Filter argument of KxListDSNs and KxCountDSNs.
inline constexpr std::uint16_t DSN_Filter_True = 1;
inline constexpr std::uint16_t DSN_Filter_False = 0;

// Statuses made by the binding itself.
inline constexpr std::uint16_t MGI_PROBLEM_TO_LOAD_DLL = 7590;
inline constexpr std::uint16_t MGI_CALL_NOT_SUPPORTED = 7591;

// The file the binding loads: a bare name, found the way the system's loader finds libraries.
inline constexpr const char* MgiLibraryName = "libmgicli78.so";

// ---- The 24 wrappers, in the order of the binding's entry table ---------------------------

std::uint16_t KxConnectServer(const char* ServerName, const char* UserName, const char* Password,
                              VOSK_MGI_LONG_PTR Connection);
std::uint16_t KxDisconnect(std::int32_t Connection);
std::uint16_t KxGetServerName(std::int32_t Connection, VOSK_MGI_ULONG_PTR Length, VOSK_MGI_BUFFER_PTR Buffer);
std::uint16_t KxStart(std::int32_t Reserved);
std::uint16_t KxStop(VOSK_MGI_LONG_PTR Reserved);
std::uint16_t KxGetDbNamesData(std::int32_t Connection, VOSK_MGI_ULONG_PTR Count);
std::uint16_t KxFreeDbNamesData(std::int32_t Connection);
// Number counts from 1.
std::uint16_t KxGetDbName(std::int32_t Connection, std::uint32_t Number, VOSK_MGI_ULONG_PTR Length,
                          VOSK_MGI_BUFFER_PTR Buffer);
std::uint16_t KxCreateDatabase(std::int32_t Connection, const char* DbName, const char* DictionaryPath,
                               const char* DataPath, std::uint32_t Flags);
std::uint16_t KxDropDatabase(std::int32_t Connection, const char* DbName, std::uint8_t Option);
std::uint16_t KxModifyDatabase(std::int32_t Connection, const char* OldName, const char* NewName,
                               const char* DictionaryPath, const char* DataPath, std::uint32_t Flags);
std::uint16_t KxCheckDbInfo(std::int32_t Connection, const char* DbName, std::uint32_t Flags);
std::uint16_t KxGetDbServerName(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                                VOSK_MGI_BUFFER_PTR Buffer, VOSK_MGI_SINT_PTR IsLocal);
std::uint16_t KxGetDbFlags(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Flags);
std::uint16_t KxGetDbDictionaryPath(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                                    VOSK_MGI_BUFFER_PTR Buffer);
std::uint16_t KxGetDbDataPath(std::int32_t Connection, const char* DbName, VOSK_MGI_ULONG_PTR Length,
                              VOSK_MGI_BUFFER_PTR Buffer);
std::uint16_t KxGetDSN(std::int32_t Connection, const char* DsnName, VOSK_MGI_ULONG_PTR DescriptionLength,
                       VOSK_MGI_BUFFER_PTR Description, VOSK_MGI_ULONG_PTR DbNameLength,
                       VOSK_MGI_BUFFER_PTR DbName);
std::uint16_t KxCountDSNs(std::int32_t Connection, VOSK_MGI_ULONG_PTR Count, std::uint16_t Filter);
std::uint16_t KxListDSNs(std::int32_t Connection, VOSK_MGI_ULONG_PTR Length, VOSK_MGI_BUFFER_PTR Buffer,
                         std::uint16_t Filter);
std::uint16_t KxCreateDSN(std::int32_t Connection, const char* DsnName, const char* Description,
                          const char* DbName, std::int32_t OpenMode);
std::uint16_t KxDeleteDSN(std::int32_t Connection, const char* DsnName);
std::uint16_t KxGetDSNEx(std::int32_t Connection, const char* DsnName, VOSK_MGI_ULONG_PTR DescriptionLength,
                         VOSK_MGI_BUFFER_PTR Description, VOSK_MGI_ULONG_PTR DbNameLength,
                         VOSK_MGI_BUFFER_PTR DbName, VOSK_MGI_LONG_PTR OpenMode);
std::uint16_t KxModifyDSN(std::int32_t Connection, const char* DsnName, const char* Description,
                          const char* DbName, std::int32_t OpenMode);
std::uint16_t KxGetEngineInformation(std::int32_t Connection, std::uint8_t* EngineKind, VOSK_MGI_ULONG_PTR Major,
                                     VOSK_MGI_ULONG_PTR Minor, VOSK_MGI_ULONG_PTR Build,
                                     VOSK_MGI_ULONG_PTR Platform);

// ---- Loading and unloading -----------------------------------------------------------------
//
// Not for applications: the wrappers load on demand. Hosts that must unload the library before
// the process ends (before unloading kxcommon itself), and the binding's tests, use these.
namespace detail {

// Loads and starts the library unless it is loaded; 0, the status of KxStart, or 7590.
std::uint16_t InitMgi();
// Stops (KxStop with no argument) and frees the library when it is loaded; empties every entry
// slot. Waits for calls in progress; does nothing once kxcommon is finalized. Always 0.
std::uint16_t DeinitMgi();
// The file loaded by the next InitMgi: a bare name or a path. Returns the previous one. Has no
// effect on a library already loaded.
std::string SetMgiLibraryFile(std::string FileName);
// Whether the library is loaded now.
bool IsMgiLoaded();

}  // namespace detail

}  // namespace kx
