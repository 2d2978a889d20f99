// TKxDataSet: client-side filtering in the record loop, and matching the current record
// against key values.
#include <cmath>
#include <optional>

#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/filterstate.h"
#include "common/kxtables/session.h"
#include "common/kxtables/trace.h"
#include "platform/rtl/application.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace kx {

using namespace host;

void TKxDataSet::ActivateFilters() {
  // A previous evaluator would outlive the buffer of the parser replaced below.
  DeactivateFilters();
  if (GetFilter().empty()) return;
  FFilterParser = std::make_unique<TExprParser>(this, GetFilter(), GetFilterOptions(),
                                                TParserOptions{poExtSyntax}, "", nullptr);
  try {
    FFilterParseVerifier = std::make_unique<TParseVerifier>(this, FFilterParser->GetFilterData());
  } catch (...) {
    FFilterParser.reset();
    throw;
  }
}

void TKxDataSet::DeactivateFilters() {
  // The evaluator reads the parser's buffer: it goes first.
  FFilterParseVerifier.reset();
  FFilterParser.reset();
}

bool TKxDataSet::DoFiltering(TRecordBuffer Buffer) {
  if (!GetFiltered()) return true;
  bool accept = true;
  if (FFilterParseVerifier) accept = CheckFilter(Buffer, FFilterParseVerifier.get());
  if (accept && GetOnFilterRecord()) accept = RecordFilter(Buffer);
  return accept;
}

bool TKxDataSet::RecordFilter(TRecordBuffer Buffer) {
  bool accept = true;
  TKxFilterState state(this, FFilterBuffer, Buffer);
  try {
    GetOnFilterRecord()(this, accept);
  } catch (...) {
    // One failing record must not end the scan.
    InternalHandleException();
  }
  return accept;
}

void TKxDataSet::SetFilterText(const std::string& Value) { SetFilterData(Value, GetFilterOptions()); }

void TKxDataSet::SetFilterOptions(TFilterOptions Value) { SetFilterData(GetFilter(), Value); }

void TKxDataSet::SetFilterData(const std::string& Text, TFilterOptions Options) {
  const std::string oldText = GetFilter();
  const TFilterOptions oldOptions = GetFilterOptions();
  TDataSet::SetFilterText(Text);
  TDataSet::SetFilterOptions(Options);
  if (!GetActive()) return;
  CheckBrowseMode();
  if (GetFiltered() && (oldText != Text || oldOptions != Options)) {
    DeactivateFilters();
    CursorPosChanged();
    try {
      ActivateFilters();
    } catch (...) {
      // A text that does not parse changes nothing: the dataset keeps filtering by the
      // previous text rather than showing every record under a filter it cannot apply.
      TDataSet::SetFilterText(oldText);
      TDataSet::SetFilterOptions(oldOptions);
      try {
        ActivateFilters();
      } catch (...) {
        // The previous text parsed when it was set; should it no longer, no filter is built.
      }
      throw;
    }
    First();
    return;
  }
  if (Text.empty()) DeactivateFilters();
}

void TKxDataSet::SetFiltered(bool Value) {
  if (!GetActive()) {
    TDataSet::SetFiltered(Value);
    return;
  }
  CheckBrowseMode();
  if (Value != GetFiltered()) {
    if (Value) {
      ActivateFilters();
    } else {
      DeactivateFilters();
    }
    TDataSet::SetFiltered(Value);
  }
  First();
}

// ---- matching key values ------------------------------------------------------------------

bool TKxDataSet::LocateRecord(const std::string& KeyFields, const Variant& KeyValues,
                              TLocateOptions Options, bool /*SyncCursor*/) {
  CheckBrowseMode();
  // The engine cursor goes onto the record tested, so that reading its current record (as
  // Lookup does) reads that one and not the last record the window was filled with.
  if (!IsEmpty()) UpdateCursorPos();
  CursorPosChanged();
  return IsMatchCurrentRecord(KeyFields, KeyValues, Options);
}

bool TKxDataSet::IsMatchCurrentRecord(const std::string& KeyFields, const Variant& KeyValues,
                                      TLocateOptions Options) {
  // Without a record (an empty dataset) nothing matches, not even a key of nulls.
  TRecordBuffer record = nullptr;
  if (!GetActiveRecBuf(record)) return false;
  std::vector<TField*> fields;
  GetFieldList(fields, KeyFields);
  const bool isArray = KeyValues.IsArray();
  const int low = isArray ? KeyValues.LowBound(1) : 0;
  const int count = isArray ? KeyValues.HighBound(1) - low + 1 : 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TField* field = fields[i];
    // A key with fewer values than fields cannot match the fields it says nothing about.
    if (static_cast<int>(i) >= count) return false;
    const Variant value = isArray ? KeyValues.GetElement(low + static_cast<int>(i)) : KeyValues;
    if (value.IsNull()) {
      if (!field->GetIsNull()) return false;
      continue;
    }
    if (field->GetIsNull()) return false;
    const TFieldType type = field->GetDataType();
    const bool text = type == ftString || type == ftMemo || type == ftFmtMemo ||
                      type == ftFixedChar || type == ftWideString;
    if (Options.Contains(loPartialKey) && text) {
      const std::string key = value.AsString();
      if (key.empty()) return false;
      const std::string fieldText = field->GetAsString();
      const std::size_t keyChars = Utf8Length(key);
      if (Utf8Length(fieldText) < keyChars) return false;
      const std::string head = Utf8Copy(fieldText, 0, keyChars);
      const int cmp = Options.Contains(loCaseInsensitive) ? AnsiCompareText(head, key)
                                                          : AnsiCompareStr(head, key);
      if (cmp != 0) return false;
      continue;
    }
    if (!VariantMatchField(value, field)) return false;
  }
  return true;
}

