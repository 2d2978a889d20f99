// Kxconst: the library's table of named messages.
//
// Every text the library puts into an exception comes from this table. Each message is a
// constant of type TKxMessage named like the message (SKxBlobReadOnly, SDatabaseOpen, ...);
// its text is looked up each time it is used, so an application may install translations
// (SetKxMessageText) before or after the library raised its first error. The built-in texts
// live in one table in kxconst.cpp.
//
// Placeholders follow host::Format (%s text, %d integer, %p pointer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kx {

// The names of all messages, in table order.
#define KX_MESSAGE_NAMES(X) \
  /* Context phrases appended to other messages */ \
  X(SErrCompName) \
  X(SErrCompOwnerName) \
  X(SDynamicallyCreatedNoOwner) \
  X(SErrSessionName) \
  X(SErrTableName) \
  X(SDbNameIs) \
  X(SServerNameIs) \
  X(SKxAliasSuffix) \
  X(SResultName) \
  /* Sessions */ \
  X(SAutoSessionActive) \
  X(SAutoSessionExclusive) \
  X(SAutoSessionExists) \
  X(SDuplicateSessionName) \
  X(SInvalidSessionName) \
  X(SSessionActive) \
  X(SSessionNameMissing) \
  /* Databases, connections and transactions */ \
  X(SDatabaseClosed) \
  X(SDatabaseOpen) \
  X(SDatabaseNameMissing) \
  X(SDuplicateDatabaseName) \
  X(SDatabaseHandleSet) \
  X(SLoginError) \
  X(SKxErrorSettingDirectory) \
  X(SUpdateWrongDB) \
  X(SKxNestedTransactionsNotSupported) \
  X(SKxNotInTransaction) \
  /* Cursors, tables, fields and indexes */ \
  X(SHandleError) \
  X(SKxCantCreateHandle) \
  X(SNoTableName) \
  X(SCannotDetermineTableName) \
  X(SKxFieldNotFound) \
  X(SFieldUndefinedType) \
  X(SFieldUnsupportedType) \
  X(SKxIndexNotFound) \
  X(SKxIndexWithNumNotFound) \
  X(SKxNoIndexForFields) \
  X(SKxNoIndexInTable) \
  X(SCompositeIndexError) \
  X(SKxCollectionNotFilled) \
  X(SBookmarkError) \
  X(SKxInvalidPrecision) \
  X(SKxNumericOverflow) \
  X(SBCDOverflowDuringWriteToDB) \
  X(SLinkDesigner) \
  X(SLinkMaster) \
  X(SLinkMasterSource) \
  X(SNoProvider) \
  /* Cached updates */ \
  X(SNoCachedUpdates) \
  X(SKxCachedUpdatesNotSupported) \
  X(SKxCachedUpdatesOverflow) \
  X(SKxCachedUpdatesApplyUpdatesError) \
  X(SKxCachedUpdatesBadUpdateActionValue) \
  /* BLOB streams */ \
  X(SKxBlobReadOnly) \
  X(SKxBlobWriteOnly) \
  /* Filter and constraint expressions */ \
  X(SExprNoArith) \
  X(SExprNotAgg) \
  X(SExprInvalidChar) \
  X(SExprBadField) \
  X(SExprIncorrect) \
  X(SExprBadConst) \
  X(SExprNoAggFilter) \
  X(SExprNoFunctions) \
  X(SExprTermination) \
  X(SNoFieldAccess) \
  X(SKxExprFound) \
  X(SKxParseUnknownNodeType) \
  X(SKxParseUnknownOperType) \
  X(SKxParseBadOperandType) \
  X(SKxParseBadDataType) \
  X(SKxBadVariantType) \
  X(SKxBadRetStructType) \
  X(SKxResultUndefine) \
  X(SKxExprTooDeep) \
  X(SKxExprTooLarge) \
  X(SKxExprNameTooLong) \
  /* SQL statements, results and parameters */ \
  X(SEmptySQLStatement) \
  X(SMultipleRecordsFound) \
  X(SNoRecordsFound) \
  X(SResultSetReadOnly) \
  X(SUpdateFailed) \
  X(SNoParameterType) \
  X(SNoParameterValue) \
  X(STooManyResultParameters) \
  X(SParamTooBig) \
  X(SParameterNotFound) \
  X(SInvalidVersion) \
  X(SInvalidEngineVersion) \
  /* Batch move */ \
  X(SInvalidBatchMove) \
  X(SProblemDuringBatchMove) \
  X(STableMismatch) \
  /* ODBC and data source names */ \
  X(SKxODBCError) \
  X(SKxODBCInvalidHandle) \
  X(SKxODBCUnknownErrorFromSqlGetDiagRec) \
  X(SKxODBCInstallerError) \
  X(SKxODBCUnknownErrorFromSQLInstallerError) \
  X(SKxODBCAllocateHandleENVError) \
  X(SKxODBCAllocateHandleDBCError) \
  X(SKxODBCAllocateHandleSTMTError) \
  X(SDsnAlreadyExist) \
  X(SDsnNotFound) \
  X(SKxInvalidDsnOpenMode) \
  X(SKxClientDSNsAreNotSupported) \
  /* Relational engine status codes */ \
  X(SKxSQLError) \
  /* Named databases of the record-level engine (DBNAMES) */ \
  X(SKxDBNamesError) \
  X(SKxDBNamesErrorGeneral) \
  X(SKxDBNamesInvalidParameter) \
  X(SKxDBNamesErrorCannotLocateDB) \
  X(SKxDBNamesErrorCannotOpenCfg) \
  X(SKxDBNamesErrorCanNotCreateCfg) \
  X(SKxDBNamesErrorCouldNotUpdateCfg) \
  X(SKxDBNamesErrorInvalidDDFPath) \
  X(SKxDBNamesErrorNotUniqueName) \
  X(SKxDBNamesErrorDictionaryInUse) \
  X(SKxDBNamesErrorDataDictAlreadyExist) \
  X(SKxDBNamesErrorReferTableDoesNotExist) \
  X(SKxDBNamesErrorNoMoreDBNamesDefined) \
  X(SKxDBNamesErrorInvalidBufferLenght) \
  X(SKxDBNamesErrorInvalidDBType) \
  X(SKxDBNamesErrorInvalidRIFlag) \
  X(SKxDBNamesErrorDBInUse) \
  X(SKxDBNamesErrorBoundDBCanNotShareDataFile) \
  X(SKxDBNamesErrorBoundDBCanNotShareDDFFile) \
  X(SKxDBNamesErrorDDFNotBound) \
  X(SKxDBNamesErrorDDFAlreadyBound) \
  X(SKxDBNamesErrorDDFNotNeedBeBound) \
  X(SKxDBNamesErrorDataFileNotBound) \
  X(SKxDBNamesErrorDataFileNotNeedBeBound) \
  X(SKxDBNamesErrorChangeDictLocationAndName) \
  X(SKxDBNamesErrorBindAndChangeName) \
  X(SKxDBNamesErrorUnbindAndChangeName) \
  X(SKxDBNamesErrorChangeDataLocationAndChangeName) \
  X(SKxDBNamesErrorChangeDictLocationAndBind) \
  X(SKxDBNamesErrorChangeDictLocationAndUnbind) \
  X(SKxDBNamesErrorBindAndChangeDataLocation) \
  X(SKxDBNamesErrorUnbindAndChangeDataLocation) \
  /* Administration library status codes */ \
  X(SKxMGIError) \
  X(SKxMGIErrorINVALID_HANDLE) \
  X(SKxMGIErrorNULL_PTR) \
  X(SKxMGIErrorBUFFER_TOO_SMALL) \
  X(SKxMGIErrorFAIL) \
  X(SKxMGIErrorINVALID_DATA_TYPE) \
  X(SKxMGIErrorOUT_OF_RANGE) \
  X(SKxMGIErrorINVALID_SELECTION) \
  X(SKxMGIErrorINVALID_SEQUENCE) \
  X(SKxMGIErrorDATA_UNAVAILABLE) \
  X(SKxMGIErrorINVALID_CLIENT) \
  X(SKxMGIErrorACCESS_RIGHT) \
  X(SKxMGIErrorDUPLICATE_NAME) \
  X(SKxMGIErrorNOT_EXIST) \
  X(SKxMGIErrorINVALID_VERSION) \
  X(SKxMGIErrorFILE_NOT_OPEN) \
  X(SKxMGIErrorDICTIONARY_ALREADY_EXISTS) \
  X(SKxMGIErrorSHARED_DDF_EXIST) \
  X(SKxMGIErrorINVALID_NAME) \
  X(SKxMGIErrorDSN_ALREADY_EXIST) \
  X(SKxMGIErrorDSN_DOES_NOT_EXIST) \
  X(SKxMGIErrorINVALID_OPEN_MODE) \
  X(SKxMGIErrorPROBLEM_TO_LOAD_DLL) \
  X(SKxMGIErrorCALL_NOT_SUPPORTED) \
  X(SKxMgiLoginError)

