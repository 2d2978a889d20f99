// A test engine for TKxDataSet: a dataset that implements the engine-cursor contract over rows
// kept in memory.
//
// FakeTable holds the rows; a FakeCursorDataSet opens a cursor over it. Several datasets may
// share one table, and tests may change the rows behind an open dataset's back.
//
// The cursor behaves like the real engines: a move to the first (last) record leaves the
// cursor on that record with a flag saying that the next gmNext (gmPrior) read takes the
// current record; with Filtered on, the moves step through GetRecordInTempBuf so that the
// client-side filter decides. Every contract call is recorded in Calls() ("KxInternalPost",
// "KxGetRecord(gmNext)", ...), and any of them can be told to raise a chosen exception.
//
// Record image (FRecordSize bytes): per column a not-null byte, then the column's native
// value (the field's native form); BLOB columns have only the byte, their bytes live in the
// row and reach the dataset through CreateBlobStream and the BLOB cache.
// Bookmark: the row's 32-bit id (ids start at 1 and are never reused). RecordNumber: the
// row's 1-based position in the table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/kxtables/dataset.h"
#include "platform/db/db.h"
#include "platform/rtl/stream.h"
#include "tests/common/sessiondoubles.h"

namespace kxtest {

using namespace host;

struct FakeColumn {
  std::string Name;
  TFieldType Type;
  int Size = 0;
  bool Required = false;
};

// Native size of a column's value in the record image (after the not-null byte).
inline int FakeNativeSize(const FakeColumn& C) {
  switch (C.Type) {
    case ftString: case ftFixedChar: return C.Size + 1;
    case ftWideString: return 3 * C.Size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftLargeint: case ftFloat: case ftCurrency: case ftDateTime: return 8;
    case ftBCD: return static_cast<int>(sizeof(TBcd));
    case ftBytes: return C.Size;
    case ftVarBytes: return C.Size + 2;
    default: return 0;  // BLOB types: only the not-null byte
  }
}

inline bool FakeIsBlob(TFieldType Type) { return ftBlobTypes.Contains(Type); }

// The rows of one table.
class FakeTable {
 public:
  struct Row {
    std::int32_t Id;
    std::vector<std::uint8_t> Image;
    std::vector<TBytes> Blobs;  // per column; used by BLOB columns only
  };

  explicit FakeTable(std::vector<FakeColumn> Columns) : FColumns(std::move(Columns)) {
    int offset = 0;
    for (const FakeColumn& c : FColumns) {
      FOffsets.push_back(offset);
      offset += 1 + FakeNativeSize(c);
    }
    FRecordSize = offset;
  }

  const std::vector<FakeColumn>& Columns() const { return FColumns; }
  int RecordSize() const { return FRecordSize; }
  int Offset(std::size_t Column) const { return FOffsets[Column]; }
  std::size_t ColumnIndex(const std::string& Name) const {
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (AnsiSameText(FColumns[i].Name, Name)) return i;
    }
    throw Exception("no column " + Name);
  }

  // Appends a row; values in column order (Null or missing: null). Returns its id.
  std::int32_t AddRow(const std::vector<Variant>& Values) {
    Row row = NewRow();
    for (std::size_t c = 0; c < FColumns.size(); ++c) {
      Put(row, c, c < Values.size() ? Values[c] : Null());
    }
    FRows.push_back(std::move(row));
    return FRows.back().Id;
  }
  Row NewRow() {
    Row row{FNextId++, std::vector<std::uint8_t>(static_cast<std::size_t>(FRecordSize)), {}};
    row.Blobs.resize(FColumns.size());
    return row;
  }

