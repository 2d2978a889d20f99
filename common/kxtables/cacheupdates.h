// The cached-update entries of a dataset: one TRecCacheUpdateInfo per changed record, kept in
// a TRecCacheUpdateInfoList.
//
// An entry owns up to three record buffers of its dataset's layout (new, saved new, old). They
// are allocated and freed by the dataset (AllocRecordBuffer / FreeRecordBuffer), so the BLOB
// references a buffer holds are counted and released like those of any other buffer, and they
// are copied only with the dataset's CopyRecordBuffer.
//
// Beside the buffers an entry carries six BLOB lists, always of the same length: one element
// per column of the engine's cursor, appended by the engine's KxGetBlobColumns through
// AddBlobColumn. The "new" lists hold the data of pNewRecBuf, the "saved" ones that of
// pSavedNewRecBuf, the "old" ones that of pOldRecBuf.
//
// List order: entries of records that exist only in the cache first, the most recent at
// index 0; then the entries of engine records in ascending bookmark order (the dataset's
// CompareBookmarks). An entry never moves when its kind changes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/db/dbtypes.h"

namespace kx {

class TKxDataSet;

// One BLOB column's bytes; empty (no block) when the column has no data.
using TKxBlobBlock = std::unique_ptr<std::uint8_t[]>;
using TKxBlobBlocks = std::vector<TKxBlobBlock>;
using TKxBlobSizes = std::vector<std::int32_t>;

class TRecCacheUpdateInfo {
 public:
  // Owner allocates and frees the entry's record buffers.
  explicit TRecCacheUpdateInfo(TKxDataSet* Owner);
  ~TRecCacheUpdateInfo();
  TRecCacheUpdateInfo(const TRecCacheUpdateInfo&) = delete;
  TRecCacheUpdateInfo& operator=(const TRecCacheUpdateInfo&) = delete;

  // Current kind (exactly one member) and the kind before the edit or delete in progress.
  host::TUpdateRecordTypes CacheUpdOpType{host::rtUnmodified};
  host::TUpdateRecordTypes SavedCacheUpdOpType{host::rtUnmodified};
  // The record as the application sees it now; a copy taken when a changed record is edited
  // again (restored by cancel, dropped by post); the record as it was first edited.
  host::TRecordBuffer pNewRecBuf = nullptr;
  host::TRecordBuffer pSavedNewRecBuf = nullptr;
  host::TRecordBuffer pOldRecBuf = nullptr;
  TKxBlobBlocks pNewBlobBuf;
  TKxBlobBlocks pSavedNewBlobBuf;
  TKxBlobBlocks pOldBlobBuf;
  TKxBlobSizes pNewBlobSize;
  TKxBlobSizes pSavedNewBlobSize;
  TKxBlobSizes pOldBlobSize;
  // For a record that exists only in the cache: the bookmark of the engine's first record when
  // it was inserted (empty when the cursor had none).
  host::TBookmark LastRecBookmark;
  // For the engine packages; the dataset does not use it.
  bool IsCurrentRow = false;
  // The record exists only in the cache (it was inserted). Its kind is rtModified while it
  // is being edited, so the kind alone does not tell.
  bool CacheOnly = false;

  TKxDataSet* Owner() const { return FOwner; }

  // Allocates one of the buffers when it is missing (zero-filled, BLOB cache empty).
  host::TRecordBuffer NewBuffer();
  void FreeBuffer(host::TRecordBuffer& Buffer) noexcept;

  // ---- BLOB lists
  // Appends one column to all six lists: the new lists receive Size bytes of Data (no block
  // for Size 0), the saved and old lists an empty element. A negative Size, or Data missing
  // for a positive Size, raises EKxDatabaseError.
  void AddBlobColumn(const void* Data, std::int32_t Size);
  int BlobColumnCount() const { return static_cast<int>(pNewBlobBuf.size()); }
  // Replaces the new list's column Index with Size bytes of Data (an engine's BLOB stream
  // writing into the entry). Index out of range raises EKxDatabaseError.
  void SetNewBlob(int Index, const void* Data, std::int32_t Size);
  // Copies Source (with its sizes) into Dest element by element over Source's length; a
  // block is replaced when the sizes differ.
  static void CopyBlobs(const TKxBlobBlocks& Source, const TKxBlobSizes& SourceSizes,
                        TKxBlobBlocks& Dest, TKxBlobSizes& DestSizes);
  // Frees every block and sets every size to 0 (the lists keep their length).
  static void EmptyBlobs(TKxBlobBlocks& Blocks, TKxBlobSizes& Sizes) noexcept;

