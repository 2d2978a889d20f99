// TKxDataSet: the abstract dataset both engine datasets derive from.
//
// It implements the framework's record-buffer protocol once and reaches its engine only
// through the engine-cursor contract: the virtual operations declared below under "the
// engine-cursor contract", in their fixed slot order. An engine dataset implements every
// abstract one; everything else is inherited.
//
// Record buffer: one block of FRecBufSize bytes, zero-filled when allocated:
//
//   [0, FRecordSize)                  the engine's record image (layout: the engine's)
//   [FRecordSize, FBlobCacheOfs)      calculated and lookup fields (CalcFieldsSize bytes)
//   [FBlobCacheOfs, FRecInfoOfs)      BLOB cache: one counted TByteArray reference per BLOB
//                                     field, at the slot given by the field's Offset
//   [FRecInfoOfs, FBookmarkOfs)       TRecInfo, 8 bytes (RecordNumber, BookmarkFlag)
//   [FBookmarkOfs, FRecBufSize)       the bookmark, BookmarkSize bytes
//
// A BLOB-cache slot holds a pointer-sized reference (TByteArray::SlotSize), so a buffer must
// never be copied with memcpy: CopyRecordBuffer copies one whole and keeps the references'
// counts right. KxRecordBufferLayout is the one place that does the layout arithmetic.
//
// Database flags: the dataset holds its database open while any of the flags 0..15 is set
// (SetDBFlag). Setting the first flag asks the session for the database and registers the
// dataset with it; clearing the last one unregisters and hands the database back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/kxparser.h"
#include "common/kxtables/session.h"
#include "platform/db/dataset.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/variant.h"

namespace kx {

class TRecCacheUpdateInfo;
class TRecCacheUpdateInfoList;

// The kind of cursor a dataset asks its engine for, and the kind the engine opened.
enum TKxCursorType { ctDynamic, ctCached };
enum TKxEngineCursor { ecDynamic, ecStatic };

// The record-information block of a record buffer. Read and write it only through
// TKxDataSet's accessors: a buffer's offsets carry no alignment guarantee.
struct TRecInfo {
  std::int32_t RecordNumber;          // the position the engine reports; -1 for a new record
  host::TBookmarkFlag BookmarkFlag;   // one byte
  std::uint8_t Reserved[3];           // pads the block to 8 bytes
};
static_assert(sizeof(TRecInfo) == 8);

// Bytes of one BLOB-cache slot in a record buffer.
inline constexpr std::size_t KxBlobSlotSize = host::TByteArray::SlotSize;

// The offsets of a record buffer, all within 16 bits.
struct TKxRecordBufferLayout {
  std::uint16_t BlobCacheOfs;
  std::uint16_t RecInfoOfs;
  std::uint16_t BookmarkOfs;
  std::uint16_t RecBufSize;
};

// The layout of a buffer with RecordSize bytes of engine data, CalcFieldsSize bytes of
// calculated fields, BlobCount cache slots and a bookmark of BookmarkSize bytes. A layout
// that does not fit in 65535 bytes (or a negative size) raises SInvalidFieldSize with
// DataSet as the component.
TKxRecordBufferLayout KxRecordBufferLayout(int RecordSize, int CalcFieldsSize, int BlobCount,
                                           int BookmarkSize, host::TComponent* DataSet = nullptr);

// The set of database flags 0..15.
class TKxDBFlags {
 public:
  constexpr TKxDBFlags() noexcept = default;
  constexpr bool Contains(int Flag) const noexcept {
    return Flag >= 0 && Flag < 16 && (FBits & (1u << Flag)) != 0;
  }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr std::uint16_t Bits() const noexcept { return FBits; }
  constexpr void Include(int Flag) noexcept {
    if (Flag >= 0 && Flag < 16) FBits = static_cast<std::uint16_t>(FBits | (1u << Flag));
  }
  constexpr void Exclude(int Flag) noexcept {
    if (Flag >= 0 && Flag < 16) FBits = static_cast<std::uint16_t>(FBits & ~(1u << Flag));
  }
  constexpr bool operator==(const TKxDBFlags&) const noexcept = default;

