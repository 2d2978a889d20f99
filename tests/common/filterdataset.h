// The test engine with what the engine datasets add around filtering, searching and
// constraints: a LocateRecord that really searches the table, a check of a field's
// constraints when the field receives a value, and a check of the record constraints before
// a post.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/kxtables/session.h"
#include "tests/common/fakecursor.h"

namespace kxtest {

class FilterDataSet : public FakeCursorDataSet {
 public:
  using FakeCursorDataSet::FakeCursorDataSet;

  // ---- what tests inspect
  using TKxDataSet::FConstraintLayer;
  using TKxDataSet::FCurrentChecked;
  using TKxDataSet::FDefaultConstrains;
  using TKxDataSet::FFilterParser;
  using TKxDataSet::FFilterParseVerifier;
  using TKxDataSet::FParseConstrains;
  using TKxDataSet::FShouldCheckForEmpty;
  using TKxDataSet::CheckFieldConstrains;
  using TKxDataSet::VerifyConstrains;

  // What the searches saw.
  int LocateCalls = 0;
  bool LastSyncCursor = false;
  bool CurrentCheckedDuringSearch = false;
  int WaitDepthDuringSearch = -1;
  // The largest IsFieldConstrainVerifyState seen while a field was read.
  bool VerifyStateSeen = false;
  // Names of the fields whose constraints were checked on the way in.
  std::vector<std::string> FieldChecks;

 protected:
  // Scans the table in order for the first record that passes the filter and matches;
  // leaves the engine cursor on it.
  bool LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                    bool SyncCursor) override {
    ++LocateCalls;
    LastSyncCursor = SyncCursor;
    CurrentCheckedDuringSearch = FCurrentChecked;
    WaitDepthDuringSearch = kx::detail::SQLHourGlassNesting();
    CheckBrowseMode();
    CursorPosChanged();
    TRecordBuffer buffer = AllocRecordBuffer();
    bool found = false;
    try {
      std::vector<std::int32_t> ids;
      for (const FakeTable::Row& row : Table().Rows()) ids.push_back(row.Id);
      for (std::int32_t id : ids) {
        if (!KxInternalGotoBookmark(&id) || KxGetRecord(buffer, gmCurrent, true) != grOK) continue;
        if (!DoFiltering(buffer)) continue;
        TRecordBuffer saved = FFilterBuffer;
        FFilterBuffer = buffer;
        {
          TTempState state(this, dsFilter);
          found = IsMatchCurrentRecord(KeyFields, KeyValues, Options);
        }
        FFilterBuffer = saved;
        if (found) break;
      }
    } catch (...) {
      FreeRecordBuffer(buffer);
      throw;
    }
    FreeRecordBuffer(buffer);
    return found;
  }

 public:
  bool GetFieldData(TField* Field, void* Buffer) override {
    VerifyStateSeen = VerifyStateSeen || GetIsFieldConstrainVerifyState();
    return FakeCursorDataSet::GetFieldData(Field, Buffer);
  }
  using FakeCursorDataSet::GetFieldData;

  // A data field's new value is checked against its constraints first, in a copy of the
  // record that holds it.
  void SetFieldData(TField* Field, const void* Buffer) override {
    const TDataSetState state = GetState();
    if ((state == dsEdit || state == dsInsert) && Field->GetFieldNo() > 0) {
      FieldChecks.push_back(Field->GetFieldName());
      const std::size_t column = static_cast<std::size_t>(Field->GetFieldNo() - 1);
      const int offset = Table().Offset(column);
      const int size = FakeNativeSize(Table().Columns()[column]);
      std::vector<std::uint8_t> pending(FRecBufSize);
      std::memcpy(pending.data(), ActiveBuffer(), FRecordSize);
      pending[static_cast<std::size_t>(offset)] = Buffer != nullptr ? 1 : 0;
      if (Buffer != nullptr && size > 0) {
        std::memcpy(pending.data() + offset + 1, Buffer, static_cast<std::size_t>(size));
      }
      CheckFieldConstrains(Field->GetFieldNo(), pending.data());
    }
    FakeCursorDataSet::SetFieldData(Field, Buffer);
  }
  using FakeCursorDataSet::SetFieldData;

 protected:
  void KxInternalPost() override {
    if (!ConstraintsDisabled()) VerifyConstrains();
    FakeCursorDataSet::KxInternalPost();
  }
};

}  // namespace kxtest
