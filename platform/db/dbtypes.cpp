#include "platform/db/dbtypes.h"

#include <array>

namespace host {
namespace {

template <std::size_t N>
std::string_view NameAt(const std::array<std::string_view, N>& names, unsigned v) noexcept {
  return v < N ? names[v] : std::string_view("?");
}

constexpr std::array<std::string_view, 13> kStates{
    "dsInactive", "dsBrowse",   "dsEdit",     "dsInsert",    "dsSetKey",
    "dsCalcFields", "dsFilter", "dsNewValue", "dsOldValue",  "dsCurValue",
    "dsBlockRead", "dsInternalCalc", "dsOpening"};

constexpr std::array<std::string_view, 15> kEvents{
    "deFieldChange",      "deRecordChange",   "deDataSetChange", "deDataSetScroll",
    "deLayoutChange",     "deUpdateRecord",   "deUpdateState",   "deCheckBrowseMode",
    "dePropertyChange",   "deFieldListChange", "deFocusControl", "deParentScroll",
    "deConnectChange",    "deReconcileError", "deDisabledStateChange"};

constexpr std::array<std::string_view, 3> kGetModes{"gmCurrent", "gmNext", "gmPrior"};
constexpr std::array<std::string_view, 4> kGetResults{"grOK", "grBOF", "grEOF", "grError"};
constexpr std::array<std::string_view, 4> kBookmarkFlags{"bfCurrent", "bfBOF", "bfEOF",
                                                         "bfInserted"};
constexpr std::array<std::string_view, 3> kUpdateKinds{"ukModify", "ukInsert", "ukDelete"};
constexpr std::array<std::string_view, 5> kUpdateActions{"uaFail", "uaAbort", "uaSkip",
                                                         "uaRetry", "uaApplied"};
constexpr std::array<std::string_view, 5> kFieldKinds{"fkData", "fkCalculated", "fkLookup",
                                                      "fkInternalCalc", "fkAggregate"};

constexpr std::array<std::string_view, FieldTypeCount> kFieldTypes{
    "ftUnknown",   "ftString",   "ftSmallint",   "ftInteger",    "ftWord",     "ftBoolean",
    "ftFloat",     "ftCurrency", "ftBCD",        "ftDate",       "ftTime",     "ftDateTime",
    "ftBytes",     "ftVarBytes", "ftAutoInc",    "ftBlob",       "ftMemo",     "ftGraphic",
    "ftFmtMemo",   "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",  "ftFixedChar",
    "ftWideString", "ftLargeint", "ftADT",       "ftArray",      "ftReference", "ftDataSet"};

constexpr std::array<std::string_view, FieldTypeCount> kFieldTypeDisplay{
    "Unknown",  "String",   "SmallInt",  "Integer",     "Word",     "Boolean",
    "Float",    "Currency", "BCD",       "Date",        "Time",     "DateTime",
    "Bytes",    "VarBytes", "AutoInc",   "Blob",        "Memo",     "Graphic",
    "FmtMemo",  "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor",  "FixedChar",
    "WideString", "Largeint", "ADT",     "Array",       "Reference", "DataSet"};

}  // namespace

std::string_view DataSetStateName(TDataSetState v) noexcept { return NameAt(kStates, v); }
std::string_view DataEventName(TDataEvent v) noexcept { return NameAt(kEvents, v); }
std::string_view GetModeName(TGetMode v) noexcept { return NameAt(kGetModes, v); }
std::string_view GetResultName(TGetResult v) noexcept { return NameAt(kGetResults, v); }
std::string_view BookmarkFlagName(TBookmarkFlag v) noexcept { return NameAt(kBookmarkFlags, v); }
std::string_view UpdateKindName(TUpdateKind v) noexcept { return NameAt(kUpdateKinds, v); }
std::string_view UpdateActionName(TUpdateAction v) noexcept { return NameAt(kUpdateActions, v); }
std::string_view FieldKindName(TFieldKind v) noexcept { return NameAt(kFieldKinds, v); }
std::string_view FieldTypeName(TFieldType v) noexcept { return NameAt(kFieldTypes, v); }
std::string_view FieldTypeDisplayName(TFieldType v) noexcept {
  return NameAt(kFieldTypeDisplay, v);
}

}  // namespace host
