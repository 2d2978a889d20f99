// The dataset framework's own messages, kept apart from the library's table.
//
// Each message is a constant of type TDbMessage named like the message (SDataSetClosed,
// SFieldReadOnly, ...). Its text is looked up each time it is used, so an application may
// install translations at any time. Placeholders follow host::Format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

#define HOST_DB_MESSAGE_NAMES(X) \
  /* Dataset state */ \
  X(SDataSetClosed) \
  X(SDataSetOpen) \
  X(SDataSetEmpty) \
  X(SDataSetReadOnly) \
  X(SNotEditing) \
  X(SRecordNotFound) \
  X(SRecordChanged) \
  X(SBookmarkNotFound) \
  X(SCircularDataLink) \
  X(SDataSourceChange) \
  X(SDataSetUnidirectional) \
  X(SBlobStreamMissing) \
  X(SProviderSQLNotSupported) \
  X(SProviderExecuteNotSupported) \
  /* Fields and field definitions */ \
  X(SFieldNotFound) \
  X(SFieldReadOnly) \
  X(SFieldRequired) \
  X(SFieldAccessError) \
  X(SFieldTypeMismatch) \
  X(SFieldSizeMismatch) \
  X(SFieldRangeError) \
  X(SFieldValueError) \
  X(SInvalidIntegerValue) \
  X(SInvalidFloatValue) \
  X(SInvalidBoolValue) \
  X(SInvalidDateTimeValue) \
  X(SInvalidFieldSize) \
  X(SInvalidFieldKind) \
  X(SInvalidFieldType) \
  X(SDuplicateFieldName) \
  X(SFieldNameMissing) \
  X(SDataSetMissing) \
  X(SFieldIndexError) \
  X(SLookupInfoError) \
  X(SBCDOverflow) \
  X(SUnknownFieldType) \
  /* Indexes and keys */ \
  X(SIndexNotFound) \
  X(SDuplicateIndexName) \
  X(SNoIndexForFields) \
  X(SNotIndexField) \
  X(SIndexFieldMissing) \
  X(SNoFieldIndexes) \
  /* Parameters */ \
  X(SParameterNotFound) \
  X(SParamAccessError) \
  /* Connections */ \
  X(SConnectionNotActive) \
  /* Filter expressions */ \
  X(SInvalidKeywordUse) \
  X(SExprStringError) \
  X(SExprNameError) \
  X(SExprNothing) \
  X(SExprNoLParen) \
  X(SExprEmptyInList) \
  X(SExprNoRParenOrComma) \
  X(SExprNoRParen) \
  X(SExprTypeMis) \
  X(SExprBadScope) \
  X(SExprExpected) \
  X(SExprRangeError) \
  X(SExprBadNullTest) \
  X(STextTrue) \
  X(STextFalse)

enum class TDbMessageId : std::uint16_t {
#define HOST_DB_MESSAGE_ENUM_ITEM(name) name,
  HOST_DB_MESSAGE_NAMES(HOST_DB_MESSAGE_ENUM_ITEM)
#undef HOST_DB_MESSAGE_ENUM_ITEM
};

inline constexpr std::size_t DbMessageCount = 0
#define HOST_DB_MESSAGE_COUNT_ITEM(name) +1
    HOST_DB_MESSAGE_NAMES(HOST_DB_MESSAGE_COUNT_ITEM)
#undef HOST_DB_MESSAGE_COUNT_ITEM
    ;

// A named framework message; converting it to text yields the text in force.
class TDbMessage {
 public:
  constexpr explicit TDbMessage(TDbMessageId id) noexcept : FId(id) {}

  constexpr TDbMessageId Id() const noexcept { return FId; }
  std::string_view Name() const noexcept;
  std::string_view DefaultText() const noexcept;
  std::string Text() const;
  operator std::string() const { return Text(); }

  friend constexpr bool operator==(TDbMessage a, TDbMessage b) noexcept { return a.FId == b.FId; }

 private:
  TDbMessageId FId;
};

#define HOST_DB_MESSAGE_DECLARE(name) inline constexpr TDbMessage name{TDbMessageId::name};
HOST_DB_MESSAGE_NAMES(HOST_DB_MESSAGE_DECLARE)
#undef HOST_DB_MESSAGE_DECLARE

std::optional<TDbMessage> DbMessageAt(std::size_t index) noexcept;
std::optional<TDbMessage> FindDbMessage(std::string_view name) noexcept;

// Translation; a translated text must keep the placeholders of the built-in one.
void SetDbMessageText(TDbMessage message, std::string text);
bool SetDbMessageText(std::string_view name, std::string text);
void ResetDbMessageText(TDbMessage message);
void ResetDbMessageTexts();

}  // namespace host