 private:
  std::uint16_t FBits = 0;
};

using TUpdateRecordEvent =
    std::function<void(host::TDataSet* DataSet, host::TUpdateKind UpdateKind,
                       host::TUpdateAction& UpdateAction)>;
using TUpdateErrorEvent =
    std::function<void(host::TDataSet* DataSet, host::EDatabaseError* E,
                       host::TUpdateKind UpdateKind, host::TUpdateAction& UpdateAction)>;

// The RefreshOnLocate that datasets created from now on start with (false at start).
void SetRefreshOnLocate(bool Value);

class TKxDataSet : public host::TDataSet, public IKxDataSetLink {
  // The cached-update entries allocate, copy and free record buffers through the dataset.
  friend class TRecCacheUpdateInfo;
  friend class TRecCacheUpdateInfoList;

 public:
  explicit TKxDataSet(host::TComponent* AOwner);
  ~TKxDataSet() override;

  // ---- published properties
  bool GetAutoRefresh() const { return FAutoRefresh; }
  void SetAutoRefresh(bool Value) { FAutoRefresh = Value; }
  bool GetCachedUpdates() const { return FCachedUpdates; }
  // Switching while open rebuilds the buffers for the cached-update list.
  void SetCachedUpdates(bool Value);
  const std::string& GetDatabaseName() const { return FDatabaseName; }
  // No effect when equal. Requires the dataset closed and no database held (SDatabaseOpen).
  void SetDatabaseName(const std::string& Value);
  std::string GetSessionName() const override { return FSessionName; }
  // Requires the dataset closed.
  void SetSessionName(const std::string& Value) override;
  // Stores the name without checks (a session with AutoSessionName names its datasets).
  void AssignSessionName(const std::string& Value) override { FSessionName = Value; }
  const TUpdateErrorEvent& GetOnUpdateError() const { return FOnUpdateError; }
  void SetOnUpdateError(TUpdateErrorEvent Value) { FOnUpdateError = std::move(Value); }
  const TUpdateRecordEvent& GetOnUpdateRecord() const { return FOnUpdateRecord; }
  void SetOnUpdateRecord(TUpdateRecordEvent Value) { FOnUpdateRecord = std::move(Value); }

  // ---- public properties
  // The database held while a flag is set; otherwise the database opened for the dataset
  // (through its session) without being kept.
  TKxAbsDatabase* GetDatabase() override;
  // The session of the held database; otherwise the session named SessionName, or the
  // engine's default session when there is none of that name.
  TKxAbsSession* GetDBSession();
  TKxDBFlags GetDBFlags() const { return FDBFlags; }
  host::TUpdateMode GetUpdateMode() const { return FUpdateMode; }
  void SetUpdateMode(host::TUpdateMode Value) { FUpdateMode = Value; }
  bool GetCacheBlobs() const { return FCacheBlobs; }
  void SetCacheBlobs(bool Value) { FCacheBlobs = Value; }
  bool GetExpIndex() const { return FExpIndex; }
  // Whether the cached-update list holds a change.
  bool GetUpdatesPending() const;
  // Empty while closed; otherwise requires cached updates (SNoCachedUpdates).
  host::TUpdateRecordTypes GetUpdateRecordTypes() const;
  // Requires cached updates; shows the records of the new kinds.
  void SetUpdateRecordTypes(host::TUpdateRecordTypes Value);
  bool GetRefreshOnLocate() const { return FRefreshOnLocate; }
  void SetRefreshOnLocate(bool Value) { FRefreshOnLocate = Value; }
  bool GetIsFieldConstrainVerifyState() const { return FIsFieldConstrainVerifyState; }