  std::vector<Row>& Rows() { return FRows; }
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // Position of the row with that id, or -1.
  int Find(std::int32_t Id) const {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
      if (FRows[i].Id == Id) return static_cast<int>(i);
    }
    return -1;
  }
  // The stored value of row Position, column Name (Null for null).
  Variant Value(int Position, const std::string& Name) const {
    return Get(FRows.at(static_cast<std::size_t>(Position)), ColumnIndex(Name));
  }
  // Removes a row behind every cursor's back.
  void RemoveRow(int Position) { FRows.erase(FRows.begin() + Position); }

  void Put(Row& R, std::size_t C, const Variant& V) const {
    std::uint8_t* p = R.Image.data() + FOffsets[C];
    const FakeColumn& col = FColumns[C];
    const int size = FakeNativeSize(col);
    std::memset(p, 0, static_cast<std::size_t>(1 + size));
    R.Blobs[C].clear();
    if (V.IsNull() || V.IsEmpty()) return;
    p[0] = 1;
    std::uint8_t* d = p + 1;
    auto put = [d](const auto& value) { std::memcpy(d, &value, sizeof value); };
    switch (col.Type) {
      case ftString: case ftFixedChar: case ftWideString: {
        const std::string s = V.AsString();
        std::memcpy(d, s.data(), std::min<std::size_t>(s.size(), static_cast<std::size_t>(size - 1)));
        break;
      }
      case ftSmallint: put(static_cast<std::int16_t>(V.AsInteger())); break;
      case ftWord: put(static_cast<std::uint16_t>(V.AsInteger())); break;
      case ftBoolean: put(static_cast<std::int16_t>(V.AsBoolean() ? -1 : 0)); break;
      case ftInteger: case ftAutoInc: put(V.AsInteger()); break;
      case ftLargeint: put(V.AsInt64()); break;
      case ftFloat: case ftCurrency: put(V.AsDouble()); break;
      case ftBCD: put(V.VType() == varFMTBcd ? V.AsBcd() : StrToBcd(CurrToStr(V.AsCurrency()))); break;
      case ftDate: put(DateTimeToTimeStamp(VarToDateTime(V)).Date); break;
      case ftTime: put(DateTimeToTimeStamp(VarToDateTime(V)).Time); break;
      case ftDateTime: put(TimeStampToMSecs(DateTimeToTimeStamp(VarToDateTime(V)))); break;
      default:
        if (FakeIsBlob(col.Type)) {
          const std::string s = V.AsString();
          R.Blobs[C].assign(s.begin(), s.end());
        }
        break;
    }
  }

  Variant Get(const Row& R, std::size_t C) const {
    const std::uint8_t* p = R.Image.data() + FOffsets[C];
    const FakeColumn& col = FColumns[C];
    if (p[0] == 0) return Null();
    const std::uint8_t* d = p + 1;
    auto get = [d](auto value) {
      std::memcpy(&value, d, sizeof value);
      return value;
    };
    switch (col.Type) {
      case ftString: case ftFixedChar: case ftWideString:
        return Variant(std::string(reinterpret_cast<const char*>(d),
                                   ::strnlen(reinterpret_cast<const char*>(d), static_cast<std::size_t>(FakeNativeSize(col)))));
      case ftSmallint: return Variant(static_cast<short>(get(std::int16_t{})));
      case ftWord: return Variant(static_cast<unsigned short>(get(std::uint16_t{})));
      case ftBoolean: return Variant(get(std::int16_t{}) != 0);
      case ftInteger: case ftAutoInc: return Variant(get(std::int32_t{}));
      case ftLargeint: return Variant(static_cast<long long>(get(std::int64_t{})));
      case ftFloat: case ftCurrency: return Variant(get(double{}));
      case ftBCD: return Variant(StrToCurr(BcdToStr(get(TBcd{}))));
      case ftDate: return Variant(TimeStampToDateTime(TTimeStamp{0, get(std::int32_t{})}));
      case ftTime: return Variant(TimeStampToDateTime(TTimeStamp{get(std::int32_t{}), DateDelta}));
      case ftDateTime: return Variant(TimeStampToDateTime(MSecsToTimeStamp(get(double{}))));
      default:
        if (FakeIsBlob(col.Type)) return Variant(std::string(R.Blobs[C].begin(), R.Blobs[C].end()));
        return Null();
    }
  }

 private:
  std::vector<FakeColumn> FColumns;
  std::vector<int> FOffsets;
  int FRecordSize = 0;
  std::vector<Row> FRows;
  std::int32_t FNextId = 1;
};

class FakeCursorDataSet;

// Reads a BLOB field's value from the dataset's BLOB cache or the stored row; a write stream
// starts empty and leaves its bytes in the active buffer's cache slot when destroyed, from
// where a post takes them into the row.
class FakeBlobStream : public TMemoryStream {
 public:
  FakeBlobStream(FakeCursorDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode);
  ~FakeBlobStream() override;