  // The bookmark stored in pNewRecBuf (BookmarkSize bytes of the owner).
  host::TBookmark Bookmark() const;
  const std::uint8_t* BookmarkData() const;

 private:
  TKxDataSet* FOwner;
};

class TRecCacheUpdateInfoList {
 public:
  explicit TRecCacheUpdateInfoList(TKxDataSet* Owner);
  ~TRecCacheUpdateInfoList();
  TRecCacheUpdateInfoList(const TRecCacheUpdateInfoList&) = delete;
  TRecCacheUpdateInfoList& operator=(const TRecCacheUpdateInfoList&) = delete;

  int GetCount() const { return static_cast<int>(FList.size()); }
  int Count() const { return GetCount(); }
  // Index out of range raises EListError.
  TRecCacheUpdateInfo* Get(int Index) const;
  TRecCacheUpdateInfo* Items(int Index) const { return Get(Index); }
  // Replaces the entry at Index, freeing the one that was there.
  void Put(int Index, std::unique_ptr<TRecCacheUpdateInfo> Item);
  // Removes and frees the entry.
  void Delete(int Index);
  // Adds in list order and returns the index: a cache-only entry at 0, another one before the
  // first engine-record entry whose bookmark compares greater.
  int Add(std::unique_ptr<TRecCacheUpdateInfo> Item);
  // Index of the entry whose bookmark equals Bookmark (BookmarkSize bytes), or -1.
  int GetItemNo(const void* Bookmark) const;

  // The identifier for the next record inserted in the cache: -1 when none exists, else one
  // less than the smallest one in use (entries set aside included). Below -32767 raises
  // SKxCachedUpdatesOverflow.
  std::int32_t NextInsertedId() const;
  // The identifier kept in a bookmark of a cache-only record.
  std::int32_t IdOf(const void* Bookmark) const;
  // Writes Id into a bookmark area: the whole bookmark is zeroed, then the identifier takes
  // its first 4 bytes (2 when the bookmark is shorter than 4).
  void WriteId(void* Bookmark, std::int32_t Id) const;

  // ---- entries applied inside a transaction
  // Moves the entry at Index out of the list into the set-aside store: it is no longer
  // visible or pending, but comes back if the transaction is rolled back.
  void SetAside(int Index);
  bool HasSetAside() const { return !FSetAside.empty(); }
  int SetAsideCount() const { return static_cast<int>(FSetAside.size()); }
  // The transaction committed: the set-aside entries are freed.
  void DropSetAside() noexcept;
  // The transaction rolled back: the set-aside entries return in list order. An entry of the
  // same record made meanwhile keeps its new values and takes the returning entry's old ones.
  void RestoreSetAside();

  // A record buffer for reading engine records during the merged moves.
  host::TRecordBuffer Scratch() const { return FScratch; }

  // Index of the entry the dataset's cursor is on; -1 on a plain engine record.
  std::int32_t CurItem = -1;

  // A move to the first (last) item leaves the cursor on it, and the next forward (backward)
  // move delivers that item instead of stepping past it, as the engine cursor does after its
  // own moves to the ends. PendingResult is what that move returns.
  enum TPending : std::uint8_t { pdNone, pdFirst, pdLast };
  TPending Pending = pdNone;
  host::TGetResult PendingResult = host::grOK;

 private:
  // Whether A's position comes before B's.
  bool Before(const TRecCacheUpdateInfo& A, const TRecCacheUpdateInfo& B) const;
  int Compare(const TRecCacheUpdateInfo& A, const TRecCacheUpdateInfo& B) const;

  std::vector<std::unique_ptr<TRecCacheUpdateInfo>> FList;
  TKxDataSet* FOwner;
  std::vector<std::unique_ptr<TRecCacheUpdateInfo>> FSetAside;
  host::TRecordBuffer FScratch = nullptr;
};

}  // namespace kx