  // ---- public operations
  // Write the cached updates to the engine; clear the applied ones from the list.
  void ApplyUpdates() override;
  void CommitUpdates() override;
  // The database's transaction ended: changes applied inside it are forgotten when it was
  // committed and become pending again when it was rolled back.
  void TransactionEnded(bool Committed) noexcept override;
  // Leaves edit or insert state and drops every cached change.
  void CancelUpdates();
  // Drops the cached change of the active record.
  void RevertRecord();
  // The cached-update kind of the active (or calculated) record.
  host::TUpdateStatus UpdateStatus() override;
  // Reads nothing ahead: records come from the engine as they are needed.
  void FetchAll() {}
  void FlushBuffers() { CheckBrowseMode(); }
  bool GetCurrentRecord(host::TRecordBuffer Buffer) override;
  bool BookmarkValid(const host::TBookmark& Bookmark) override;
  // Whether the framework's Constraints collection is written with the component.
  bool ConstraintsStored() const;
  bool ConstraintsDisabled() const { return FConstrDisableCount > 0; }
  void DisableConstraints() { ++FConstrDisableCount; }
  // Never below zero.
  void EnableConstraints() {
    if (FConstrDisableCount > 0) --FConstrDisableCount;
  }
  // Opens the database for the dataset, keeping it in FDatabase when SetDatabase is true.
  TKxAbsDatabase* OpenDatabaseEx(bool SetDatabase);

  // ---- framework overrides (public in the framework)
  bool GetCanModify() override;
  std::int32_t GetRecNo() override;
  host::Variant GetStateFieldValue(host::TDataSetState State, host::TField* Field) override;
  void SetStateFieldValue(host::TDataSetState State, host::TField* Field,
                          const host::Variant& Value) override;
  void DataConvert(host::TField* Field, const void* Source, void* Dest, bool ToNative) override;
  void CloseBlob(host::TField* /*Field*/) override {}
  void SetFiltered(bool Value) override;
  void SetFilterText(const std::string& Value) override;
  void SetFilterOptions(host::TFilterOptions Value) override;
  bool FindRecord(bool Restart, bool GoForward) override;
  bool Locate(const std::string& KeyFields, const host::Variant& KeyValues,
              host::TLocateOptions Options) override;
  host::Variant Lookup(const std::string& KeyFields, const host::Variant& KeyValues,
                       const std::string& ResultFields) override;

  // ---- provider support
  std::string PSGetQuoteChar() override;
  void PSEndTransaction(bool Commit) override;
  std::unique_ptr<host::EUpdateError> PSGetUpdateException(const host::Exception& E,
                                                           const host::EUpdateError* Prev) override;
  bool PSInTransaction() override;
  bool PSIsSQLBased() override;
  void PSReset() override;
  void PSStartTransaction() override;
  bool PSUpdateRecord(host::TUpdateKind UpdateKind, host::TDataSet* Delta) override;

  // ---- the engine-cursor contract, in slot order
  // 1. Whether the cursor supports bookmarks.
  virtual bool AreBookMarksEnabled() { return true; }
  // 2, 3. Build and free the evaluator of the Filter text.
  virtual void ActivateFilters();
  virtual void DeactivateFilters();
  // 4. True when the record in Buffer passes the active filter.
  virtual bool DoFiltering(host::TRecordBuffer Buffer);
  // 5. The buffer that field access reads in the current state; false when there is none.
  virtual bool GetActiveRecBuf(host::TRecordBuffer& Buffer);
  // 6. The value cached for a BLOB field in Buffer (shared, not copied); empty when nothing
  // is cached.
  virtual host::TByteArray GetBlobData(host::TField* Field, host::TRecordBuffer Buffer);
  // 7. Caches Value for the field, but only in the active buffer.
  virtual void SetBlobData(host::TField* Field, host::TRecordBuffer Buffer,
                           const host::TByteArray& Value);
  // 8, 9. The engine package's default session and session list.
  virtual TKxAbsSession* GetDefaultSession() = 0;
  virtual TKxAbsSessionList* GetSessions() = 0;

 protected:
  // 10, 11. Read every BLOB column of the current engine record into the entry's BLOB lists;
  // write the entry's BLOB columns to the current engine record.
  virtual void KxGetBlobColumns(TRecCacheUpdateInfo* Info) = 0;
  virtual void KxPutBlobColumns(TRecCacheUpdateInfo* Info) = 0;
  // 12. A move may scan many records: the session's wait cursor is shown around it.
  virtual bool IsMayBeSlow() { return GetFiltered(); }

 public:
  // 13. No cursor handle is open.
  virtual bool IsHandleNull() = 0;

