// An in-memory dataset for tests: a complete implementation of the record-buffer protocol over
// rows kept in memory, with the hooks tests need (a call log, injected failures, moving the
// cursor behind the framework's back, rows that vanish underneath an open dataset).
//
// Any test program may include this header; it needs only the platform library.
//
// Record buffer layout:
//   [0, RecordSize)                 per column a not-null byte, then the native value (BLOB
//                                   columns: the byte only; their data lives in the row)
//   [RecordSize, +CalcFieldsSize)   calculated and lookup fields: a not-null byte, then the value
//   [BlobOfs, +BlobCount*SlotSize)  one TByteArray slot per BLOB field: a value written in the
//                                   buffer and not yet posted
//   [InfoOfs, +8)                   the bookmark (a 32-bit row id) and the bookmark flag
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/db/db.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/stream.h"

namespace kxtest {

using namespace host;

class MemDataSet : public TDataSet {
 public:
  struct Column {
    std::string Name;
    TFieldType Type;
    int Size;
    bool Required;
    int Precision;
  };

  explicit MemDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner), FMasterLink(std::make_unique<TMasterDataLink>(this)) {
    FMasterLink->SetOnMasterChange([this](TObject*) { MasterChanged(); });
    FMasterLink->SetOnMasterDisable([this](TObject*) { MasterDisabled(); });
  }

  ~MemDataSet() override {
    // Also correct for a dataset that is not deleted through its owner.
    Destroying();
    Close();
    FreeScratch();
  }

  // ---- definition and storage (usable while closed)
  void AddColumn(const std::string& Name, TFieldType Type, int Size = 0, bool Required = false, int Precision = 0) {
    CheckInactive();
    FColumns.push_back({Name, Type, Size, Required, Precision});
    FLayoutDirty = true;
  }
  const std::vector<Column>& Columns() const { return FColumns; }

  // Appends a row directly to the storage; values in column order (Null or Empty: null).
  std::int32_t AddRow(const std::vector<Variant>& Values) {
    EnsureLayout();
    Row row{FNextId++, NewSlot(), false};
    for (std::size_t c = 0; c < FColumns.size() && c < Values.size(); ++c) PutNative(row.Slot, c, Values[c]);
    FRows.push_back(row);
    FIndexDirty = true;
    return row.Id;
  }
  int RowCount() const {
    return static_cast<int>(std::count_if(FRows.begin(), FRows.end(), [](const Row& r) { return !r.Deleted; }));
  }
  // The stored value of a live row (by position among live rows) and column.
  Variant StoredValue(int LiveIndex, const std::string& ColumnName) {
    EnsureLayout();
    const std::size_t pos = LivePosition(LiveIndex);
    return GetNative(FRows[pos].Slot, ColumnIndex(ColumnName));
  }
  std::int32_t StoredId(int LiveIndex) { return FRows[LivePosition(LiveIndex)].Id; }
  // Removes a row from the storage as another user would: the dataset is not told.
  void VanishRow(std::int32_t Id) {
    RebuildIndex();
    auto it = FIndexOfId.find(Id);
    if (it != FIndexOfId.end()) FRows[it->second].Deleted = true;
  }
  // Changes a stored value behind the dataset's back.
  void ChangeStoredValue(std::int32_t Id, const std::string& ColumnName, const Variant& Value) {
    RebuildIndex();
    PutNative(FRows.at(FIndexOfId.at(Id)).Slot, ColumnIndex(ColumnName), Value);
  }
  // Moves the cursor elsewhere, as a lookup or a batch read inside the dataset might, and says
  // so (CursorPosChanged) as such a dataset must.
  void MoveCursorBehindBack(int Position) {
    FCursor = Position;
    CursorPosChanged();
  }
  void ClearStorage() {
    CheckInactive();
    FRows.clear();
    FData.clear();
    FBlobs.clear();
    FIndexDirty = true;
  }
  // The storage itself, for baselines that read it without the framework: the record of the
  // row at a position (live or not) and where a column's not-null byte lies in it.
  std::size_t StoredRowCount() const { return FRows.size(); }
  const std::uint8_t* StoredRecord(std::size_t Position) { return SlotData(FRows[Position].Slot); }
  bool StoredRowDeleted(std::size_t Position) const { return FRows[Position].Deleted; }
  int ColumnOffset(const std::string& ColumnName) {
    EnsureLayout();
    return FOffsets[ColumnIndex(ColumnName)];
  }
  void ReserveRows(std::size_t Count) {
    EnsureLayout();
    FRows.reserve(Count);
    FData.reserve(Count * static_cast<std::size_t>(FRecordSize));
  }

