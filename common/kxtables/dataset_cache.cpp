// TKxDataSet: the cached-update side of the record loop and of editing.
//
// With CachedUpdates on, inserts, edits and deletes go into FCacheUpdateList instead of the
// engine, and the record loop shows the engine's records merged with the list: the visible
// cache-only records first (list order), then the engine's records in cursor order, where a
// record with an entry shows the entry's new values when its kind is visible and is skipped
// when it is hidden, and a record without one shows only when rtUnmodified is visible.
//
// The merged moves keep CurItem on the entry the cursor is on (-1 on a plain engine record)
// and step the engine only through KxInternalMoveFirst/Last and KxGetRecord, so the engine's
// own positioning rule (after a move to an end the next read in that direction delivers the
// record there) carries over: a merged move to an end leaves the cursor on the first (last)
// item and the next forward (backward) move delivers it.
//
// Applying: outside a transaction each applied change is durable and its entry is freed at
// once. Inside the database's transaction an applied entry is set aside instead; the
// database's commit frees it, its rollback puts it back, so a failed multi-dataset apply
// loses nothing and a retry applies each change once.
#include <cstring>
#include <memory>

#include "common/kxconst.h"
#include "common/kxtables/cacheupdates.h"
#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/exceptions.h"

namespace kx {

using namespace host;

namespace {

const TUpdateRecordTypes kModified{rtModified};
const TUpdateRecordTypes kInserted{rtInserted};
const TUpdateRecordTypes kDeleted{rtDeleted};
const TUpdateRecordTypes kUnmodified{rtUnmodified};

TGetResult EndOf(TGetMode Mode) { return Mode == gmPrior ? grBOF : grEOF; }

bool EditingOrKey(TDataSetState State) {
  return State == dsEdit || State == dsInsert || State == dsSetKey;
}

// A record buffer of an entry's owner, freed unless it is taken.
class TOwnedBuffer {
 public:
  explicit TOwnedBuffer(TRecCacheUpdateInfo* Entry) : FEntry(Entry), FBuffer(Entry->NewBuffer()) {}
  ~TOwnedBuffer() { FEntry->FreeBuffer(FBuffer); }
  TOwnedBuffer(const TOwnedBuffer&) = delete;
  TOwnedBuffer& operator=(const TOwnedBuffer&) = delete;
  TRecordBuffer Get() const { return FBuffer; }
  TRecordBuffer Take() {
    TRecordBuffer b = FBuffer;
    FBuffer = nullptr;
    return b;
  }