 protected:
  // 14. Lays out the record buffer from FRecordSize, CalcFieldsSize, BlobFieldCount and
  // BookmarkSize; called by the descendant's open once those are known.
  virtual void InitBufferPointers(bool GetProps);
  // 15-17. Apply one cached modification, insertion or deletion to the engine.
  virtual void CacheUpdatesApplyModified(TRecCacheUpdateInfo* Info) = 0;
  virtual void CacheUpdatesApplyInserted(TRecCacheUpdateInfo* Info) = 0;
  virtual void CacheUpdatesApplyDeleted(TRecCacheUpdateInfo* Info) = 0;
  // 18. Position on the first record that passes the filter, so that KxGetRecord delivers it
  // both with gmCurrent and with the next gmNext; grOK, or grEOF when there is none.
  virtual host::TGetResult KxInternalMoveFirst(bool DoCheck) = 0;
  // 19. The same for the last record, with gmCurrent and gmPrior; grOK, or grBOF.
  virtual host::TGetResult KxInternalMoveLast(bool DoCheck) = 0;
  // 20, 21. Move to the next (previous) record that passes the filter; grOK, or grEOF (grBOF).
  virtual host::TGetResult KxInternalMoveNext(bool DoCheck) = 0;
  virtual host::TGetResult KxInternalMovePrev(bool DoCheck) = 0;
  // 22. gmCurrent re-reads the record the engine cursor is on; gmNext and gmPrior move first
  // and skip records DoFiltering rejects. Fills the record data, calculated fields, bookmark
  // and record information (BookmarkFlag bfCurrent) and empties the BLOB cache. grOK, grBOF,
  // grEOF, or grError (raising instead when DoCheck and the engine failed).
  virtual host::TGetResult KxGetRecord(host::TRecordBuffer Buffer, host::TGetMode GetMode,
                                       bool DoCheck) = 0;
  // 23. Write the active buffer (insert in dsInsert, update in dsEdit).
  virtual void KxInternalPost() = 0;
  // 24. Discard engine-side edit state.
  virtual void KxInternalCancel() = 0;
  // 25. Insert (or append) the record in Buffer.
  virtual void KxInternalAddRecord(host::TRecordBuffer Buffer, bool Append) = 0;
  // 26, 27. Prepare an insert; prepare an update of the current record.
  virtual void KxInternalInsert() = 0;
  virtual void KxInternalEdit() = 0;
  // 28. Delete the current engine record.
  virtual void KxInternalDelete() = 0;
  // 29. Re-read the engine's view.
  virtual void KxInternalRefresh() {}
  // 30. Position on the record with that bookmark; true on success.
  virtual bool KxInternalGotoBookmark(const void* Bookmark) = 0;
  // 31. Whether the bookmark still denotes a record.
  virtual bool KxInternalBookmarkValid(const void* Bookmark) = 0;
  // 32. Search for a record; with SyncCursor a found record becomes the engine's current one.
  // The base tests only the current record.
  virtual bool LocateRecord(const std::string& KeyFields, const host::Variant& KeyValues,
                            host::TLocateOptions Options, bool SyncCursor);
  // 33. The last step of opening.
  virtual void PrepareCursor() {}

 public:
  // 34. Called by the database when it disconnects: closes the dataset, which then no
  // longer holds the database, whatever flags remained set.
  void Disconnect() override;

 protected:
  // 35. Sets or clears a database flag; returns whether it was set before. Flags outside
  // 0..15 are never set.
  virtual bool SetDBFlag(int Flag, bool Value);

  // ---- framework overrides of the record-buffer protocol
  host::TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(host::TRecordBuffer& Buffer) override;
  host::TGetResult GetRecord(host::TRecordBuffer Buffer, host::TGetMode GetMode,
                             bool DoCheck) override;
  std::uint16_t GetRecordSize() const override { return FRecordSize; }
  void GetBookmarkData(host::TRecordBuffer Buffer, void* Data) const override;
  void SetBookmarkData(host::TRecordBuffer Buffer, const void* Data) override;
  host::TBookmarkFlag GetBookmarkFlag(host::TRecordBuffer Buffer) const override;
  void SetBookmarkFlag(host::TRecordBuffer Buffer, host::TBookmarkFlag Value) override;
  void InitRecord(host::TRecordBuffer Buffer) override;
  void InternalInitRecord(host::TRecordBuffer Buffer) override;
  void ClearCalcFields(host::TRecordBuffer Buffer) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const void* Bookmark) override;
  void InternalSetToRecord(host::TRecordBuffer Buffer) override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalHandleException() override;
  void InternalAddRecord(host::TRecordBuffer Buffer, bool Append) override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalPost() override;
  void InternalCancel() override;
  void InternalDelete() override;
  void InternalRefresh() override;

