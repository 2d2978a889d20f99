#include "platform/db/dbconsts.h"

#include <array>

#include "platform/rtl/messagetable.h"

namespace host {
namespace {

using MessageTable = TMessageTable<TDbMessage, DbMessageCount>;
using MessageEntry = MessageTable::Row;

#define M(name, text) MessageEntry{TDbMessageId::name, #name, text}

constexpr std::array<MessageEntry, DbMessageCount> kMessages{{
    M(SDataSetClosed, "Cannot perform this operation on a closed dataset"),
    M(SDataSetOpen, "Cannot perform this operation on an open dataset"),
    M(SDataSetEmpty, "Cannot perform this operation on an empty dataset"),
    M(SDataSetReadOnly, "Cannot modify a read-only dataset"),
    M(SNotEditing, "Dataset not in edit or insert mode"),
    M(SRecordNotFound, "Record not found"),
    M(SRecordChanged, "Record not found or changed by another user"),
    M(SBookmarkNotFound, "Bookmark not found"),
    M(SCircularDataLink, "Circular datalinks are not allowed"),
    M(SDataSourceChange, "DataSource cannot be changed"),
    M(SDataSetUnidirectional, "Operation not allowed on a unidirectional dataset"),
    M(SBlobStreamMissing, "The dataset gives no stream for BLOB field '%s'"),
    M(SProviderSQLNotSupported, "SQL not supported: %s"),
    M(SProviderExecuteNotSupported, "Execute not supported: %s"),
    M(SFieldNotFound, "Field '%s' not found"),
    M(SFieldReadOnly, "Field '%s' cannot be modified"),
    M(SFieldRequired, "Field '%s' must have a value"),
    M(SFieldAccessError, "Cannot access field '%s' as type %s"),
    M(SFieldTypeMismatch, "Type mismatch for field '%s', expecting: %s actual: %s"),
    M(SFieldSizeMismatch, "Size mismatch for field '%s', expecting: %d actual: %d"),
    M(SFieldRangeError, "%s is not a valid value for field '%s'. The allowed range is %s to %s"),
    M(SFieldValueError, "Invalid value for field '%s'"),
    M(SInvalidIntegerValue, "'%s' is not a valid integer value for field '%s'"),
    M(SInvalidFloatValue, "'%s' is not a valid floating point value for field '%s'"),
    M(SInvalidBoolValue, "'%s' is not a valid boolean value for field '%s'"),
    M(SInvalidDateTimeValue, "'%s' is not a valid date and time for field '%s'"),
    M(SInvalidFieldSize, "Invalid field size"),
    M(SInvalidFieldKind, "Invalid FieldKind"),
    M(SInvalidFieldType, "Field '%s' has an invalid data type"),
    M(SDuplicateFieldName, "Duplicate field name '%s'"),
    M(SFieldNameMissing, "Field name missing"),
    M(SDataSetMissing, "Field '%s' has no dataset"),
    M(SFieldIndexError, "Field index out of range"),
    M(SLookupInfoError, "Lookup information for field '%s' is incomplete"),
    M(SBCDOverflow, "BCD overflow"),
    M(SUnknownFieldType, "Field '%s' is of an unknown type"),
    M(SIndexNotFound, "Index '%s' not found"),
    M(SDuplicateIndexName, "Duplicate index name '%s'"),
    M(SNoIndexForFields, "No index for fields '%s'"),
    M(SNotIndexField, "Field '%s' is not indexed and cannot be modified"),
    M(SIndexFieldMissing, "Cannot access index field '%s'"),
    M(SNoFieldIndexes, "No index currently active"),
    M(SParameterNotFound, "Parameter '%s' not found"),
    M(SParamAccessError, "Cannot access parameter '%s' as type %s"),
    M(SConnectionNotActive, "Connection is not active"),
    M(SInvalidKeywordUse, "Invalid use of keyword"),
    M(SExprStringError, "Unterminated string constant"),
    M(SExprNameError, "Unterminated field name"),
    M(SExprNothing, "nothing"),
    M(SExprNoLParen, "'(' expected but %s found"),
    M(SExprEmptyInList, "IN predicate list may not be empty"),
    M(SExprNoRParenOrComma, "')' or ',' expected but %s found"),
    M(SExprNoRParen, "')' expected but %s found"),
    M(SExprTypeMis, "Type mismatch in expression"),
    M(SExprBadScope, "Operation cannot mix aggregate value with record-varying value"),
    M(SExprExpected, "Expression expected but %s found"),
    M(SExprRangeError, "Constant out of range"),
    M(SExprBadNullTest, "NULL only allowed with '=' and '<>'"),
    M(STextTrue, "True"),
    M(STextFalse, "False"),
}};

#undef M

constexpr MessageTable kTable{kMessages};
static_assert(kTable.FollowsIds(), "message rows must be in the order of HOST_DB_MESSAGE_NAMES");

}  // namespace

std::string_view TDbMessage::Name() const noexcept { return kTable.Name(FId); }

std::string_view TDbMessage::DefaultText() const noexcept { return kTable.DefaultText(FId); }

std::string TDbMessage::Text() const { return kTable.Text(FId); }

std::optional<TDbMessage> DbMessageAt(std::size_t index) noexcept { return kTable.At(index); }

std::optional<TDbMessage> FindDbMessage(std::string_view name) noexcept { return kTable.Find(name); }

void SetDbMessageText(TDbMessage message, std::string text) { kTable.SetText(message, std::move(text)); }

bool SetDbMessageText(std::string_view name, std::string text) { return kTable.SetText(name, std::move(text)); }

void ResetDbMessageText(TDbMessage message) { kTable.ResetText(message); }

void ResetDbMessageTexts() { kTable.ResetTexts(); }

}  // namespace host