  // ---- test hooks
  // Protocol calls in order ("InternalOpen", "InternalPost", ...); reads ("GetRecord(gmNext)")
  // only with LogReads.
  std::vector<std::string>& Log() { return FLog; }
  void SetLogReads(bool Value) { FLogReads = Value; }
  // The next Count calls of Operation ("InternalPost", "InternalEdit", "InternalDelete",
  // "InternalInsert", "InternalAddRecord", "InternalRefresh") raise EDatabaseError.
  // With DatabaseError false they raise EConvertError instead.
  void FailOperation(const std::string& Operation, int Count = 1, bool DatabaseError = true) {
    FFailures[Operation] = Count;
    FFailAsDatabaseError = DatabaseError;
  }
  void SetCanModify(bool Value) { FCanModify = Value; }
  // The row id of the cursor's record, or 0 on a crack.
  std::int32_t CursorRowId() const {
    return FCursor >= 0 && static_cast<std::size_t>(FCursor) < FRows.size() ? FRows[static_cast<std::size_t>(FCursor)].Id : 0;
  }
  // Turns the filter on with a test predicate instead of the event.
  void SetFilterFunc(std::function<bool(MemDataSet*)> Func) { FFilterFunc = std::move(Func); }

  // ---- master-detail
  TDataSource* GetMasterSource() const { return FMasterLink->GetDataSource(); }
  void SetMasterSource(TDataSource* Value) {
    if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(SCircularDataLink, this);
    FMasterLink->SetDataSource(Value);
  }
  const std::string& GetMasterFields() const { return FMasterLink->GetFieldNames(); }
  void SetMasterFields(const std::string& Value) { FMasterLink->SetFieldNames(Value); }
  // The detail fields matched, in order, with the master fields.
  void SetDetailFields(const std::string& Value) { FDetailFields = Value; }
  TDataSource* GetDataSource() const override { return FMasterLink->GetDataSource(); }
  TMasterDataLink* MasterLink() const { return FMasterLink.get(); }

  // ---- framework overrides a real dataset offers
  bool GetCanModify() override { return FCanModify; }
  std::int32_t GetRecordCount() override {
    CheckActive();
    std::int32_t count = 0;
    ForEachVisible([&](std::size_t) { ++count; return true; });
    return count;
  }
  std::int32_t GetRecNo() override {
    CheckActive();
    TRecordBuffer buffer = GetState() == dsCalcFields ? GetCalcBuffer() : ActiveBuffer();
    if (buffer == nullptr || IsEmpty() || Info(buffer)->Flag != bfCurrent) return -1;
    const std::int32_t id = Info(buffer)->Id;
    std::int32_t n = 0;
    std::int32_t result = -1;
    ForEachVisible([&](std::size_t pos) {
      ++n;
      if (FRows[pos].Id == id) {
        result = n;
        return false;
      }
      return true;
    });
    return result;
  }
  void SetRecNo(std::int32_t Value) override {
    CheckBrowseMode();
    std::int32_t n = 0;
    std::ptrdiff_t target = -1;
    ForEachVisible([&](std::size_t pos) {
      if (++n == Value) {
        target = static_cast<std::ptrdiff_t>(pos);
        return false;
      }
      return true;
    });
    if (target < 0) return;
    DoBeforeScroll();
    FCursor = static_cast<int>(target);
    Resync({rmCenter});
    DoAfterScroll();
  }
  bool IsSequenced() override { return !GetFiltered() && !FRangeActive; }
  bool BookmarkValid(const TBookmark& Bookmark) override {
    if (Bookmark.size() < 4) return false;
    RebuildIndex();
    auto it = FIndexOfId.find(BookmarkId(Bookmark.data()));
    return it != FIndexOfId.end() && !FRows[it->second].Deleted;
  }
  // Orders bookmarks by the rows' positions.
  int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override {
    if (Bookmark1.size() < 4 || Bookmark2.size() < 4) return TDataSet::CompareBookmarks(Bookmark1, Bookmark2);
    RebuildIndex();
    const std::int32_t a = BookmarkId(Bookmark1.data());
    const std::int32_t b = BookmarkId(Bookmark2.data());
    auto ia = FIndexOfId.find(a);
    auto ib = FIndexOfId.find(b);
    const long long pa = ia != FIndexOfId.end() ? static_cast<long long>(ia->second) : a;
    const long long pb = ib != FIndexOfId.end() ? static_cast<long long>(ib->second) : b;
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
  }
  bool GetCurrentRecord(TRecordBuffer Buffer) override {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    return GetRecord(Buffer, gmCurrent, false) == grOK;
  }