 private:
  TRecCacheUpdateInfo* FEntry;
  TRecordBuffer FBuffer;
};

}  // namespace

// ---- switching and the list ---------------------------------------------------------------

void TKxDataSet::SetCachedUpdates(bool Value) {
  if (!GetActive() || ComponentState().Contains(csDesigning)) {
    FCachedUpdates = Value;
    return;
  }
  if (Value == FCachedUpdates) return;
  CheckBrowseMode();
  // Checked before anything changes, so that a refusal leaves the dataset as it was.
  if (Value && GetBookmarkSize() < 2) KxDatabaseError(this, SKxCachedUpdatesNotSupported);
  if (Value) {
    UpdateCursorPos();
    FUpdateRecordTypes = TUpdateRecordTypes{rtModified, rtInserted, rtUnmodified};
  } else {
    CancelUpdates();
    // The cancel refilled the buffers from the list; the engine must be on the active record
    // before the list goes.
    CursorPosChanged();
    UpdateCursorPos();
    FreeCacheUpdateList();
  }
  FCachedUpdates = Value;
  try {
    FreeFieldBuffers();
    SetBufListSize(0);
    InitBufferPointers(true);
    SetBufListSize(GetBufferCount() + 1);
    if (Value) CreateCacheUpdateList();
  } catch (...) {
    // The record buffers are gone: the dataset cannot stay open without them.
    try {
      SetState(dsInactive);
      CloseCursor();
    } catch (...) {
      // The first failure is the one to report.
    }
    FreeCacheUpdateList();
    throw;
  }
  Resync({});
}

void TKxDataSet::CreateCacheUpdateList() {
  // Cache-only records carry their identifiers in the bookmark: at least 16 bits of it.
  if (GetBookmarkSize() < 2) KxDatabaseError(this, SKxCachedUpdatesNotSupported);
  FCacheUpdateList = std::make_unique<TRecCacheUpdateInfoList>(this);
}

void TKxDataSet::FreeCacheUpdateList() { FCacheUpdateList.reset(); }

int TKxDataSet::GetCachedUpdItemNo(TRecordBuffer Buffer) {
  if (FCacheUpdateList == nullptr || Buffer == nullptr) return -1;
  return FCacheUpdateList->GetItemNo(Buffer + FBookmarkOfs);
}

bool TKxDataSet::InUpdatesTransaction() const {
  return FDatabase != nullptr && FDatabase->GetInTransaction();
}

// ---- properties ---------------------------------------------------------------------------

bool TKxDataSet::GetUpdatesPending() const {
  if (FCacheUpdateList == nullptr) return false;
  for (int i = 0; i < FCacheUpdateList->GetCount(); ++i) {
    if (FCacheUpdateList->Get(i)->CacheUpdOpType != kUnmodified) return true;
  }
  return false;
}

TUpdateRecordTypes TKxDataSet::GetUpdateRecordTypes() const {
  if (!GetActive()) return {};
  CheckCachedUpdateMode();
  return FUpdateRecordTypes;
}

void TKxDataSet::SetUpdateRecordTypes(TUpdateRecordTypes Value) {
  CheckCachedUpdateMode();
  CheckBrowseMode();
  UpdateCursorPos();
  FUpdateRecordTypes = Value;
  CachedUpdatesResync();
}

TUpdateStatus TKxDataSet::UpdateStatus() {
  CheckCachedUpdateMode();
  TRecordBuffer buffer = GetState() == dsCalcFields ? GetCalcBuffer() : ActiveBuffer();
  if (buffer == nullptr || (GetState() != dsCalcFields && IsEmpty())) return usUnmodified;
  const int index = GetCachedUpdItemNo(buffer);
  if (index < 0) return usUnmodified;
  const TUpdateRecordTypes kind = FCacheUpdateList->Get(index)->CacheUpdOpType;
  if (kind == kModified) return usModified;
  if (kind == kInserted) return usInserted;
  if (kind == kDeleted) return usDeleted;
  return usUnmodified;
}

TRecordBuffer TKxDataSet::GetOldRecord() {
  UpdateCursorPos();
  TRecordBuffer active = ActiveBuffer();
  const int index = IsEmpty() ? -1 : GetCachedUpdItemNo(active);
  if (index < 0) return active;
  TRecCacheUpdateInfo* entry = FCacheUpdateList->Get(index);
  return entry->pOldRecBuf != nullptr ? entry->pOldRecBuf : entry->pNewRecBuf;
}

// ---- the merged view ----------------------------------------------------------------------

bool TKxDataSet::IsCachedItemVisible(int Index) const {
  if (Index < 0 || FCacheUpdateList == nullptr || Index >= FCacheUpdateList->GetCount()) {
    return FUpdateRecordTypes.Contains(rtUnmodified);
  }
  return FUpdateRecordTypes.ContainsAny(FCacheUpdateList->Get(Index)->CacheUpdOpType);
}

int TKxDataSet::FirstVisibleInserted() const {
  const TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  for (int i = 0; i < list.GetCount() && list.Get(i)->CacheOnly; ++i) {
    if (IsCachedItemVisible(i)) return i;
  }
  return -1;
}

int TKxDataSet::LastVisibleInserted() const {
  const TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  int last = -1;
  for (int i = 0; i < list.GetCount() && list.Get(i)->CacheOnly; ++i) {
    if (IsCachedItemVisible(i)) last = i;
  }
  return last;
}

TGetResult TKxDataSet::CachedUpdatesScanEngine(TGetMode GetMode, bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  TRecordBuffer scratch = list.Scratch();
  for (;;) {
    const TGetResult result = KxGetRecord(scratch, GetMode, DoCheck);
    if (result != grOK) {
      list.CurItem = -1;
      return result;
    }
    const int index = GetCachedUpdItemNo(scratch);
    if (IsCachedItemVisible(index)) {
      list.CurItem = index;
      return grOK;
    }
  }
}

TGetResult TKxDataSet::CachedUpdatesMoveFirst(bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  list.CurItem = -1;
  const TGetResult engine = KxInternalMoveFirst(DoCheck);
  TGetResult result = grEOF;
  const int first = FirstVisibleInserted();
  if (first >= 0) {
    list.CurItem = first;
    result = grOK;
  } else if (engine == grOK) {
    result = CachedUpdatesScanEngine(gmNext, DoCheck);
    if (result == grBOF) result = grEOF;
  }
  list.Pending = TRecCacheUpdateInfoList::pdFirst;
  list.PendingResult = result;
  return result;
}

TGetResult TKxDataSet::CachedUpdatesMoveLast(bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  list.CurItem = -1;
  TGetResult result = grBOF;
  if (KxInternalMoveLast(DoCheck) == grOK) result = CachedUpdatesScanEngine(gmPrior, DoCheck);
  if (result != grOK && result != grError) {
    const int last = LastVisibleInserted();
    list.CurItem = last;
    result = last >= 0 ? grOK : grBOF;
  }
  list.Pending = TRecCacheUpdateInfoList::pdLast;
  list.PendingResult = result;
  return result;
}

TGetResult TKxDataSet::CachedUpdatesMoveNext(bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  if (list.Pending == TRecCacheUpdateInfoList::pdFirst) {
    list.Pending = TRecCacheUpdateInfoList::pdNone;
    return list.PendingResult;
  }
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  const int current = list.CurItem;
  if (current >= 0 && current < list.GetCount() && list.Get(current)->CacheOnly) {
    for (int i = current + 1; i < list.GetCount() && list.Get(i)->CacheOnly; ++i) {
      if (IsCachedItemVisible(i)) {
        list.CurItem = i;
        return grOK;
      }
    }
    // Past the cache-only records: the engine's records follow from its first one.
    list.CurItem = -1;
    if (KxInternalMoveFirst(DoCheck) != grOK) return grEOF;
  }
  const TGetResult result = CachedUpdatesScanEngine(gmNext, DoCheck);
  return result == grBOF ? grEOF : result;
}

TGetResult TKxDataSet::CachedUpdatesMovePrev(bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  if (list.Pending == TRecCacheUpdateInfoList::pdLast) {
    list.Pending = TRecCacheUpdateInfoList::pdNone;
    return list.PendingResult;
  }
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  const int current = list.CurItem;
  if (current >= 0 && current < list.GetCount() && list.Get(current)->CacheOnly) {
    for (int i = current - 1; i >= 0; --i) {
      if (IsCachedItemVisible(i)) {
        list.CurItem = i;
        return grOK;
      }
    }
    return grBOF;
  }
  const TGetResult result = CachedUpdatesScanEngine(gmPrior, DoCheck);
  if (result == grOK || result == grError) return result;
  // Before the engine's first record come the cache-only records.
  const int last = LastVisibleInserted();
  list.CurItem = last;
  return last >= 0 ? grOK : grBOF;
}

TGetResult TKxDataSet::CachedUpdatesGetRecord(TRecordBuffer Buffer, TGetMode GetMode,
                                              bool DoCheck) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  for (;;) {
    TGetResult result = grError;
    switch (GetMode) {
      case gmCurrent:
        list.Pending = TRecCacheUpdateInfoList::pdNone;
        result = grOK;
        break;
      case gmNext:
        result = CachedUpdatesMoveNext(DoCheck);
        break;
      case gmPrior:
        result = CachedUpdatesMovePrev(DoCheck);
        break;
    }
    if (result != grOK) return result;
    int current = list.CurItem;
    if (current < 0 || current >= list.GetCount()) {
      const bool plainVisible = FUpdateRecordTypes.Contains(rtUnmodified);
      if (!plainVisible && GetMode != gmCurrent) return EndOf(GetMode);
      // The engine's record; a reread of the current one also finds the entry the record may
      // have got since the cursor came there.
      result = KxGetRecord(Buffer, gmCurrent, DoCheck);
      if (result != grOK) return result;
      current = GetMode == gmCurrent ? GetCachedUpdItemNo(Buffer) : -1;
      if (current >= 0) {
        list.CurItem = current;
      } else if (!plainVisible) {
        return EndOf(GetMode);
      }
    }
    if (current >= 0) {
      if (!IsCachedItemVisible(current)) return EndOf(GetMode);
      CopyRecordBuffer(Buffer, list.Get(current)->pNewRecBuf);
      // BLOB values of an entry live in its BLOB lists, not in the display buffer's cache.
      ClearBlobCache(Buffer);
      SetBookmarkFlag(Buffer, bfCurrent);
      GetCalcFields(Buffer);
    }
    if (GetMode == gmCurrent || DoFiltering(Buffer)) return grOK;
  }
}