  // ---- moves: the contract's moves, or the cached-update list's merged moves
  host::TGetResult InternalMoveFirst(bool DoCheck);
  host::TGetResult InternalMoveLast(bool DoCheck);
  host::TGetResult InternalMoveNext(bool DoCheck);
  host::TGetResult InternalMovePrev(bool DoCheck);
  // GetRecord into a scratch buffer, for descendants that step over records without a
  // display buffer.
  host::TGetResult GetRecordInTempBuf(host::TGetMode GetMode, bool DoCheck);

  // ---- record buffers
  // Copies a whole record buffer, counting the BLOB references it shares with Source.
  void CopyRecordBuffer(host::TRecordBuffer Dest, host::TRecordBuffer Source);
  // Drops every BLOB reference the buffer holds.
  void ClearBlobCache(host::TRecordBuffer Buffer);
  // Marks every slot empty without releasing: only for a buffer whose slots hold no counted
  // reference (fresh memory).
  void InitBlobCache(host::TRecordBuffer Buffer);
  // Number of BLOB-cache slots of the current layout.
  int BlobCacheSlotCount() const;
  std::int32_t GetRecordNumber(host::TRecordBuffer Buffer) const;
  void SetRecordNumber(host::TRecordBuffer Buffer, std::int32_t Value);
  // The buffer shown in state dsOldValue.
  host::TRecordBuffer GetOldRecord();

  // ---- database and session binding
  TKxAbsDatabase* OpenDatabase();
  // Hands a database back to its session.
  void CloseDatabase(TKxAbsDatabase* Database);
  void CheckDBSessionName();

  // ---- filtering
  // Runs OnFilterRecord for the record in Buffer (state dsFilter meanwhile); an exception
  // from the handler goes to the application's handler and Accept keeps its value.
  bool RecordFilter(host::TRecordBuffer Buffer);
  // Evaluates Verifier against the record in Buffer (state dsFilter meanwhile); an evaluation
  // that raises goes to the application's handler and the record counts as accepted.
  bool CheckFilter(host::TRecordBuffer Buffer, TParseVerifier* Verifier);
  void SetFilterData(const std::string& Text, host::TFilterOptions Options);
  // True when every key field of the active record matches its key value.
  bool IsMatchCurrentRecord(const std::string& KeyFields, const host::Variant& KeyValues,
                            host::TLocateOptions Options);
  bool VariantMatchField(const host::Variant& Value, host::TField* Field);

  // ---- constraints
  // The framework's Constraints are not empty or a field has a constraint or default.
  bool HasConstraints() const;
  void BeginConstrains();
  void EndConstrains();
  void SetDefaultConstraints(host::TRecordBuffer Buffer);
  // Checks every record constraint against the record the current state shows; the first
  // that fails raises its message.
  void VerifyConstrains();
  // Checks the constraints of field FieldNo (1-based) against the pending value in
  // ValueBuffer.
  void CheckFieldConstrains(int FieldNo, host::TRecordBuffer ValueBuffer);