  bool Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) override {
    CheckBrowseMode();
    const std::ptrdiff_t found = FindMatch(KeyFields, KeyValues, Options);
    if (found < 0) return false;
    DoBeforeScroll();
    FCursor = static_cast<int>(found);
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
  }

  Variant Lookup(const std::string& KeyFields, const Variant& KeyValues, const std::string& ResultFields) override {
    CheckBrowseMode();
    const std::ptrdiff_t found = FindMatch(KeyFields, KeyValues, {});
    if (found < 0) return Null();
    FillBuffer(Scratch(), static_cast<std::size_t>(found));
    TRecordBuffer saved = FFilterBuffer;
    FFilterBuffer = Scratch();
    TTempState state(this, dsFilter);
    Variant result;
    try {
      result = GetFieldValues(ResultFields);
    } catch (...) {
      FFilterBuffer = saved;
      throw;
    }
    FFilterBuffer = saved;
    return result;
  }

  bool FindRecord(bool Restart, bool GoForward) override {
    FLog.push_back(std::string("FindRecord(") + (Restart ? "true" : "false") + "," + (GoForward ? "true" : "false") + ")");
    CheckBrowseMode();
    DoBeforeScroll();
    UpdateCursorPos();
    CursorPosChanged();
    if (Restart) FCursor = GoForward ? -1 : static_cast<int>(FRows.size());
    FFinding = true;
    TGetResult result;
    try {
      result = GetRecord(Scratch(), GoForward ? gmNext : gmPrior, true);
    } catch (...) {
      FFinding = false;
      throw;
    }
    FFinding = false;
    if (result != grOK) return false;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
  }

  void SetFiltered(bool Value) override {
    if (GetActive()) {
      CheckBrowseMode();
      TDataSet::SetFiltered(Value);
      First();
    } else {
      TDataSet::SetFiltered(Value);
    }
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;

  bool GetFieldData(TField* Field, void* Buffer) override {
    TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) return false;
    const std::uint8_t* slot;
    int size;
    if (Field->GetFieldNo() > 0) {
      const std::size_t c = static_cast<std::size_t>(Field->GetFieldNo() - 1);
      slot = record + FOffsets[c];
      size = FSizes[c];
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
    if (!dsWriteModes.Contains(state)) DatabaseError(SNotEditing, this);
    TRecordBuffer record = GetActiveRecBuf();
    if (record == nullptr) DatabaseError(SNotEditing, this);
    std::uint8_t* slot;
    int size;
    if (Field->GetFieldNo() > 0) {
      if (state == dsCalcFields) DatabaseError(SNotEditing, this);
      if (Field->GetReadOnly() && state != dsSetKey && state != dsFilter) {
        DatabaseErrorFmt(SFieldReadOnly, {Field->GetDisplayName()}, this);
      }
      Field->Validate(Buffer);
      const std::size_t c = static_cast<std::size_t>(Field->GetFieldNo() - 1);
      slot = record + FOffsets[c];
      size = FSizes[c];
    } else {
      slot = record + FRecordSize + Field->GetOffset();
      size = Field->GetDataSize();
    }
    if (Buffer == nullptr) {
      slot[0] = 0;
      if (size > 0) std::memset(slot + 1, 0, static_cast<std::size_t>(size));
    } else {
      slot[0] = 1;
      if (size > 0) std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(size));
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue) {
      DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
    }
  }
  using TDataSet::SetFieldData;

  // The buffer field access reads in the current state.
  TRecordBuffer GetActiveRecBuf() {
    switch (GetState()) {
      case dsBrowse:
      case dsBlockRead:
        return IsEmpty() ? nullptr : ActiveBuffer();
      case dsEdit:
      case dsInsert:
      case dsNewValue:
        return ActiveBuffer();
      case dsCalcFields:
      case dsInternalCalc:
        return GetCalcBuffer();
      case dsFilter:
        return FFilterBuffer;
      case dsOldValue:
      case dsCurValue:
        return StoredVersionOfActive();
      default:
        return nullptr;
    }
  }

  // ---- buffer helpers tests use
  int RecordSize() const { return FRecordSize; }
  int RecBufSize() const { return FBufSize; }

 protected:
  struct RecInfo {
    std::int32_t Id;
    TBookmarkFlag Flag;
  };

  TRecordBuffer AllocRecordBuffer() override { return new std::uint8_t[static_cast<std::size_t>(FBufSize)](); }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    if (Buffer == nullptr) return;
    ReleaseBlobSlots(Buffer);
    delete[] Buffer;
    Buffer = nullptr;
  }
  std::uint16_t GetRecordSize() const override { return static_cast<std::uint16_t>(FRecordSize); }
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) const override { std::memcpy(Data, &Info(Buffer)->Id, 4); }
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override {
    if (Data != nullptr) std::memcpy(&Info(Buffer)->Id, Data, 4);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override { return Info(Buffer)->Flag; }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override { Info(Buffer)->Flag = Value; }

  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) override {
    if (FLogReads) FLog.push_back(std::string("GetRecord(") + std::string(GetModeName(GetMode)) + ")");
    const int n = static_cast<int>(FRows.size());
    switch (GetMode) {
      case gmCurrent:
        if (FCursor < 0 || FCursor >= n || FRows[static_cast<std::size_t>(FCursor)].Deleted) return grError;
        FillBuffer(Buffer, static_cast<std::size_t>(FCursor));
        return grOK;
      case gmNext:
        for (;;) {
          if (FCursor < n) ++FCursor;
          if (FCursor >= n) {
            FCursor = n;
            return grEOF;
          }
          if (FRows[static_cast<std::size_t>(FCursor)].Deleted) continue;
          FillBuffer(Buffer, static_cast<std::size_t>(FCursor));
          if (Accept(Buffer)) return grOK;
        }
      case gmPrior:
        for (;;) {
          if (FCursor >= 0) --FCursor;
          if (FCursor < 0) {
            FCursor = -1;
            return grBOF;
          }
          if (FRows[static_cast<std::size_t>(FCursor)].Deleted) continue;
          FillBuffer(Buffer, static_cast<std::size_t>(FCursor));
          if (Accept(Buffer)) return grOK;
        }
    }
    return grError;
  }

  void InternalInitRecord(TRecordBuffer Buffer) override {
    FLog.push_back("InternalInitRecord");
    ReleaseBlobSlots(Buffer);
    std::memset(Buffer, 0, static_cast<std::size_t>(FRecordSize));
  }
  void ClearCalcFields(TRecordBuffer Buffer) override {
    std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(GetCalcFieldsSize()));
  }
  void InternalFirst() override {
    FLog.push_back("InternalFirst");
    FCursor = -1;
  }
  void InternalLast() override {
    FLog.push_back("InternalLast");
    FCursor = static_cast<int>(FRows.size());
  }
  void InternalGotoBookmark(const void* Bookmark) override {
    RebuildIndex();
    std::int32_t id;
    std::memcpy(&id, Bookmark, 4);
    auto it = FIndexOfId.find(id);
    if (it == FIndexOfId.end()) DatabaseError(SRecordNotFound, this);
    FCursor = static_cast<int>(it->second);
  }
  void InternalSetToRecord(TRecordBuffer Buffer) override {
    FLog.push_back("InternalSetToRecord");
    InternalGotoBookmark(&Info(Buffer)->Id);
  }
  void InternalOpen() override {
    FLog.push_back("InternalOpen");
    InternalInitFieldDefs();
    if (GetDefaultFields()) CreateFields();
    BindFields(true);
    SetBookmarkSize(4);
    EnsureLayout();
    // Slots and the record information are aligned, so they can be read in place.
    FBlobOfs = (FRecordSize + GetCalcFieldsSize() + 7) / 8 * 8;
    FInfoOfs = FBlobOfs + GetBlobFieldCount() * static_cast<int>(TByteArray::SlotSize);
    FBufSize = FInfoOfs + static_cast<int>(sizeof(RecInfo));
    FCursor = -1;
    FRangeActive = false;
    if (FMasterLink->GetActive() && !FMasterLink->GetFields().empty()) TakeMasterValues();
    FOpen = true;
  }
  void InternalClose() override {
    FLog.push_back("InternalClose");
    FreeScratch();
    BindFields(false);
    if (GetDefaultFields()) DestroyFields();
    FOpen = false;
  }
  bool IsCursorOpen() const override { return FOpen; }
  void InternalInitFieldDefs() override {
    FLog.push_back("InternalInitFieldDefs");
    TFieldDefs* defs = GetFieldDefs();
    defs->BeginUpdate();
    defs->Clear();
    for (const Column& c : FColumns) {
      TFieldDef* def = defs->Add(c.Name, c.Type, c.Size, c.Required);
      if (c.Precision > 0) def->SetPrecision(c.Precision);
    }
    defs->EndUpdate();
  }
  void InternalHandleException() override { FLog.push_back("InternalHandleException"); }
  void InternalInsert() override {
    FLog.push_back("InternalInsert");
    MaybeFail("InternalInsert");
  }
  void InternalEdit() override {
    FLog.push_back("InternalEdit");
    MaybeFail("InternalEdit");
    CheckPositioned("InternalEdit");
  }
  void InternalCancel() override { FLog.push_back("InternalCancel"); }
  void InternalRefresh() override {
    FLog.push_back("InternalRefresh");
    MaybeFail("InternalRefresh");
  }
  void InternalPost() override {
    FLog.push_back("InternalPost");
    MaybeFail("InternalPost");
    TDataSet::InternalPost();
    TRecordBuffer buffer = ActiveBuffer();
    if (GetState() == dsEdit) {
      CheckPositioned("InternalPost");
      WriteBack(buffer, static_cast<std::size_t>(FCursor));
    } else {
      InsertRow(buffer, Info(buffer)->Flag == bfEOF);
    }
  }
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override {
    FLog.push_back(std::string("InternalAddRecord(") + (Append ? "true" : "false") + ")");
    MaybeFail("InternalAddRecord");
    InsertRow(Buffer, Append);
  }
  void InternalDelete() override {
    FLog.push_back("InternalDelete");
    MaybeFail("InternalDelete");
    CheckPositioned("InternalDelete");
    FRows.at(static_cast<std::size_t>(FCursor)).Deleted = true;
  }

 private:
  friend class MemBlobStream;

  struct Row {
    std::int32_t Id;
    std::uint32_t Slot;
    bool Deleted;
  };

  static std::int32_t BookmarkId(const std::uint8_t* Data) {
    std::int32_t id;
    std::memcpy(&id, Data, 4);
    return id;
  }
  RecInfo* Info(TRecordBuffer Buffer) const { return reinterpret_cast<RecInfo*>(Buffer + FInfoOfs); }

  static int NativeSize(const Column& c) {
    switch (c.Type) {
      case ftString: case ftFixedChar: return c.Size + 1;
      case ftWideString: return 3 * c.Size + 1;
      case ftSmallint: case ftWord: case ftBoolean: return 2;
      case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
      case ftLargeint: case ftFloat: case ftCurrency: case ftDateTime: return 8;
      case ftBCD: return static_cast<int>(sizeof(TBcd));
      case ftBytes: return c.Size;
      case ftVarBytes: return c.Size + 2;
      default: return 0;
    }
  }
  static bool IsBlobType(TFieldType t) { return ftBlobTypes.Contains(t); }

  void EnsureLayout() {
    if (!FLayoutDirty) return;
    FOffsets.clear();
    FSizes.clear();
    FBlobIndex.clear();
    int offset = 0;
    int blobs = 0;
    for (const Column& c : FColumns) {
      FOffsets.push_back(offset);
      FSizes.push_back(NativeSize(c));
      FBlobIndex.push_back(IsBlobType(c.Type) ? blobs++ : -1);
      offset += 1 + NativeSize(c);
    }
    FRecordSize = std::max(offset, 1);
    FStoredBlobCount = blobs;
    FLayoutDirty = false;
  }

  std::uint32_t NewSlot() {
    const std::uint32_t slot = static_cast<std::uint32_t>(FData.size() / static_cast<std::size_t>(FRecordSize));
    FData.resize(FData.size() + static_cast<std::size_t>(FRecordSize), 0);
    if (FStoredBlobCount > 0) FBlobs.emplace_back(static_cast<std::size_t>(FStoredBlobCount));
    return slot;
  }
  std::uint8_t* SlotData(std::uint32_t Slot) { return FData.data() + static_cast<std::size_t>(Slot) * static_cast<std::size_t>(FRecordSize); }

  std::size_t ColumnIndex(const std::string& Name) const {
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (SameFieldName(FColumns[i].Name, Name)) return i;
    }
    throw EDatabaseError("No column " + Name);
  }
  std::size_t LivePosition(int LiveIndex) const {
    int n = 0;
    for (std::size_t i = 0; i < FRows.size(); ++i) {
      if (!FRows[i].Deleted && n++ == LiveIndex) return i;
    }
    throw EDatabaseError("No live row " + std::to_string(LiveIndex));
  }

  void PutNative(std::uint32_t Slot, std::size_t C, const Variant& V) {
    std::uint8_t* p = SlotData(Slot) + FOffsets[C];
    const Column& col = FColumns[C];
    const bool isNull = V.IsNull() || V.IsEmpty();
    if (IsBlobType(col.Type)) {
      const std::string text = isNull ? std::string() : V.AsString();
      FBlobs[Slot][static_cast<std::size_t>(FBlobIndex[C])].assign(text.begin(), text.end());
      p[0] = isNull ? 0 : 1;
      return;
    }
    std::memset(p, 0, static_cast<std::size_t>(1 + FSizes[C]));
    if (isNull) return;
    p[0] = 1;
    std::uint8_t* d = p + 1;
    auto put = [d](const auto& value) { std::memcpy(d, &value, sizeof value); };
    switch (col.Type) {
      case ftString: case ftFixedChar: case ftWideString: {
        const std::string s = V.AsString();
        std::memcpy(d, s.data(), std::min<std::size_t>(s.size(), static_cast<std::size_t>(FSizes[C] - 1)));
        break;
      }
      case ftSmallint: put(static_cast<std::int16_t>(V.AsInteger())); break;
      case ftWord: put(static_cast<std::uint16_t>(V.AsInteger())); break;
      case ftBoolean: put(static_cast<std::int16_t>(V.AsBoolean() ? -1 : 0)); break;
      case ftInteger: case ftAutoInc: put(V.AsInteger()); break;
      case ftLargeint: put(V.AsInt64()); break;
      case ftFloat: case ftCurrency: put(V.AsDouble()); break;
      case ftBCD: {
        TBcd bcd;
        if (V.VType() == varFMTBcd) {
          bcd = V.AsBcd();
        } else {
          CurrToBCD(V.AsCurrency(), bcd, col.Precision > 0 ? col.Precision : 32, std::clamp(col.Size, 0, 4));
        }
        put(bcd);
        break;
      }
      case ftDate: put(DateTimeToTimeStamp(VarToDateTime(V)).Date); break;
      case ftTime: put(DateTimeToTimeStamp(VarToDateTime(V)).Time); break;
      case ftDateTime: put(TimeStampToMSecs(DateTimeToTimeStamp(VarToDateTime(V)))); break;
      case ftBytes: case ftVarBytes: {
        const std::string s = V.AsString();
        const std::size_t room = static_cast<std::size_t>(col.Size);
        const std::size_t n = std::min(room, s.size());
        if (col.Type == ftVarBytes) {
          const std::uint16_t len = static_cast<std::uint16_t>(n);
          std::memcpy(d, &len, 2);
          std::memcpy(d + 2, s.data(), n);
        } else {
          std::memcpy(d, s.data(), n);
        }
        break;
      }
      default:
        break;
    }
  }

  Variant GetNative(std::uint32_t Slot, std::size_t C) {
    const std::uint8_t* p = SlotData(Slot) + FOffsets[C];
    const Column& col = FColumns[C];
    if (p[0] == 0) return Null();
    const std::uint8_t* d = p + 1;
    auto get = [d](auto value) {
      std::memcpy(&value, d, sizeof value);
      return value;
    };
    switch (col.Type) {
      case ftString: case ftFixedChar: case ftWideString:
        return Variant(std::string(reinterpret_cast<const char*>(d), ::strnlen(reinterpret_cast<const char*>(d), static_cast<std::size_t>(FSizes[C]))));
      case ftSmallint: return Variant(static_cast<short>(get(std::int16_t{})));
      case ftWord: return Variant(static_cast<unsigned short>(get(std::uint16_t{})));
      case ftBoolean: return Variant(get(std::int16_t{}) != 0);
      case ftInteger: case ftAutoInc: return Variant(get(std::int32_t{}));
      case ftLargeint: return Variant(static_cast<long long>(get(std::int64_t{})));
      case ftFloat: case ftCurrency: return Variant(get(double{}));
      case ftBCD: return Variant(get(TBcd{}));
      case ftDate: return Variant(TimeStampToDateTime(TTimeStamp{0, get(std::int32_t{})}));
      case ftTime: return Variant(TimeStampToDateTime(TTimeStamp{get(std::int32_t{}), DateDelta}));
      case ftDateTime: return Variant(TimeStampToDateTime(MSecsToTimeStamp(get(double{}))));
      default: {
        if (IsBlobType(col.Type)) {
          const TBytes& b = FBlobs[Slot][static_cast<std::size_t>(FBlobIndex[C])];
          return Variant(std::string(b.begin(), b.end()));
        }
        return Null();
      }
    }
  }

  void RebuildIndex() {
    if (!FIndexDirty) return;
    FIndexOfId.clear();
    for (std::size_t i = 0; i < FRows.size(); ++i) FIndexOfId[FRows[i].Id] = i;
    FIndexDirty = false;
  }

  template <class F>
  void ForEachVisible(F&& Visit) {
    for (std::size_t pos = 0; pos < FRows.size(); ++pos) {
      if (FRows[pos].Deleted) continue;
      FillBuffer(Scratch(), pos);
      if (!Accept(Scratch())) continue;
      if (!Visit(pos)) return;
    }
  }

  TRecordBuffer Scratch() {
    if (FScratch == nullptr) FScratch = AllocRecordBuffer();
    return FScratch;
  }
  void FreeScratch() {
    if (FScratch != nullptr) FreeRecordBuffer(FScratch);
  }

  void ReleaseBlobSlots(TRecordBuffer Buffer) {
    for (int i = 0; i < GetBlobFieldCount(); ++i) {
      TByteArray::Release(Buffer + FBlobOfs + i * static_cast<int>(TByteArray::SlotSize));
    }
  }

  void FillBuffer(TRecordBuffer Buffer, std::size_t Pos) {
    const Row& row = FRows[Pos];
    std::memcpy(Buffer, SlotData(row.Slot), static_cast<std::size_t>(FRecordSize));
    if (GetBlobFieldCount() > 0) ReleaseBlobSlots(Buffer);
    RecInfo* info = Info(Buffer);
    info->Id = row.Id;
    info->Flag = bfCurrent;
    GetCalcFields(Buffer);
  }

  bool Accept(TRecordBuffer Buffer) {
    const bool filtering = (GetFiltered() || FFinding) && (GetOnFilterRecord() || FFilterFunc);
    if (!filtering && !FRangeActive) return true;
    TRecordBuffer saved = FFilterBuffer;
    FFilterBuffer = Buffer;
    TTempState state(this, dsFilter);
    bool accept = true;
    try {
      if (FRangeActive) accept = InRange();
      if (accept && filtering) {
        if (FFilterFunc) {
          accept = FFilterFunc(this);
        } else {
          GetOnFilterRecord()(this, accept);
        }
      }
    } catch (...) {
      FFilterBuffer = saved;
      throw;
    }
    FFilterBuffer = saved;
    return accept;
  }

  std::ptrdiff_t FindMatch(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    std::ptrdiff_t found = -1;
    ForEachVisible([&](std::size_t pos) {
      TRecordBuffer saved = FFilterBuffer;
      FFilterBuffer = Scratch();
      bool match = true;
      {
        TTempState state(this, dsFilter);
        for (std::size_t i = 0; i < fields.size() && match; ++i) {
          const Variant key = KeyValues.IsArray() ? KeyValues.GetElement(KeyValues.LowBound(1) + static_cast<int>(i)) : KeyValues;
          match = Matches(fields[i], key, Options);
        }
      }
      FFilterBuffer = saved;
      if (match) {
        found = static_cast<std::ptrdiff_t>(pos);
        return false;
      }
      return true;
    });
    return found;
  }

  static bool Matches(TField* Field, const Variant& Key, TLocateOptions Options) {
    if (Key.IsNull()) return Field->GetIsNull();
    if (Field->GetIsNull()) return false;
    if (ftTextTypes.Contains(Field->GetDataType())) {
      const std::string text = Field->GetAsString();
      const std::string key = Key.AsString();
      if (Options.Contains(loPartialKey)) {
        if (key.empty() || text.size() < key.size()) return false;
        const std::string head = text.substr(0, key.size());
        return Options.Contains(loCaseInsensitive) ? AnsiSameText(head, key) : head == key;
      }
      return Options.Contains(loCaseInsensitive) ? AnsiSameText(text, key) : text == key;
    }
    return VarSameValue(Field->GetAsVariant(), Key);
  }

  // Makes a row from a buffer: a new row at the buffer's place (before the record whose
  // bookmark it carries, at the front for bfBOF, at the end for bfEOF or Append).
  void InsertRow(TRecordBuffer Buffer, bool Append) {
    RebuildIndex();
    std::size_t pos = FRows.size();
    if (!Append) {
      const RecInfo* info = Info(Buffer);
      if (info->Flag == bfBOF) {
        pos = 0;
      } else if (info->Flag == bfInserted) {
        auto it = FIndexOfId.find(info->Id);
        if (it != FIndexOfId.end()) pos = it->second;
      }
    }
    Row row{FNextId++, NewSlot(), false};
    FRows.insert(FRows.begin() + static_cast<std::ptrdiff_t>(pos), row);
    FIndexDirty = true;
    WriteBack(Buffer, pos);
    FCursor = static_cast<int>(pos);
  }

  void WriteBack(TRecordBuffer Buffer, std::size_t Pos) {
    const Row& row = FRows.at(Pos);
    std::memcpy(SlotData(row.Slot), Buffer, static_cast<std::size_t>(FRecordSize));
    for (TField* field : GetFields()->List()) {
      if (!field->IsBlob() || field->GetFieldNo() <= 0) continue;
      auto* blob = dynamic_cast<TBlobField*>(field);
      if (blob == nullptr || !blob->GetModified()) continue;
      const std::size_t c = static_cast<std::size_t>(field->GetFieldNo() - 1);
      const TByteArray pending = TByteArray::Load(Buffer + FBlobOfs + field->GetOffset() * static_cast<int>(TByteArray::SlotSize));
      TBytes& stored = FBlobs[row.Slot][static_cast<std::size_t>(FBlobIndex[c])];
      stored.assign(pending.Data(), pending.Data() + pending.Length());
    }
  }

  // The stored row of the active record, for old and current values.
  TRecordBuffer StoredVersionOfActive() {
    TRecordBuffer active = ActiveBuffer();
    if (active == nullptr || IsEmpty() || Info(active)->Flag != bfCurrent) return nullptr;
    RebuildIndex();
    auto it = FIndexOfId.find(Info(active)->Id);
    if (it == FIndexOfId.end() || FRows[it->second].Deleted) return nullptr;
    std::memcpy(Scratch(), SlotData(FRows[it->second].Slot), static_cast<std::size_t>(FRecordSize));
    return Scratch();
  }

  void CheckPositioned(const char* Operation) {
    TRecordBuffer active = ActiveBuffer();
    if (active == nullptr || Info(active)->Flag != bfCurrent) return;
    if (CursorRowId() != Info(active)->Id) FLog.push_back(std::string("MISPOSITIONED ") + Operation);
  }

  void MaybeFail(const std::string& Operation) {
    auto it = FFailures.find(Operation);
    if (it == FFailures.end() || it->second <= 0) return;
    --it->second;
    if (!FFailAsDatabaseError) throw EConvertError(Operation + " failed");
    throw EDatabaseError(Operation + " failed");
  }

  void TakeMasterValues() {
    FRangeValues.clear();
    for (TField* master : FMasterLink->GetFields()) FRangeValues.push_back(master->GetAsVariant());
    FRangeActive = true;
  }
  void MasterChanged() {
    CheckBrowseMode();
    TakeMasterValues();
    First();
  }
  void MasterDisabled() {
    FRangeActive = false;
    if (GetActive()) First();
  }
  bool InRange() {
    const std::vector<std::string> names = SplitFieldNames(FDetailFields);
    for (std::size_t i = 0; i < names.size() && i < FRangeValues.size(); ++i) {
      if (!VarSameValue(FieldByName(names[i])->GetAsVariant(), FRangeValues[i])) return false;
    }
    return true;
  }

  std::vector<Column> FColumns;
  std::vector<int> FOffsets;
  std::vector<int> FSizes;
  std::vector<int> FBlobIndex;
  int FRecordSize = 1;
  int FStoredBlobCount = 0;
  int FBlobOfs = 0;
  int FInfoOfs = 0;
  int FBufSize = 0;
  bool FLayoutDirty = true;
  std::vector<Row> FRows;
  std::vector<std::uint8_t> FData;
  std::vector<std::vector<TBytes>> FBlobs;
  std::unordered_map<std::int32_t, std::size_t> FIndexOfId;
  bool FIndexDirty = true;
  std::int32_t FNextId = 1;
  int FCursor = -1;
  bool FOpen = false;
  bool FCanModify = true;
  bool FFinding = false;
  bool FLogReads = false;
  std::vector<std::string> FLog;
  std::map<std::string, int> FFailures;
  bool FFailAsDatabaseError = true;
  std::function<bool(MemDataSet*)> FFilterFunc;
  TRecordBuffer FFilterBuffer = nullptr;
  TRecordBuffer FScratch = nullptr;
  std::unique_ptr<TMasterDataLink> FMasterLink;
  std::string FDetailFields;
  bool FRangeActive = false;
  std::vector<Variant> FRangeValues;
};