 private:
  FakeCursorDataSet* FDataSet;
  TBlobField* FField;
  TBlobStreamMode FMode;
  TRecordBuffer FBuffer = nullptr;
};

class FakeCursorDataSet : public kx::TKxDataSet {
 public:
  FakeCursorDataSet(TComponent* AOwner, std::shared_ptr<FakeTable> Table, kx::TKxAbsSessionList* Sessions)
      : TKxDataSet(AOwner), FTable(std::move(Table)), FSessions(Sessions) {}

  FakeTable& Table() { return *FTable; }

  // ---- test hooks
  // Contract calls in order.
  std::vector<std::string>& Calls() { return FCalls; }
  int CountCalls(const std::string& Name) const {
    return static_cast<int>(std::count(FCalls.begin(), FCalls.end(), Name));
  }
  // The next Count calls of Operation ("KxInternalPost", "KxGetRecord", "KxInternalMoveFirst",
  // ...) raise a copy of E. KxGetRecord with DoCheck false returns grError instead.
  void FailNext(const std::string& Operation, const Exception& E, int Count = 1) {
    FFailures[Operation] = {std::shared_ptr<Exception>(E.Clone()), Count};
  }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  // Turns IsMayBeSlow on regardless of the filter.
  void SetAlwaysSlow(bool Value) { FAlwaysSlow = Value; }
  // The row the engine cursor is on (-1 before the first, RowCount() after the last).
  int CursorPosition() const { return FPos; }

  // ---- what tests inspect of the base class
  using TKxDataSet::FBlobCacheOfs;
  using TKxDataSet::FBookmarkOfs;
  using TKxDataSet::FCanModify;
  using TKxDataSet::FIsDatasetEmpty;
  using TKxDataSet::FRecBufSize;
  using TKxDataSet::FRecInfoOfs;
  using TKxDataSet::FRecordSize;
  using TKxDataSet::GetRecordNumber;
  using TKxDataSet::GetRecordInTempBuf;
  using TKxDataSet::CopyRecordBuffer;
  using TKxDataSet::ClearBlobCache;
  using TKxDataSet::AllocRecordBuffer;
  using TKxDataSet::FreeRecordBuffer;
  using TKxDataSet::GetBookmarkFlag;
  using TKxDataSet::SetDBFlag;
  using TKxDataSet::LocateRecord;
  using TKxDataSet::GetRecord;
  using TKxDataSet::InitRecord;
  using TKxDataSet::InitBufferPointers;
  using TKxDataSet::BlobCacheSlotCount;

  // ---- framework
  std::int32_t GetRecordCount() override {
    CheckActive();
    return GetFiltered() ? -1 : FTable->RowCount();
  }
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override {
    if (Bookmark1.size() < 4 || Bookmark2.size() < 4) return TDataSet::CompareBookmarks(Bookmark1, Bookmark2);
    const std::int32_t a = IdOf(Bookmark1.data());
    const std::int32_t b = IdOf(Bookmark2.data());
    return a < b ? -1 : (a > b ? 1 : 0);
  }