void TKxDataSet::CachedUpdatesGotoBookmark(const void* Bookmark) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  const int index = list.GetItemNo(Bookmark);
  list.CurItem = index;
  // A cache-only record has no engine position; the engine is placed again when the cursor
  // leaves the cache-only records.
  if (index >= 0 && list.Get(index)->CacheOnly) return;
  KxInternalGotoBookmark(Bookmark);
}

bool TKxDataSet::CachedUpdatesBookmarkValid(const void* Bookmark) {
  // Asking must not move the cursor: CurItem stays with the record the engine is on.
  if (FCacheUpdateList->GetItemNo(Bookmark) >= 0) return true;
  return KxInternalBookmarkValid(Bookmark);
}

void TKxDataSet::CachedUpdatesResync() {
  if (!GetActive() || FCacheUpdateList == nullptr) return;
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  CursorPosChanged();
  bool placed = false;
  if (!IsEmpty()) {
    const std::uint8_t* mark = ActiveBuffer() + FBookmarkOfs;
    if (list.GetItemNo(mark) >= 0) {
      CachedUpdatesGotoBookmark(mark);
      placed = true;
    } else if (KxInternalBookmarkValid(mark)) {
      list.CurItem = -1;
      KxInternalGotoBookmark(mark);
      placed = true;
    }
  }
  if (!placed) {
    // The active record is gone (an applied or dropped cache-only record): start over at
    // the first item.
    CachedUpdatesMoveFirst(true);
    list.Pending = TRecCacheUpdateInfoList::pdNone;
  }
  Resync({});
}