// Reads the pending or stored value of a BLOB field; a write stream starts empty and puts its
// bytes into the buffer's slot when it is destroyed.
class MemBlobStream : public TMemoryStream {
 public:
  MemBlobStream(MemDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode)
      : FDataSet(DataSet), FField(Field), FMode(Mode) {
    FBuffer = DataSet->GetActiveRecBuf();
    if (Mode != bmRead) {
      if (Field->GetReadOnly()) DatabaseErrorFmt(SFieldReadOnly, {Field->GetDisplayName()}, DataSet);
      if (DataSet->GetState() != dsEdit && DataSet->GetState() != dsInsert) DatabaseError(SNotEditing, DataSet);
      return;
    }
    if (FBuffer == nullptr) return;
    const TByteArray pending = TByteArray::Load(Slot());
    if (Field->GetModified()) {
      if (!pending.Empty()) WriteBuffer(pending.Data(), static_cast<std::int64_t>(pending.Length()));
    } else if (FBuffer[DataSet->FOffsets[Column()]] != 0) {
      const MemDataSet::RecInfo* info = DataSet->Info(FBuffer);
      DataSet->RebuildIndex();
      auto it = DataSet->FIndexOfId.find(info->Id);
      if (it != DataSet->FIndexOfId.end()) {
        const TBytes& stored = DataSet->FBlobs[DataSet->FRows[it->second].Slot][static_cast<std::size_t>(DataSet->FBlobIndex[Column()])];
        if (!stored.empty()) WriteBuffer(stored.data(), static_cast<std::int64_t>(stored.size()));
      }
    }
    SetPosition(0);
  }