  bool GetFieldData(TField* Field, void* Buffer) override {
    TRecordBuffer record = nullptr;
    if (!GetActiveRecBuf(record)) return false;
    const std::uint8_t* slot;
    int size;
    if (Field->GetFieldNo() > 0) {
      const std::size_t c = static_cast<std::size_t>(Field->GetFieldNo() - 1);
      slot = record + FTable->Offset(c);
      size = FakeNativeSize(FTable->Columns()[c]);
    } else {
      slot = record + FRecordSize + Field->GetOffset();
      size = Field->GetDataSize();
    }
    if (slot[0] == 0) return false;
    if (Buffer != nullptr && size > 0) std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(size));
    return true;
  }
  using TDataSet::GetFieldData;

  void SetFieldData(TField* Field, const void* Buffer) override {
    const TDataSetState state = GetState();
    if (!dsWriteModes.Contains(state)) kx::KxDatabaseError(this, SNotEditing);
    TRecordBuffer record = nullptr;
    if (!GetActiveRecBuf(record)) kx::KxDatabaseError(this, SNotEditing);
    std::uint8_t* slot;
    int size;
    if (Field->GetFieldNo() > 0) {
      if (state == dsCalcFields) kx::KxDatabaseError(this, SNotEditing);
      if (Field->GetReadOnly() && state != dsSetKey && state != dsFilter) {
        kx::KxDatabaseErrorFmt(this, SFieldReadOnly, {Field->GetDisplayName()});
      }
      Field->Validate(Buffer);
      const std::size_t c = static_cast<std::size_t>(Field->GetFieldNo() - 1);
      slot = record + FTable->Offset(c);
      size = FakeNativeSize(FTable->Columns()[c]);
    } else {
      slot = record + FRecordSize + Field->GetOffset();
      size = Field->GetDataSize();
    }
    slot[0] = Buffer != nullptr ? 1 : 0;
    if (size > 0) {
      if (Buffer != nullptr) {
        std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(size));
      } else {
        std::memset(slot + 1, 0, static_cast<std::size_t>(size));
      }
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
      DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
    }
  }
  using TDataSet::SetFieldData;

  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
    auto* blob = dynamic_cast<TBlobField*>(Field);
    if (blob == nullptr) kx::KxDatabaseErrorFmt(this, SFieldAccessError, {Field->GetDisplayName(), "Blob"});
    return std::make_unique<FakeBlobStream>(this, blob, Mode);
  }

  // ---- sessions
  kx::TKxAbsSession* GetDefaultSession() override { return FSessions->GetDefaultSession(); }
  kx::TKxAbsSessionList* GetSessions() override { return FSessions; }
  bool IsHandleNull() override { return !FHandleOpen; }

 protected:
  friend class FakeBlobStream;

  // ---- opening and closing
  void OpenCursor(bool InfoQuery) override {
    SetDBFlag(0, true);
    Call("CreateHandle");
    FHandleOpen = true;
    TDataSet::OpenCursor(InfoQuery);
  }
  void CloseCursor() override {
    TDataSet::CloseCursor();
    if (FHandleOpen) Call("DestroyHandle");
    FHandleOpen = false;
    SetDBFlag(0, false);
  }
  bool IsCursorOpen() const override { return FHandleOpen; }
  void InternalInitFieldDefs() override {
    GetFieldDefs()->Clear();
    for (const FakeColumn& c : FTable->Columns()) {
      GetFieldDefs()->Add(c.Name, c.Type, FakeIsBlob(c.Type) ? 0 : c.Size, c.Required);
    }
  }
  void InternalOpen() override {
    FRecordSize = static_cast<std::uint16_t>(FTable->RecordSize());
    SetBookmarkSize(4);
    FCanModify = !FReadOnly;
    InternalInitFieldDefs();
    if (GetDefaultFields()) CreateFields();
    BindFields(true);
    InitBufferPointers(false);
    FPos = -1;
    FFirstRecord = FLastRecord = false;
    TKxDataSet::InternalOpen();
  }

  // ---- the contract
  void KxGetBlobColumns(kx::TRecCacheUpdateInfo* /*Info*/) override { Call("KxGetBlobColumns"); }
  void KxPutBlobColumns(kx::TRecCacheUpdateInfo* /*Info*/) override { Call("KxPutBlobColumns"); }
  bool IsMayBeSlow() override { return FAlwaysSlow || TKxDataSet::IsMayBeSlow(); }
  void CacheUpdatesApplyModified(kx::TRecCacheUpdateInfo* /*Info*/) override { Call("CacheUpdatesApplyModified"); }
  void CacheUpdatesApplyInserted(kx::TRecCacheUpdateInfo* /*Info*/) override { Call("CacheUpdatesApplyInserted"); }
  void CacheUpdatesApplyDeleted(kx::TRecCacheUpdateInfo* /*Info*/) override { Call("CacheUpdatesApplyDeleted"); }

  TGetResult KxInternalMoveFirst(bool DoCheck) override {
    Call("KxInternalMoveFirst");
    FLastRecord = false;
    if (FTable->RowCount() == 0) {
      FPos = -1;
      FFirstRecord = false;
      return grEOF;
    }
    FPos = 0;
    FFirstRecord = true;
    if (GetFiltered()) {
      // The read takes the first record and steps on until one passes.
      if (GetRecordInTempBuf(gmNext, DoCheck) != grOK) {
        FFirstRecord = false;
        return grEOF;
      }
      FFirstRecord = true;
    }
    return grOK;
  }

  TGetResult KxInternalMoveLast(bool DoCheck) override {
    Call("KxInternalMoveLast");
    FFirstRecord = false;
    const int n = FTable->RowCount();
    if (n == 0) {
      FPos = 0;
      FLastRecord = false;
      return grBOF;
    }
    FPos = n - 1;
    FLastRecord = true;
    if (GetFiltered()) {
      if (GetRecordInTempBuf(gmPrior, DoCheck) != grOK) {
        FLastRecord = false;
        return grBOF;
      }
      FLastRecord = true;
    }
    return grOK;
  }

  TGetResult KxInternalMoveNext(bool DoCheck) override {
    Call("KxInternalMoveNext");
    FFirstRecord = FLastRecord = false;
    if (GetFiltered()) return GetRecordInTempBuf(gmNext, DoCheck) == grOK ? grOK : grEOF;
    FPos = std::min(FPos + 1, FTable->RowCount());
    return FPos < FTable->RowCount() ? grOK : grEOF;
  }

  TGetResult KxInternalMovePrev(bool DoCheck) override {
    Call("KxInternalMovePrev");
    FFirstRecord = FLastRecord = false;
    if (GetFiltered()) return GetRecordInTempBuf(gmPrior, DoCheck) == grOK ? grOK : grBOF;
    FPos = std::max(FPos - 1, -1);
    return FPos >= 0 ? grOK : grBOF;
  }

  TGetResult KxGetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override {
    FCalls.push_back("KxGetRecord(" + std::string(GetModeName(GetMode)) + ")");
    if (ShouldFail("KxGetRecord")) {
      if (DoCheck) Raise("KxGetRecord");
      return grError;
    }
    TGetMode mode = GetMode;
    if ((FFirstRecord && GetMode == gmNext) || (FLastRecord && GetMode == gmPrior)) mode = gmCurrent;
    if (GetMode != gmCurrent) FFirstRecord = FLastRecord = false;
    const int n = FTable->RowCount();
    for (;;) {
      switch (mode) {
        case gmCurrent:
          if (FPos < 0) return grBOF;
          if (FPos >= n) return grEOF;
          break;
        case gmNext:
          FPos = std::min(FPos + 1, n);
          if (FPos >= n) return grEOF;
          break;
        case gmPrior:
          FPos = std::max(FPos - 1, -1);
          if (FPos < 0) return grBOF;
          break;
      }
      Fill(Buffer, FPos);
      if (GetMode == gmCurrent || DoFiltering(Buffer)) return grOK;
      mode = GetMode;
    }
  }

  void KxInternalPost() override {
    Call("KxInternalPost");
    CheckPositioned("KxInternalPost");
    if (GetState() == dsInsert) {
      InsertRow(ActiveBuffer(), false);
    } else {
      WriteRow(ActiveBuffer(), FTable->Rows().at(static_cast<std::size_t>(FPos)));
    }
  }
  void KxInternalCancel() override { Call("KxInternalCancel"); }
  void KxInternalAddRecord(TRecordBuffer Buffer, bool Append) override {
    Call(Append ? "KxInternalAddRecord(append)" : "KxInternalAddRecord(insert)");
    InsertRow(Buffer, Append);
  }
  void KxInternalInsert() override { Call("KxInternalInsert"); }
  void KxInternalEdit() override {
    Call("KxInternalEdit");
    CheckPositioned("KxInternalEdit");
    // Like the engines, re-read the record to edit: another cursor may have changed it.
    const FakeTable::Row& row = FTable->Rows()[static_cast<std::size_t>(FPos)];
    std::memcpy(ActiveBuffer(), row.Image.data(), row.Image.size());
  }
  void KxInternalDelete() override {
    Call("KxInternalDelete");
    CheckPositioned("KxInternalDelete");
    FTable->RemoveRow(FPos);
    FFirstRecord = FLastRecord = false;
  }
  void KxInternalRefresh() override { Call("KxInternalRefresh"); }
  bool KxInternalGotoBookmark(const void* Bookmark) override {
    Call("KxInternalGotoBookmark");
    FFirstRecord = FLastRecord = false;
    FPos = FTable->Find(IdOf(Bookmark));
    // A vanished record leaves the cursor before the first one, so that no read delivers a
    // record in its place.
    return FPos >= 0;
  }
  bool KxInternalBookmarkValid(const void* Bookmark) override {
    Call("KxInternalBookmarkValid");
    return FTable->Find(IdOf(Bookmark)) >= 0;
  }
  void PrepareCursor() override { Call("PrepareCursor"); }

 private:
  struct Failure {
    std::shared_ptr<Exception> E;
    int Count = 0;
  };

  static std::int32_t IdOf(const void* Bookmark) {
    std::int32_t id;
    std::memcpy(&id, Bookmark, sizeof id);
    return id;
  }

  void Call(const std::string& Name) {
    FCalls.push_back(Name);
    if (ShouldFail(Name)) Raise(Name);
  }
  bool ShouldFail(const std::string& Name) {
    auto it = FFailures.find(Name);
    return it != FFailures.end() && it->second.Count > 0;
  }
  void Raise(const std::string& Name) {
    Failure& f = FFailures[Name];
    --f.Count;
    f.E->Raise();
  }

  // The framework positions the cursor on the active record before it edits, posts or
  // deletes; a wrong position would change another record.
  void CheckPositioned(const char* Operation) {
    if (GetState() == dsInsert) return;
    std::int32_t id;
    GetBookmarkData(ActiveBuffer(), &id);
    if (FPos < 0 || FPos >= FTable->RowCount() || FTable->Rows()[static_cast<std::size_t>(FPos)].Id != id) {
      throw EDatabaseError(std::string("cursor not on the active record in ") + Operation);
    }
  }

  void Fill(TRecordBuffer Buffer, int Position) {
    const FakeTable::Row& row = FTable->Rows()[static_cast<std::size_t>(Position)];
    std::memcpy(Buffer, row.Image.data(), row.Image.size());
    // Emptied before the calculated fields run, so that they never see the BLOBs of the
    // record this buffer held before.
    ClearBlobCache(Buffer);
    FGettingRecord = true;
    try {
      GetCalcFields(Buffer);
    } catch (...) {
      FGettingRecord = false;
      throw;
    }
    FGettingRecord = false;
    SetBookmarkData(Buffer, &row.Id);
    SetRecordNumber(Buffer, Position + 1);
    SetBookmarkFlag(Buffer, bfCurrent);
  }

  // Copies the record data and the written BLOBs of Buffer into Row.
  void WriteRow(TRecordBuffer Buffer, FakeTable::Row& Row) {
    std::memcpy(Row.Image.data(), Buffer, Row.Image.size());
    for (TField* field : GetFields()->List()) {
      auto* blob = dynamic_cast<TBlobField*>(field);
      if (blob == nullptr || field->GetFieldNo() <= 0 || !blob->GetModified()) continue;
      const TByteArray value = GetBlobData(field, Buffer);
      Row.Blobs[static_cast<std::size_t>(field->GetFieldNo() - 1)].assign(value.Data(), value.Data() + value.Length());
    }
  }

  // A new row at the buffer's place: before the record whose bookmark it carries, at the
  // front for bfBOF, at the end for bfEOF or Append.
  void InsertRow(TRecordBuffer Buffer, bool Append) {
    int pos = FTable->RowCount();
    if (!Append) {
      const TBookmarkFlag flag = GetBookmarkFlag(Buffer);
      if (flag == bfBOF) {
        pos = 0;
      } else if (flag == bfInserted) {
        std::int32_t id;
        GetBookmarkData(Buffer, &id);
        const int at = FTable->Find(id);
        if (at >= 0) pos = at;
      }
    }
    FakeTable::Row row = FTable->NewRow();
    WriteRow(Buffer, row);
    FTable->Rows().insert(FTable->Rows().begin() + pos, std::move(row));
    FPos = pos;
    FFirstRecord = FLastRecord = false;
  }

  std::shared_ptr<FakeTable> FTable;
  kx::TKxAbsSessionList* FSessions;
  bool FHandleOpen = false;
  bool FReadOnly = false;
  bool FAlwaysSlow = false;
  int FPos = -1;
  bool FFirstRecord = false;
  bool FLastRecord = false;
  std::vector<std::string> FCalls;
  std::map<std::string, Failure> FFailures;
};