// ---- editing ------------------------------------------------------------------------------

void TKxDataSet::CachedUpdatesInsert(TRecordBuffer Buffer, bool ClearBuffer) {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  TBookmark first;
  if (KxInternalMoveFirst(false) == grOK && KxGetRecord(list.Scratch(), gmCurrent, false) == grOK) {
    const std::uint8_t* mark = list.Scratch() + FBookmarkOfs;
    first.assign(mark, mark + GetBookmarkSize());
  }
  // Refused before the buffer is touched.
  const std::int32_t id = list.NextInsertedId();
  if (ClearBuffer) {
    ClearBlobCache(Buffer);
    std::memset(Buffer, 0, FRecBufSize);
    SetBookmarkFlag(Buffer, bfInserted);
    SetRecordNumber(Buffer, -1);
  }
  auto entry = std::make_unique<TRecCacheUpdateInfo>(this);
  entry->CacheUpdOpType = kInserted;
  entry->CacheOnly = true;
  KxGetBlobColumns(entry.get());
  entry->pNewRecBuf = entry->NewBuffer();
  list.WriteId(Buffer + FBookmarkOfs, id);
  CopyRecordBuffer(entry->pNewRecBuf, Buffer);
  entry->LastRecBookmark = std::move(first);
  list.CurItem = list.Add(std::move(entry));
}

