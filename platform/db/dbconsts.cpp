#include "platform/db/dbconsts.h"

#include <array>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace host {
namespace {

struct MessageEntry {
  TDbMessageId id;
  std::string_view name;
  std::string_view text;
};

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

constexpr bool TableFollowsNames() {
  for (std::size_t i = 0; i < kMessages.size(); ++i) {
    if (static_cast<std::size_t>(kMessages[i].id) != i) return false;
  }
  return true;
}
static_assert(TableFollowsNames(), "message rows must be in the order of HOST_DB_MESSAGE_NAMES");

const MessageEntry& EntryOf(TDbMessageId id) noexcept {
  return kMessages[static_cast<std::size_t>(id)];
}

struct Translations {
  std::shared_mutex lock;
  std::unordered_map<std::uint16_t, std::string> texts;
};

Translations& TheTranslations() {
  static Translations translations;
  return translations;
}

}  // namespace

std::string_view TDbMessage::Name() const noexcept { return EntryOf(FId).name; }

std::string_view TDbMessage::DefaultText() const noexcept { return EntryOf(FId).text; }

std::string TDbMessage::Text() const {
  Translations& t = TheTranslations();
  std::shared_lock guard(t.lock);
  auto it = t.texts.find(static_cast<std::uint16_t>(FId));
  if (it != t.texts.end()) return it->second;
  return std::string(EntryOf(FId).text);
}

std::optional<TDbMessage> DbMessageAt(std::size_t index) noexcept {
  if (index >= kMessages.size()) return std::nullopt;
  return TDbMessage(kMessages[index].id);
}

std::optional<TDbMessage> FindDbMessage(std::string_view name) noexcept {
  for (const MessageEntry& e : kMessages) {
    if (e.name == name) return TDbMessage(e.id);
  }
  return std::nullopt;
}

void SetDbMessageText(TDbMessage message, std::string text) {
  Translations& t = TheTranslations();
  std::unique_lock guard(t.lock);
  t.texts[static_cast<std::uint16_t>(message.Id())] = std::move(text);
}

bool SetDbMessageText(std::string_view name, std::string text) {
  std::optional<TDbMessage> message = FindDbMessage(name);
  if (!message) return false;
  SetDbMessageText(*message, std::move(text));
  return true;
}

void ResetDbMessageText(TDbMessage message) {
  Translations& t = TheTranslations();
  std::unique_lock guard(t.lock);
  t.texts.erase(static_cast<std::uint16_t>(message.Id()));
}

void ResetDbMessageTexts() {
  Translations& t = TheTranslations();
  std::unique_lock guard(t.lock);
  t.texts.clear();
}

}  // namespace host