inline FakeBlobStream::FakeBlobStream(FakeCursorDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode)
    : FDataSet(DataSet), FField(Field), FMode(Mode) {
  DataSet->GetActiveRecBuf(FBuffer);
  if (Mode != bmRead) {
    if (Field->GetReadOnly()) kx::KxDatabaseErrorFmt(DataSet, SFieldReadOnly, {Field->GetDisplayName()});
    if (DataSet->GetState() != dsEdit && DataSet->GetState() != dsInsert) kx::KxDatabaseError(DataSet, SNotEditing);
    return;
  }
  if (FBuffer == nullptr) return;
  TByteArray value = DataSet->GetBlobData(Field, FBuffer);
  if (value.Empty() && !Field->GetModified()) {
    // Not cached: from the stored row, kept in the cache for the next read.
    std::int32_t id;
    std::memcpy(&id, FBuffer + DataSet->FBookmarkOfs, sizeof id);
    const int at = DataSet->FTable->Find(id);
    if (at >= 0) {
      const TBytes& stored = DataSet->FTable->Rows()[static_cast<std::size_t>(at)].Blobs[static_cast<std::size_t>(Field->GetFieldNo() - 1)];
      value = TByteArray(stored.data(), stored.size());
      DataSet->FCalls.push_back("ReadBlob");
      if (DataSet->GetCacheBlobs()) DataSet->SetBlobData(Field, FBuffer, value);
    }
  }
  if (!value.Empty()) WriteBuffer(value.Data(), static_cast<std::int64_t>(value.Length()));
  SetPosition(0);
}