void TKxDataSet::CachedUpdatesEdit() {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  TRecordBuffer active = ActiveBuffer();
  const int index = GetCachedUpdItemNo(active);
  std::unique_ptr<TRecCacheUpdateInfo> created;
  TRecCacheUpdateInfo* entry;
  if (index < 0) {
    created = std::make_unique<TRecCacheUpdateInfo>(this);
    KxGetBlobColumns(created.get());
    created->pNewRecBuf = created->NewBuffer();
    CopyRecordBuffer(created->pNewRecBuf, active);
    entry = created.get();
  } else {
    entry = list.Get(index);
  }
  // Everything that can fail happens before the entry changes.
  if (entry->pOldRecBuf != nullptr) {
    TOwnedBuffer saved(entry);
    CopyRecordBuffer(saved.Get(), entry->pNewRecBuf);
    TKxBlobBlocks blobs;
    TKxBlobSizes sizes;
    TRecCacheUpdateInfo::CopyBlobs(entry->pNewBlobBuf, entry->pNewBlobSize, blobs, sizes);
    entry->FreeBuffer(entry->pSavedNewRecBuf);
    entry->pSavedNewRecBuf = saved.Take();
    entry->pSavedNewBlobBuf = std::move(blobs);
    entry->pSavedNewBlobSize = std::move(sizes);
  } else {
    TOwnedBuffer old(entry);
    CopyRecordBuffer(old.Get(), entry->pNewRecBuf);
    TKxBlobBlocks blobs;
    TKxBlobSizes sizes;
    TRecCacheUpdateInfo::CopyBlobs(entry->pNewBlobBuf, entry->pNewBlobSize, blobs, sizes);
    entry->pOldRecBuf = old.Take();
    entry->pOldBlobBuf = std::move(blobs);
    entry->pOldBlobSize = std::move(sizes);
  }
  entry->SavedCacheUpdOpType = entry->CacheUpdOpType;
  entry->CacheUpdOpType = kModified;
  list.CurItem = created != nullptr ? list.Add(std::move(created)) : index;
}

void TKxDataSet::CachedUpdatesPost() {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  TRecordBuffer active = ActiveBuffer();
  const int index = GetCachedUpdItemNo(active);
  // Insert and Edit made the entry; without one there is nothing this post belongs to.
  if (index < 0) KxDatabaseError(this, SRecordNotFound);
  TRecCacheUpdateInfo* entry = list.Get(index);
  CopyRecordBuffer(entry->pNewRecBuf, active);
  entry->FreeBuffer(entry->pSavedNewRecBuf);
  TRecCacheUpdateInfo::EmptyBlobs(entry->pSavedNewBlobBuf, entry->pSavedNewBlobSize);
  // An edited insert stays an insert.
  if (entry->SavedCacheUpdOpType == kInserted) entry->CacheUpdOpType = kInserted;
  list.CurItem = index;
}