  // ---- cached updates
  // Raises SNoCachedUpdates unless CachedUpdates is on.
  void CheckCachedUpdateMode() const;
  // Index of the cached-update entry whose bookmark equals Buffer's, or -1.
  int GetCachedUpdItemNo(host::TRecordBuffer Buffer);
  void CreateCacheUpdateList();
  void FreeCacheUpdateList();
  host::TGetResult CachedUpdatesGetRecord(host::TRecordBuffer Buffer, host::TGetMode GetMode,
                                          bool DoCheck);
  host::TGetResult CachedUpdatesMoveFirst(bool DoCheck);
  host::TGetResult CachedUpdatesMoveLast(bool DoCheck);
  host::TGetResult CachedUpdatesMoveNext(bool DoCheck);
  host::TGetResult CachedUpdatesMovePrev(bool DoCheck);
  void CachedUpdatesInsert(host::TRecordBuffer Buffer, bool ClearBuffer);
  void CachedUpdatesEdit();
  void CachedUpdatesPost();
  void CachedUpdatesCancel();
  void CachedUpdatesDelete();
  void CachedUpdatesGotoBookmark(const void* Bookmark);
  bool CachedUpdatesBookmarkValid(const void* Bookmark);
  // Whether the cursor shows the entry at Index (-1: a plain engine record).
  bool IsCachedItemVisible(int Index) const;
  // Steps the engine with KxGetRecord in GetMode from where it is, until it reaches a record
  // the merged view shows; sets CurItem to its entry.
  host::TGetResult CachedUpdatesScanEngine(host::TGetMode GetMode, bool DoCheck);
  // The first (last) visible entry of a cache-only record, or -1.
  int FirstVisibleInserted() const;
  int LastVisibleInserted() const;
  // Applied entries are kept until the database's transaction ends.
  bool InUpdatesTransaction() const;
  // After the list changed under the buffers: put the cursor back on the active record (or on
  // the first item when that record is gone) and refill the buffers.
  void CachedUpdatesResync();

  // ---- fields, in declared order
  bool FAutoRefresh = false;
  TUpdateErrorEvent FOnUpdateError;
  TUpdateRecordEvent FOnUpdateRecord;
  TKxDBFlags FDBFlags;
  std::string FDatabaseName;
  std::string FSessionName;
  bool FRefreshOnLocate = false;
  bool FInMasterDetailRelationShip = false;
  bool FIsDatasetEmpty = false;
  bool FGettingRecord = false;
  bool FCurrentChecked = false;
  bool FForceResync = false;
  host::TRecordBuffer FFilterBuffer = nullptr;
  bool FExpIndex = false;
  bool FCanModify = false;
  bool FCacheBlobs = true;
  std::int32_t FConstrDisableCount = 0;
  std::uint16_t FRecordSize = 0;
  std::uint16_t FBookmarkOfs = 0;
  std::uint16_t FRecInfoOfs = 0;
  std::uint16_t FBlobCacheOfs = 0;
  std::uint16_t FRecBufSize = 0;
  bool FConstraintLayer = false;
  TKxAbsDatabase* FDatabase = nullptr;
  bool FIsFieldConstrainVerifyState = false;
  bool FCachedUpdates = false;
  host::TUpdateMode FUpdateMode = host::upWhereAll;
  host::TUpdateRecordTypes FUpdateRecordTypes{host::rtModified, host::rtInserted,
                                              host::rtUnmodified};
  bool FShouldCheckForEmpty = false;
  // The Filter text's parser and evaluator, while the filter is active.
  std::unique_ptr<TExprParser> FFilterParser;
  std::unique_ptr<TParseVerifier> FFilterParseVerifier;
  // Parsed record and field checks, and default values; both exist for the dataset's life.
  std::unique_ptr<TConstraintCollection> FParseConstrains = std::make_unique<TConstraintCollection>();
  std::unique_ptr<TConstraintCollection> FDefaultConstrains = std::make_unique<TConstraintCollection>();
  // The cached-update entries while CachedUpdates is on and the dataset is open.
  std::unique_ptr<TRecCacheUpdateInfoList> FCacheUpdateList;

 private:
  // Scratch buffers of GetRecordInTempBuf: kept until the layout changes or the dataset
  // closes, so that nested reads each get their own and the framework's calculation buffer
  // never points at freed memory.
  std::vector<host::TRecordBuffer> FTempBuffers;
  std::size_t FTempBuffersInUse = 0;
  // True while the database closes the dataset: the database is closing itself and must not
  // be handed back to its session from inside its own disconnect.
  bool FDisconnecting = false;
  // Unregisters from the held database without handing it back.
  void ForgetDatabase() noexcept;
  void FreeTempBuffers();
};

}  // namespace kx