  ~MemBlobStream() override {
    if (FMode == bmRead || FBuffer == nullptr) return;
    TByteArray::Release(Slot());
    TByteArray value(Memory(), static_cast<std::size_t>(Size()));
    TByteArray::Store(Slot(), value);
    FBuffer[FDataSet->FOffsets[Column()]] = Size() > 0 ? 1 : 0;
    FField->SetModified(true);
    try {
      FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
    } catch (...) {
      // A destructor cannot report; the value is stored.
    }
  }

 private:
  std::size_t Column() const { return static_cast<std::size_t>(FField->GetFieldNo() - 1); }
  std::uint8_t* Slot() const {
    return FBuffer + FDataSet->FBlobOfs + FField->GetOffset() * static_cast<int>(TByteArray::SlotSize);
  }
  MemDataSet* FDataSet;
  TBlobField* FField;
  TBlobStreamMode FMode;
  TRecordBuffer FBuffer = nullptr;
};

inline std::unique_ptr<TStream> MemDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob == nullptr) DatabaseErrorFmt(SFieldAccessError, {Field->GetDisplayName(), "Blob"}, this);
  return std::make_unique<MemBlobStream>(this, blob, Mode);
}

// A data link that records what it is told.
class ProbeLink : public TDataLink {
 public:
  std::vector<std::string> Events;
  using TDataLink::GetActiveRecord;

 protected:
  void ActiveChanged() override { Events.push_back(GetActive() ? "ActiveChanged(on)" : "ActiveChanged(off)"); }
  void CheckBrowseMode() override { Events.push_back("CheckBrowseMode"); }
  void DataSetChanged() override { Events.push_back("DataSetChanged"); }
  void DataSetScrolled(int Distance) override { Events.push_back("DataSetScrolled(" + std::to_string(Distance) + ")"); }
  void EditingChanged() override { Events.push_back(GetEditing() ? "EditingChanged(on)" : "EditingChanged(off)"); }
  void LayoutChanged() override { Events.push_back("LayoutChanged"); }
  void RecordChanged(TField* Field) override {
    Events.push_back(Field == nullptr ? "RecordChanged" : "RecordChanged(" + Field->GetFieldName() + ")");
  }
  void UpdateData() override { Events.push_back("UpdateData"); }
};

// A designer hook that records every data event by name.
class ProbeDesigner : public TDataSetDesigner {
 public:
  std::vector<std::string> Events;
  void DataEvent(TDataEvent Event, std::intptr_t /*Info*/) override { Events.emplace_back(DataEventName(Event)); }
};

}  // namespace kxtest