void TKxDataSet::CachedUpdatesCancel() {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  const int index = GetCachedUpdItemNo(ActiveBuffer());
  if (index < 0) return;
  TRecCacheUpdateInfo* entry = list.Get(index);
  if (entry->CacheUpdOpType != kInserted && entry->SavedCacheUpdOpType != kUnmodified) {
    // The record had been changed before this edit (or it is an edited insert): back to that.
    entry->CacheUpdOpType = entry->SavedCacheUpdOpType;
    if (entry->pSavedNewRecBuf != nullptr) {
      entry->FreeBuffer(entry->pNewRecBuf);
      entry->pNewRecBuf = entry->pSavedNewRecBuf;
      entry->pSavedNewRecBuf = nullptr;
      std::swap(entry->pNewBlobBuf, entry->pSavedNewBlobBuf);
      std::swap(entry->pNewBlobSize, entry->pSavedNewBlobSize);
      TRecCacheUpdateInfo::EmptyBlobs(entry->pSavedNewBlobBuf, entry->pSavedNewBlobSize);
    }
    list.CurItem = index;
    return;
  }
  // A fresh insert, or the first edit of an engine record: nothing of it remains.
  const bool wasInsert = entry->CacheOnly;
  list.Delete(index);
  list.CurItem = -1;
  if (wasInsert) {
    CachedUpdatesMoveFirst(true);
    list.Pending = TRecCacheUpdateInfoList::pdNone;
  }
}

void TKxDataSet::CachedUpdatesDelete() {
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  TRecordBuffer active = ActiveBuffer();
  const int index = GetCachedUpdItemNo(active);
  if (index < 0) {
    auto entry = std::make_unique<TRecCacheUpdateInfo>(this);
    entry->CacheUpdOpType = kDeleted;
    entry->SavedCacheUpdOpType = kUnmodified;
    KxGetBlobColumns(entry.get());
    entry->pNewRecBuf = entry->NewBuffer();
    CopyRecordBuffer(entry->pNewRecBuf, active);
    list.CurItem = list.Add(std::move(entry));
    return;
  }
  TRecCacheUpdateInfo* entry = list.Get(index);
  if (!entry->CacheOnly) {
    entry->SavedCacheUpdOpType = entry->CacheUpdOpType;
    entry->CacheUpdOpType = kDeleted;
    list.CurItem = index;
    return;
  }
  // A record that never reached the engine has nothing to delete there: it simply goes.
  list.Delete(index);
  if (index < list.GetCount() && list.Get(index)->CacheOnly && IsCachedItemVisible(index)) {
    list.CurItem = index;
  } else {
    CachedUpdatesMoveFirst(true);
    list.Pending = TRecCacheUpdateInfoList::pdNone;
  }
}

// ---- applying -----------------------------------------------------------------------------

