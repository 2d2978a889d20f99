#include "common/kxconst.h"

#include <array>

#include "platform/rtl/messagetable.h"

namespace kx {
namespace {

using MessageTable = host::TMessageTable<TKxMessage, KxMessageCount>;
using MessageEntry = MessageTable::Row;

#define KX_MESSAGE(name, text) MessageEntry{TKxMessageId::name, #name, text}

// The built-in texts: the one table to translate.
constexpr std::array<MessageEntry, KxMessageCount> kMessages = {{
    // Context phrases appended to other messages
    KX_MESSAGE(SErrCompName, "Component is %s"),
    KX_MESSAGE(SErrCompOwnerName, "owned by %s"),
    KX_MESSAGE(SDynamicallyCreatedNoOwner, "Cannot name the component"),
    KX_MESSAGE(SErrSessionName, "Session name is %s"),
    KX_MESSAGE(SErrTableName, "Table name is %s"),
    KX_MESSAGE(SDbNameIs, "Database name is %s"),
    KX_MESSAGE(SServerNameIs, "Server name is %s"),
    KX_MESSAGE(SKxAliasSuffix, ". Alias name: "),
    KX_MESSAGE(SResultName, "Result"),
    // Sessions
    KX_MESSAGE(SAutoSessionActive, "Cannot modify SessionName while AutoSessionName is enabled"),
    KX_MESSAGE(SAutoSessionExclusive, "Cannot enable AutoSessionName property with more than one session on a form or data-module"),
    KX_MESSAGE(SAutoSessionExists, "Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled"),
    KX_MESSAGE(SDuplicateSessionName, "Duplicate session name '%s'"),
    KX_MESSAGE(SInvalidSessionName, "Invalid session name %s"),
    KX_MESSAGE(SSessionActive, "Cannot perform this operation on an active session"),
    KX_MESSAGE(SSessionNameMissing, "Session name missing"),
    // Databases, connections and transactions
    KX_MESSAGE(SDatabaseClosed, "Cannot perform this operation on a closed database"),
    KX_MESSAGE(SDatabaseOpen, "Cannot perform this operation on an open database"),
    KX_MESSAGE(SDatabaseNameMissing, "Database name missing"),
    KX_MESSAGE(SDuplicateDatabaseName, "Duplicate database name '%s'"),
    KX_MESSAGE(SDatabaseHandleSet, "Database handle owned by a different session"),
    KX_MESSAGE(SLoginError, "Cannot connect to database '%s'"),
    KX_MESSAGE(SKxErrorSettingDirectory, "Assignment to 'Directory' property is not supported"),
    KX_MESSAGE(SUpdateWrongDB, "Cannot update, %s is not owned by %s"),
    KX_MESSAGE(SKxNestedTransactionsNotSupported, "Nested transactions not supported"),
    KX_MESSAGE(SKxNotInTransaction, "Currently not in transaction"),
    // Cursors, tables, fields and indexes
    KX_MESSAGE(SHandleError, "Error creating cursor handle"),
    KX_MESSAGE(SKxCantCreateHandle, "Can not create a handle"),
    KX_MESSAGE(SNoTableName, "Missing TableName property"),
    KX_MESSAGE(SCannotDetermineTableName, "Cannot determine table name"),
    KX_MESSAGE(SKxFieldNotFound, "Field '%s' not found"),
    KX_MESSAGE(SFieldUndefinedType, "Field '%s' is of unknown type"),
    KX_MESSAGE(SFieldUnsupportedType, "Field '%s' is of an unsupported type"),
    KX_MESSAGE(SKxIndexNotFound, "%s: Index '%s' not found"),
    KX_MESSAGE(SKxIndexWithNumNotFound, "Index with number %d not found"),
    KX_MESSAGE(SKxNoIndexForFields, "'%s' has no index for fields '%s'"),
    KX_MESSAGE(SKxNoIndexInTable, "Table has no indexes"),
    KX_MESSAGE(SCompositeIndexError, "Cannot use array of Field values with Expression Indices"),
    KX_MESSAGE(SKxCollectionNotFilled, "Collection not filled"),
    KX_MESSAGE(SBookmarkError, "Bookmark is invalid"),
    KX_MESSAGE(SKxInvalidPrecision, "Invalid precision"),
    KX_MESSAGE(SKxNumericOverflow, "Numeric Overflow"),
    KX_MESSAGE(SBCDOverflowDuringWriteToDB, "BCD overflow"),
    KX_MESSAGE(SLinkDesigner, "Field '%s', from the Detail Fields list, must be linked"),
    KX_MESSAGE(SLinkMaster, "Unable to open the MasterSource Table"),
    KX_MESSAGE(SLinkMasterSource, "The MasterSource property of '%s' must be linked to a DataSource"),
    KX_MESSAGE(SNoProvider, "No provider available"),
    // Cached updates
    KX_MESSAGE(SNoCachedUpdates, "Not in cached update mode"),
    KX_MESSAGE(SKxCachedUpdatesNotSupported, "Cached updates not supported"),
    KX_MESSAGE(SKxCachedUpdatesOverflow, "Cached updates overflow"),
    KX_MESSAGE(SKxCachedUpdatesApplyUpdatesError, "Error while applying cached updates"),
    KX_MESSAGE(SKxCachedUpdatesBadUpdateActionValue, "Bad UpdateAction value"),
    // BLOB streams
    KX_MESSAGE(SKxBlobReadOnly, "BLOB stream read only"),
    KX_MESSAGE(SKxBlobWriteOnly, "BLOB stream write only"),
    // Filter and constraint expressions
    KX_MESSAGE(SExprNoArith, "Arithmetic expressions not supported"),
    KX_MESSAGE(SExprNotAgg, "Expression is not an aggregate expression"),
    KX_MESSAGE(SExprInvalidChar, "Invalid expression character: '%s'"),
    KX_MESSAGE(SExprBadField, "Field '%s' cannot be used in a expression"),
    KX_MESSAGE(SExprIncorrect, "Incorrectly formed expression"),
    KX_MESSAGE(SExprBadConst, "Constant is not correct for type %s"),
    KX_MESSAGE(SExprNoAggFilter, "Aggregate expressions not allowed"),
    KX_MESSAGE(SExprNoFunctions, "Function expressions not allowed"),
    KX_MESSAGE(SExprTermination, "Expression incorrectly terminated"),
    KX_MESSAGE(SNoFieldAccess, "Cannot access field '%s' in a filter"),
    KX_MESSAGE(SKxExprFound, "'%s' found"),
    KX_MESSAGE(SKxParseUnknownNodeType, "Unknown node type: %d"),
    KX_MESSAGE(SKxParseUnknownOperType, "Unknown node operation type: %d"),
    KX_MESSAGE(SKxParseBadOperandType, "Bad operand type"),
    KX_MESSAGE(SKxParseBadDataType, "Bad data type"),
    KX_MESSAGE(SKxBadVariantType, "Bad variant type"),
    KX_MESSAGE(SKxBadRetStructType, "Bad TRetStruct type"),
    KX_MESSAGE(SKxResultUndefine, "Result of operation is undefine"),
    KX_MESSAGE(SKxExprTooDeep, "Expression is nested too deeply"),
    KX_MESSAGE(SKxExprTooLarge, "Expression is too large"),
    KX_MESSAGE(SKxExprNameTooLong, "Field name is too long for an expression: '%s'"),
    // SQL statements, results and parameters
    KX_MESSAGE(SEmptySQLStatement, "No SQL statement available"),
    KX_MESSAGE(SMultipleRecordsFound, "Multiple records found, but only one was expected"),
    KX_MESSAGE(SNoRecordsFound, "No records found"),
    KX_MESSAGE(SResultSetReadOnly, "Result data set is read only"),
    KX_MESSAGE(SUpdateFailed, "Update failed"),
    KX_MESSAGE(SNoParameterType, "No parameter type for parameter '%s'"),
    KX_MESSAGE(SNoParameterValue, "No value for parameter '%s'"),
    KX_MESSAGE(STooManyResultParameters, "Too many result parameters"),
    KX_MESSAGE(SParamTooBig, "Parameter '%s', cannot save data larger than %d bytes"),
    KX_MESSAGE(SParameterNotFound, "Parameter '%s' not found"),
    KX_MESSAGE(SInvalidVersion, "Unable to load bind parameters"),
    KX_MESSAGE(SInvalidEngineVersion, "Invalid Relational Engine version"),
    // Batch move
    KX_MESSAGE(SInvalidBatchMove, "Invalid batch move parameters"),
    KX_MESSAGE(SProblemDuringBatchMove, "A problem(s) detected during batch move"),
    KX_MESSAGE(STableMismatch, "Source and destination tables are incompatible"),
    // ODBC and data source names
    KX_MESSAGE(SKxODBCError, "ODBC error %d"),
    KX_MESSAGE(SKxODBCInvalidHandle, "The handle indicated by handle type %d and handle $%p is not a valid handle"),
    KX_MESSAGE(SKxODBCUnknownErrorFromSqlGetDiagRec, "Unknown error while trying to get extended error info from SQLGetDiagRec: %d"),
    KX_MESSAGE(SKxODBCInstallerError, "ODBC Installer function error"),
    KX_MESSAGE(SKxODBCUnknownErrorFromSQLInstallerError, "Unknown error while trying to get extended error info from SQLInstallerError: %d"),
    KX_MESSAGE(SKxODBCAllocateHandleENVError, "Cannot allocate environment handle"),
    KX_MESSAGE(SKxODBCAllocateHandleDBCError, "Cannot allocate connection handle"),
    KX_MESSAGE(SKxODBCAllocateHandleSTMTError, "Cannot allocate statement handle"),
    KX_MESSAGE(SDsnAlreadyExist, "DSN already exists"),
    KX_MESSAGE(SDsnNotFound, "DSN not found"),
    KX_MESSAGE(SKxInvalidDsnOpenMode, "Invalid open mode"),
    KX_MESSAGE(SKxClientDSNsAreNotSupported, "Client DSNs are not supported on remote servers"),
    // Relational engine status codes
    KX_MESSAGE(SKxSQLError, "Zirvel error %d"),
    // Named databases of the record-level engine (DBNAMES)
    KX_MESSAGE(SKxDBNamesError, "DB names API error %d"),
    KX_MESSAGE(SKxDBNamesErrorGeneral, "General DB names API error"),
    KX_MESSAGE(SKxDBNamesInvalidParameter, "Invalid parameters count"),
    KX_MESSAGE(SKxDBNamesErrorCannotLocateDB, "Cannot locate the alias"),
    KX_MESSAGE(SKxDBNamesErrorCannotOpenCfg, "Cannot open DBNAMES.CFG file"),
    KX_MESSAGE(SKxDBNamesErrorCanNotCreateCfg, "Cannot create DBNAMES.CFG file"),
    KX_MESSAGE(SKxDBNamesErrorCouldNotUpdateCfg, "DBNAMES.CFG could not be updated"),
    KX_MESSAGE(SKxDBNamesErrorInvalidDDFPath, "The specified path for data dictionary or data file locations is invalid"),
    KX_MESSAGE(SKxDBNamesErrorNotUniqueName, "The database name must be unique"),
    KX_MESSAGE(SKxDBNamesErrorDictionaryInUse, "The data dictionary is in use"),
    KX_MESSAGE(SKxDBNamesErrorDataDictAlreadyExist, "The specified data dictionary already exists"),
    KX_MESSAGE(SKxDBNamesErrorReferTableDoesNotExist, "A referenced table does not exist"),
    KX_MESSAGE(SKxDBNamesErrorNoMoreDBNamesDefined, "No more database names are defined"),
    KX_MESSAGE(SKxDBNamesErrorInvalidBufferLenght, "Invalid buffer Length"),
    KX_MESSAGE(SKxDBNamesErrorInvalidDBType, "The database type is invalid"),
    KX_MESSAGE(SKxDBNamesErrorInvalidRIFlag, "The specified RI flag is invalid"),
    KX_MESSAGE(SKxDBNamesErrorDBInUse, "The database is in use"),
    KX_MESSAGE(SKxDBNamesErrorBoundDBCanNotShareDataFile, "The bound database cannot share table data file"),
    KX_MESSAGE(SKxDBNamesErrorBoundDBCanNotShareDDFFile, "The bound database cannot share data dictionary files"),
    KX_MESSAGE(SKxDBNamesErrorDDFNotBound, "Data dictionary files are not bound"),
    KX_MESSAGE(SKxDBNamesErrorDDFAlreadyBound, "Data dictionary files are already bound"),
    KX_MESSAGE(SKxDBNamesErrorDDFNotNeedBeBound, "Data dictionary files are bound, but do not need to be bound"),
    KX_MESSAGE(SKxDBNamesErrorDataFileNotBound, "Data file for a table is not bound"),
    KX_MESSAGE(SKxDBNamesErrorDataFileNotNeedBeBound, "Data file for a table is bound, but does not need to be bound"),
    KX_MESSAGE(SKxDBNamesErrorChangeDictLocationAndName, "Not allowed to change data dictionary location and change name at the same time"),
    KX_MESSAGE(SKxDBNamesErrorBindAndChangeName, "Not allowed to bind database and change name at the same time"),
    KX_MESSAGE(SKxDBNamesErrorUnbindAndChangeName, "Not allowed to unbind database and change name at the same time"),
    KX_MESSAGE(SKxDBNamesErrorChangeDataLocationAndChangeName, "Not allowed to change data locations and change name at the same time"),
    KX_MESSAGE(SKxDBNamesErrorChangeDictLocationAndBind, "Not allowed to change data dictionary location and bind database at the same time"),
    KX_MESSAGE(SKxDBNamesErrorChangeDictLocationAndUnbind, "Not allowed to change data dictionary location and unbind database at the same time"),
    KX_MESSAGE(SKxDBNamesErrorBindAndChangeDataLocation, "Not allowed to bind database and change data locations at the same time"),
    KX_MESSAGE(SKxDBNamesErrorUnbindAndChangeDataLocation, "Not allowed to unbind database and change data locations at the same time"),
    // Administration library status codes
    KX_MESSAGE(SKxMGIError, "MGI error %d"),
    KX_MESSAGE(SKxMGIErrorINVALID_HANDLE, "Invalid connection handle"),
    KX_MESSAGE(SKxMGIErrorNULL_PTR, "Call with NULL pointer"),
    KX_MESSAGE(SKxMGIErrorBUFFER_TOO_SMALL, "The buffer is too small"),
    KX_MESSAGE(SKxMGIErrorFAIL, "MGI call failed. Probably, you don't have enough access rights for requested operation or server is not found"),
    KX_MESSAGE(SKxMGIErrorINVALID_DATA_TYPE, "Invalid data type"),
    KX_MESSAGE(SKxMGIErrorOUT_OF_RANGE, "Out of range"),
    KX_MESSAGE(SKxMGIErrorINVALID_SELECTION, "Invalid selection"),
    KX_MESSAGE(SKxMGIErrorINVALID_SEQUENCE, "Sequence number is not valid"),
    KX_MESSAGE(SKxMGIErrorDATA_UNAVAILABLE, "Data for database name are not available"),
    KX_MESSAGE(SKxMGIErrorINVALID_CLIENT, "Invalid client"),
    KX_MESSAGE(SKxMGIErrorACCESS_RIGHT, "Insufficient access rights"),
    KX_MESSAGE(SKxMGIErrorDUPLICATE_NAME, "Named database already exists on the server"),
    KX_MESSAGE(SKxMGIErrorNOT_EXIST, "Named database does not exist"),
    KX_MESSAGE(SKxMGIErrorINVALID_VERSION, "Invalid MGI version"),
    KX_MESSAGE(SKxMGIErrorFILE_NOT_OPEN, "File is not opened"),
    KX_MESSAGE(SKxMGIErrorDICTIONARY_ALREADY_EXISTS, "Dictionary path is used by another database"),
    KX_MESSAGE(SKxMGIErrorSHARED_DDF_EXIST, "DDF files already exist at the dictionary path"),
    KX_MESSAGE(SKxMGIErrorINVALID_NAME, "Invalid DSN name"),
    KX_MESSAGE(SKxMGIErrorDSN_ALREADY_EXIST, "DSN already exists"),
    KX_MESSAGE(SKxMGIErrorDSN_DOES_NOT_EXIST, "DSN does not exist"),
    KX_MESSAGE(SKxMGIErrorINVALID_OPEN_MODE, "Invalid open mode"),
    KX_MESSAGE(SKxMGIErrorPROBLEM_TO_LOAD_DLL, "Unable to initialize MGI"),
    KX_MESSAGE(SKxMGIErrorCALL_NOT_SUPPORTED, "Requested MGI call is not supported by Zirvel engine. Most probably, you are using old or incompatible version"),
    KX_MESSAGE(SKxMgiLoginError, "Cannot connect to server '%s'."),
}};

#undef KX_MESSAGE

constexpr MessageTable kTable{kMessages};
static_assert(kTable.FollowsIds(), "message rows must be in the order of KX_MESSAGE_NAMES");
static_assert(KxMessageCount == 160);

}  // namespace

std::string_view TKxMessage::Name() const noexcept { return kTable.Name(FId); }

std::string_view TKxMessage::DefaultText() const noexcept { return kTable.DefaultText(FId); }

std::string TKxMessage::Text() const { return kTable.Text(FId); }

std::optional<TKxMessage> KxMessageAt(std::size_t index) noexcept { return kTable.At(index); }

std::optional<TKxMessage> FindKxMessage(std::string_view name) noexcept { return kTable.Find(name); }

void SetKxMessageText(TKxMessage message, std::string text) { kTable.SetText(message, std::move(text)); }

bool SetKxMessageText(std::string_view name, std::string text) { return kTable.SetText(name, std::move(text)); }

void ResetKxMessageText(TKxMessage message) { kTable.ResetText(message); }

void ResetKxMessageTexts() { kTable.ResetTexts(); }

}  // namespace kx
