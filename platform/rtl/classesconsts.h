// Messages of the object half of the run-time library: lists, string lists, bit sets,
// streams, components, collections, locks and operating-system services. One table, so that
// a translation replaces the texts in one place. Placeholders follow host::Format.
#pragma once

namespace host::rtlconsts {

// Lists and collections
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
inline constexpr const char* SListCountError = "List count out of bounds (%d)";
inline constexpr const char* SSortedListError = "Operation not allowed on sorted list";
inline constexpr const char* SDuplicateString = "String list does not allow duplicates";
inline constexpr const char* SBitsIndexError = "Bits index out of range";
inline constexpr const char* SByteIndexError = "Byte index %u out of range";
inline constexpr const char* SNoItemClass = "Collection has no item class";
inline constexpr const char* SItemWrongCollection = "Item belongs to another collection";

// Objects and components
inline constexpr const char* SInvalidCast = "Invalid class typecast";
inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";
inline constexpr const char* SInvalidName = "'%s' is not a valid component name";
inline constexpr const char* SDuplicateName = "A component named %s already exists";
inline constexpr const char* SOwnerCycle = "Component %s cannot own itself or its own owner";
inline constexpr const char* SNotOwned = "Component %s is not owned by %s";
inline constexpr const char* SNilComponent = "No component given";

// Streams and files
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SSeekError = "Invalid stream position %d";
inline constexpr const char* SStreamSizeError = "Invalid stream size %d";
inline constexpr const char* SStreamSizeFixed = "A %s cannot change its size";
inline constexpr const char* SFCreateErrorEx = "Cannot create file \"%s\". %s";
inline constexpr const char* SFOpenErrorEx = "Cannot open file \"%s\". %s";
inline constexpr const char* SFileInUse = "The file is in use by another stream";
inline constexpr const char* SBadFileMode = "Invalid file mode $%x";
inline constexpr const char* SFileNotOpen = "File not open";
inline constexpr const char* SFileWriteError = "Cannot write to file \"%s\". %s";
inline constexpr const char* SFileReadError = "Cannot read from file \"%s\". %s";

// Locks
inline constexpr const char* SEndReadWithoutBegin = "EndRead without a matching BeginRead";
inline constexpr const char* SEndWriteNotWriter = "EndWrite by a thread that does not hold the write lock";
inline constexpr const char* SCriticalSectionNotOwned = "Critical section left by a thread that does not hold it";

// Operating system
inline constexpr const char* SOSError = "System Error.  Code: %d.\n%s";
inline constexpr const char* SUnkOSError = "A call to an OS function failed";
inline constexpr const char* SLibraryError = "Cannot load library \"%s\". %s";
inline constexpr const char* SUnknownException = "Unknown exception";

}  // namespace host::rtlconsts