void TKxDataSet::ApplyUpdates() {
  if (EditingOrKey(GetState())) Post();
  CheckCachedUpdateMode();
  if (FCacheUpdateList == nullptr) return;
  UpdateCursorPos();
  TRecCacheUpdateInfoList& list = *FCacheUpdateList;
  list.CurItem = -1;
  list.Pending = TRecCacheUpdateInfoList::pdNone;
  const bool keepApplied = InUpdatesTransaction();

  // What to do with the entry after one attempt.
  enum class TStep { Retire, Skip, Again };
  auto badAction = [this]() -> TStep { KxDatabaseError(this, SKxCachedUpdatesBadUpdateActionValue); };

  try {
    int i = 0;
    while (i < list.GetCount()) {
      TRecCacheUpdateInfo* entry = list.Get(i);
      TUpdateKind kind;
      if (entry->CacheUpdOpType == kModified) {
        kind = ukModify;
      } else if (entry->CacheUpdOpType == kInserted) {
        kind = ukInsert;
      } else if (entry->CacheUpdOpType == kDeleted) {
        kind = ukDelete;
      } else {
        list.Delete(i);
        continue;
      }

      auto attempt = [&]() -> TStep {
        if (FOnUpdateRecord) {
          TUpdateAction action = uaFail;
          FOnUpdateRecord(this, kind, action);
          switch (action) {
            case uaApplied:
              return TStep::Retire;
            case uaSkip:
              return TStep::Skip;
            case uaAbort:
              Abort();
            case uaFail: {
              EKxDatabaseError error(this, SKxCachedUpdatesApplyUpdatesError);
              TUpdateAction onError = uaFail;
              if (FOnUpdateError) FOnUpdateError(this, &error, kind, onError);
              switch (onError) {
                case uaFail:
                  throw error;
                case uaAbort:
                  Abort();
                case uaSkip:
                  return TStep::Skip;
                case uaRetry:
                  return TStep::Again;
                default:
                  return badAction();
              }
            }
            default:
              return badAction();
          }
        }
        try {
          if (kind == ukModify) {
            CacheUpdatesApplyModified(entry);
          } else if (kind == ukInsert) {
            CacheUpdatesApplyInserted(entry);
          } else {
            CacheUpdatesApplyDeleted(entry);
          }
          return TStep::Retire;
        } catch (EDatabaseError& E) {
          if (!FOnUpdateError) throw;
          TUpdateAction action = uaFail;
          FOnUpdateError(this, &E, kind, action);
          switch (action) {
            case uaFail:
              throw;
            case uaAbort:
              Abort();
            case uaSkip:
              return TStep::Skip;
            case uaRetry:
              return TStep::Again;
            default:
              return badAction();
          }
        }
      };

      TStep step = attempt();
      while (step == TStep::Again) step = attempt();
      // An event handler may have changed the list: find the entry again.
      if (i >= list.GetCount() || list.Get(i) != entry) {
        i = -1;
        for (int j = 0; j < list.GetCount(); ++j) {
          if (list.Get(j) == entry) i = j;
        }
        if (i < 0) {
          i = 0;
          continue;
        }
      }
      if (step == TStep::Skip) {
        ++i;
      } else if (keepApplied) {
        list.SetAside(i);
      } else {
        list.Delete(i);
      }
    }
  } catch (...) {
    // The engine's cursor moved while applying; the display must follow what is left.
    CursorPosChanged();
    try {
      CachedUpdatesResync();
    } catch (...) {
      // The apply's failure is the one to report.
    }
    throw;
  }
  CachedUpdatesResync();
}

void TKxDataSet::CommitUpdates() {
  CheckCachedUpdateMode();
  if (FCacheUpdateList == nullptr) return;
  UpdateCursorPos();
  // Inside a transaction the applied changes may still be rolled back: they stay set aside
  // until the transaction ends.
  if (!InUpdatesTransaction()) FCacheUpdateList->DropSetAside();
  CachedUpdatesResync();
}

void TKxDataSet::TransactionEnded(bool Committed) noexcept {
  if (FCacheUpdateList == nullptr || !FCacheUpdateList->HasSetAside()) return;
  if (Committed) {
    FCacheUpdateList->DropSetAside();
    return;
  }
  try {
    FCacheUpdateList->RestoreSetAside();
    if (GetState() == dsBrowse) {
      CachedUpdatesResync();
    } else {
      CursorPosChanged();
    }
  } catch (...) {
    // Called from the database's transaction end, which cannot report a second failure;
    // the entries are back in the list before anything is shown.
    CursorPosChanged();
  }
}

void TKxDataSet::CancelUpdates() {
  Cancel();
  CheckCachedUpdateMode();
  if (FCacheUpdateList == nullptr) return;
  UpdateCursorPos();
  while (FCacheUpdateList->GetCount() > 0) FCacheUpdateList->Delete(FCacheUpdateList->GetCount() - 1);
  FCacheUpdateList->CurItem = -1;
  CachedUpdatesResync();
}

void TKxDataSet::RevertRecord() {
  if (EditingOrKey(GetState())) Cancel();
  CheckCachedUpdateMode();
  if (FCacheUpdateList == nullptr) return;
  UpdateCursorPos();
  const int index = IsEmpty() ? -1 : GetCachedUpdItemNo(ActiveBuffer());
  if (index >= 0) {
    FCacheUpdateList->Delete(index);
    FCacheUpdateList->CurItem = -1;
  }
  CachedUpdatesResync();
}

}  // namespace kx