inline FakeBlobStream::~FakeBlobStream() {
  if (FMode == bmRead || FBuffer == nullptr) return;
  FDataSet->SetBlobData(FField, FBuffer, TByteArray(Memory(), static_cast<std::size_t>(Size())));
  FBuffer[FDataSet->FTable->Offset(static_cast<std::size_t>(FField->GetFieldNo() - 1))] = Size() > 0 ? 1 : 0;
  FField->SetModified(true);
  try {
    FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
  } catch (...) {
    // A destructor cannot report; the value is stored.
  }
}

}  // namespace kxtest

// ---- a fixture for the dataset tests --------------------------------------------------------

namespace kxtest {

// A form "Form1" owning a FakeCursorDataSet "Table1" with DatabaseName "Sales" over a table
// ID integer, NAME string(20), AMOUNT float, NOTES memo, holding rows with ID 1..5.
class FakeDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.reset(new TComponent(nullptr));
    form->SetName("Form1");
    table = std::make_shared<FakeTable>(std::vector<FakeColumn>{
        {"ID", ftInteger}, {"NAME", ftString, 20}, {"AMOUNT", ftFloat}, {"NOTES", ftMemo}});
    const char* names[] = {"alpha", "beta", "gamma", "delta", "epsilon"};
    for (int i = 0; i < 5; ++i) {
      table->AddRow({Variant(i + 1), Variant(std::string(names[i])), Variant(i * 1.5), Variant("note " + std::to_string(i + 1))});
    }
    ds = MakeDataSet("Table1");
  }

  FakeCursorDataSet* MakeDataSet(const std::string& Name, std::shared_ptr<FakeTable> Table = nullptr) {
    auto* d = TComponent::Create<FakeCursorDataSet>(form.get(), Table ? Table : table, &sessions);
    d->SetName(Name);
    d->SetDatabaseName("Sales");
    return d;
  }

  // The IDs from the current record to the end, and from the current record to the start.
  static std::vector<int> Forward(TDataSet* D) {
    std::vector<int> ids;
    for (; !D->GetEof(); D->Next()) ids.push_back(D->FieldByName("ID")->GetAsInteger());
    return ids;
  }
  static std::vector<int> Backward(TDataSet* D) {
    std::vector<int> ids;
    for (; !D->GetBof(); D->Prior()) ids.push_back(D->FieldByName("ID")->GetAsInteger());
    return ids;
  }
  int Id() const { return ds->FieldByName("ID")->GetAsInteger(); }
  // Positions of the table's rows by ID, in table order.
  std::vector<int> TableIds() const {
    std::vector<int> ids;
    for (int i = 0; i < table->RowCount(); ++i) ids.push_back(table->Value(i, "ID").AsInteger());
    return ids;
  }

  // Destroyed last: the form's datasets hand their databases back to these sessions.
  TestSessionList sessions;
  std::unique_ptr<TComponent> form;
  std::shared_ptr<FakeTable> table;
  FakeCursorDataSet* ds = nullptr;
};

}  // namespace kxtest