enum class TKxMessageId : std::uint16_t {
#define KX_MESSAGE_ENUM_ITEM(name) name,
  KX_MESSAGE_NAMES(KX_MESSAGE_ENUM_ITEM)
#undef KX_MESSAGE_ENUM_ITEM
};

inline constexpr std::size_t KxMessageCount = 0
#define KX_MESSAGE_COUNT_ITEM(name) +1
    KX_MESSAGE_NAMES(KX_MESSAGE_COUNT_ITEM)
#undef KX_MESSAGE_COUNT_ITEM
    ;

// A named message. Converting it to text yields the current text: the translation when
// one is installed, the built-in text otherwise.
class TKxMessage {
 public:
  constexpr explicit TKxMessage(TKxMessageId id) noexcept : FId(id) {}

  constexpr TKxMessageId Id() const noexcept { return FId; }
  // The message's name, such as "SKxBlobReadOnly".
  std::string_view Name() const noexcept;
  // The built-in (untranslated) text.
  std::string_view DefaultText() const noexcept;
  // The text in force now.
  std::string Text() const;
  operator std::string() const { return Text(); }

  friend constexpr bool operator==(TKxMessage a, TKxMessage b) noexcept { return a.FId == b.FId; }

 private:
  TKxMessageId FId;
};

#define KX_MESSAGE_DECLARE(name) inline constexpr TKxMessage name{TKxMessageId::name};
KX_MESSAGE_NAMES(KX_MESSAGE_DECLARE)
#undef KX_MESSAGE_DECLARE

// The message at a position of the table (0 to KxMessageCount - 1); none outside it.
std::optional<TKxMessage> KxMessageAt(std::size_t index) noexcept;
// The message of that exact name (case-sensitive); none when there is no such message.
std::optional<TKxMessage> FindKxMessage(std::string_view name) noexcept;

// Translation. The texts are process-wide and may be changed while other threads raise
// errors. A translated text must keep the placeholders of the built-in one.
void SetKxMessageText(TKxMessage message, std::string text);
// By name; false (and nothing changed) when no message has that name.
bool SetKxMessageText(std::string_view name, std::string text);
// Back to the built-in text of one message, or of all of them.
void ResetKxMessageText(TKxMessage message);
void ResetKxMessageTexts();

}  // namespace kx