bool TKxDataSet::VariantMatchField(const Variant& Value, TField* Field) {
  switch (Field->GetDataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
      return Value.AsInteger() == Field->GetAsInteger();
    case ftBoolean:
      return Value.AsBoolean() == Field->GetAsBoolean();
    case ftFloat:
    case ftBCD:
      return std::fabs(Value.AsDouble() - Field->GetAsFloat()) <= 5e-7;
    case ftCurrency:
      return Value.AsCurrency() == Field->GetAsCurrency();
    case ftDate:
    case ftTime:
    case ftDateTime:
      return StrToDateTime(Value.AsString()) == Field->GetAsDateTime();
    default:
      return Value.AsString() == TrimRight(Field->GetAsString());
  }
}

// ---- searching ------------------------------------------------------------------------------

bool TKxDataSet::CheckFilter(TRecordBuffer Buffer, TParseVerifier* Verifier) {
  TKxFilterState state(this, FFilterBuffer, Buffer);
  try {
    return Verifier->Verify();
  } catch (...) {
    InternalHandleException();
    return true;
  }
}

bool TKxDataSet::FindRecord(bool Restart, bool GoForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  bool found = false;
  UpdateCursorPos();
  CursorPosChanged();
  // An unfiltered dataset with a Filter text searches by that text, for this search only.
  const bool switchedOn = !GetFiltered() && !GetFilter().empty();
  if (switchedOn) {
    ActivateFilters();
    TDataSet::SetFiltered(true);
  }
  TGetResult result = grError;
  try {
    std::optional<TKxSQLHourGlass> wait;
    if (IsMayBeSlow()) wait.emplace(GetDBSession());
    if (GoForward) {
      result = Restart ? InternalMoveFirst(false) : InternalMoveNext(false);
    } else {
      result = Restart ? InternalMoveLast(false) : InternalMovePrev(false);
    }
  } catch (...) {
    if (switchedOn) {
      DeactivateFilters();
      TDataSet::SetFiltered(false);
    }
    throw;
  }
  if (switchedOn) {
    DeactivateFilters();
    TDataSet::SetFiltered(false);
  }
  if (result == grOK) {
    Resync({rmExact, rmCenter});
    found = true;
  }
  if (found) DoAfterScroll();
  return found;
}

namespace {

// Brackets the refresh of Locate with a "path" element while the locate trace is on.
class TLocatePath {
 public:
  TLocatePath() : FActive(diagnoseLocate) {
    if (FActive) trace(pathOpenLine(true));
  }
  ~TLocatePath() {
    if (!FActive) return;
    try {
      trace(kPathClose);
    } catch (...) {
      // A diagnostic must not turn into a failure of the traced call.
    }
  }
  TLocatePath(const TLocatePath&) = delete;
  TLocatePath& operator=(const TLocatePath&) = delete;

 private:
  bool FActive;
};

// Sets a flag for the lifetime of the guard.
class TFlagScope {
 public:
  explicit TFlagScope(bool& Flag) : FFlag(Flag), FSaved(Flag) { FFlag = true; }
  ~TFlagScope() { FFlag = FSaved; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace

bool TKxDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
  TKxDiagScope diag(diagnoseLocate, "locate", "TKxDataSet.Locate");
  if (FRefreshOnLocate) {
    TLocatePath path;
    Refresh();
  }
  if (FShouldCheckForEmpty && IsEmpty()) return false;
  CheckBrowseMode();
  if (IsMatchCurrentRecord(KeyFields, KeyValues, Options)) {
    const TDataSetState state = GetState();
    if (state == dsBrowse || state == dsEdit || state == dsInsert) {
      SetBookmarkFlag(ActiveBuffer(), bfCurrent);
    }
    // Going to the record's bookmark re-reads it from the engine (the refresh of a matching
    // record); a record that has gone stays shown and the cursor is put back on the window.
    if (AreBookMarksEnabled()) {
      const TBookmark bookmark = GetBookmark();
      if (BookmarkValid(bookmark)) {
        GotoBookmark(bookmark);
      } else {
        UpdateCursorPos();
      }
    } else {
      UpdateCursorPos();
    }
    return true;
  }
  DoBeforeScroll();
  bool found;
  {
    TKxSQLHourGlass wait(GetDBSession());
    // Tells the engine's search that the current record was tested already; only for this
    // search, so that a later Lookup does not skip a record it never tested.
    TFlagScope checked(FCurrentChecked);
    found = LocateRecord(KeyFields, KeyValues, Options, true);
    const bool sqlBased = FDatabase != nullptr && FDatabase->GetIsSQLBased();
    if (found && !sqlBased) {
      Resync({rmExact, rmCenter});
      DoAfterScroll();
    }
  }
  return found;
}

Variant TKxDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                           const std::string& ResultFields) {
  CheckBrowseMode();
  Variant result = Null();
  if (!LocateRecord(KeyFields, KeyValues, {}, false)) return result;
  // The search may have moved the engine cursor; the next move puts it back on the window.
  CursorPosChanged();
  TRecordBuffer buffer = TempBuffer();
  if (buffer == nullptr || GetRecord(buffer, gmCurrent, true) != grOK) return result;
  if (FGettingRecord) {
    // A descendant is in the middle of reading a record: no calculated fields now. The values
    // are read from the scratch buffer through the filter state, which shows exactly it.
    TKxFilterState state(this, FFilterBuffer, buffer);
    return GetFieldValues(ResultFields);
  }
  TTempState state(this, dsCalcFields);
  CalculateFields(buffer);
  return GetFieldValues(ResultFields);
}

}  // namespace kx
