// Status codes of the record manager and the exception that carries one through the library.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace rcx {

enum Status : std::int32_t {
  kOk = 0,
  kNotSupported = -1001,
  kInvalidName = -1002,
  kInvalidParameter = -1003,
  kInvalidDatabase = -1010,
  kOutOfMemory = -1011,
  kDiskIo = -1022,
  kInvalidPath = -1023,
  kFileLocking = -1025,
  kNotADatabase = -1028,
  kFileAccessDenied = -1032,
  kBufferTooSmall = -1038,
  kTooManyColumns = -1040,
  kInvalidBookmark = -1045,
  kBufferSizeMismatch = -1047,
  kIndexInUse = -1051,
  kWriteLockFailed = -1102,
  kInvalidSession = -1104,
  kInvalidSessionOption = -1114,
  kDatabaseInUse = -1202,
  kNoSuchDatabase = -1203,
  kInvalidDatabaseName = -1204,
  kCorrupt = -1206,
  kDatabaseLocked = -1207,
  kTableLocked = -1302,
  kTableExists = -1303,
  kTableInUse = -1304,
  kNoSuchTable = -1305,
  kInvalidTable = -1310,
  kPrimaryExists = -1402,
  kIndexExists = -1403,
  kNoSuchIndex = -1404,
  kNullNotValid = -1504,
  kFieldTooLong = -1506,
  kNoSuchColumn = -1507,
  kColumnExists = -1508,
  kInvalidColumnType = -1511,
  kCannotIndex = -1513,
  kBadColumnId = -1517,
  kNoCurrentRecord = -1603,
  kDuplicateKey = -1605,
  kNoInitUpdate = -1609,
  kCannotOpenFile = -1804,
  kDiskFull = -1808,
  kPermissionDenied = -1809,
  kFileNotFound = -1811,
  kInvalidAccount = -1903,
  kInvalidPassword = -1905,
  kAccessDenied = -1907,
  kNoTransaction = -3050,
  kSavepointNotOpen = -3051,
  kSavepointInUse = -3054,
  kLoginRequired = -4828,
  kTableOpenElsewhere = -4914,
  kRecordChanged = -4919,
  kNoSuchRecord = -4956,
  kRecordLocked = -5202,
  kInvalidDate = -5208,
  kNull = 1004,
  kTruncated = 1006,
  kDataTruncated = 5203,
};

// A failure inside the library: the status for the caller and a text for VoskGetExtErrStr.
struct Error {
  std::int32_t status;
  std::string text;
};

[[noreturn]] inline void fail(std::int32_t status, std::string text = {}) { throw Error{status, std::move(text)}; }

// A general description of a status, used when no detail was recorded.
const char* describeStatus(std::int32_t status);

}  // namespace rcx
