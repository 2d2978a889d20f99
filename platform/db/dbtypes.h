// Enumerations, sets and basic types of the dataset framework.
//
// The enumerations are unscoped on purpose: their members (dsBrowse, ftString, gmNext, ...) are
// the names every dataset uses, and they read as they always have. Each has a name table, since
// trace output prints values by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/rtl/sets.h"

namespace host {

// ---- record buffers and bookmarks ---------------------------------------------------------

// A record buffer: a raw block whose layout belongs to the dataset that allocated it.
using TRecordBuffer = std::uint8_t*;

// A bookmark: the dataset's BookmarkSize bytes. Empty means "no bookmark".
using TBookmark = std::vector<std::uint8_t>;

// ---- dataset states and protocol enumerations ---------------------------------------------

enum TDataSetState : std::uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening,
};
using TDataSetStates = TSet<TDataSetState>;
inline constexpr TDataSetStates dsEditModes{dsEdit, dsInsert, dsSetKey};
inline constexpr TDataSetStates dsWriteModes{dsEdit, dsInsert, dsSetKey, dsCalcFields,
                                             dsFilter, dsNewValue, dsInternalCalc};

enum TDataEvent : std::uint8_t {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,
  deParentScroll,
  deConnectChange,
  deReconcileError,
  deDisabledStateChange,
};

enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };

enum TBookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TResyncModeItem : std::uint8_t { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;

enum TDataAction : std::uint8_t { daFail, daAbort, daRetry };

enum TUpdateKind : std::uint8_t { ukModify, ukInsert, ukDelete };
enum TUpdateAction : std::uint8_t { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TUpdateStatus : std::uint8_t { usUnmodified, usModified, usInserted, usDeleted };
enum TUpdateRecordType : std::uint8_t { rtModified, rtInserted, rtDeleted, rtUnmodified };
using TUpdateRecordTypes = TSet<TUpdateRecordType>;
enum TUpdateMode : std::uint8_t { upWhereAll, upWhereChanged, upWhereKeyOnly };

enum TLocateOption : std::uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum TFilterOption : std::uint8_t { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
using TFieldKinds = TSet<TFieldKind>;

enum TProviderFlag : std::uint8_t { pfInUpdate, pfInWhere, pfInKey, pfHidden };
using TProviderFlags = TSet<TProviderFlag>;

enum TIndexOption : std::uint8_t {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained,
};
using TIndexOptions = TSet<TIndexOption>;

enum TBlobStreamMode : std::uint8_t { bmRead, bmWrite, bmReadWrite };

enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };
using TParamTypes = TSet<TParamType>;

// Kinds of index definitions a provider asks for (PSGetIndexDefs).
enum TIndexType : std::uint8_t { itPrimary, itUnique, itDefault };
using TIndexTypes = TSet<TIndexType>;

enum TFieldAttribute : std::uint8_t {
  faHiddenCol,
  faReadonly,
  faRequired,
  faLink,
  faUnNamed,
  faFixed,
};
using TFieldAttributes = TSet<TFieldAttribute>;

// The field types, with their customary ordinals (expression buffers store them).
enum TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
};
inline constexpr int FieldTypeCount = ftDataSet + 1;
using TFieldTypes = TSet<TFieldType>;

inline constexpr TFieldTypes ftBlobTypes{ftBlob,       ftMemo,        ftGraphic,   ftFmtMemo,
                                         ftParadoxOle, ftDBaseOle,    ftTypedBinary};
inline constexpr TFieldTypes ftTextTypes{ftString, ftFixedChar, ftWideString, ftMemo, ftFmtMemo};

// ---- names ------------------------------------------------------------------------------

// Member names as written in code ("dsBrowse", "deDataSetChange", "grOK", "ftString", ...).
std::string_view DataSetStateName(TDataSetState v) noexcept;
std::string_view DataEventName(TDataEvent v) noexcept;
std::string_view GetModeName(TGetMode v) noexcept;
std::string_view GetResultName(TGetResult v) noexcept;
std::string_view BookmarkFlagName(TBookmarkFlag v) noexcept;
std::string_view UpdateKindName(TUpdateKind v) noexcept;
std::string_view UpdateActionName(TUpdateAction v) noexcept;
std::string_view FieldKindName(TFieldKind v) noexcept;
std::string_view FieldTypeName(TFieldType v) noexcept;  // "ftString"
// The short type names used in messages ("String", "Integer", "BCD", ...).
std::string_view FieldTypeDisplayName(TFieldType v) noexcept;

}  // namespace host
