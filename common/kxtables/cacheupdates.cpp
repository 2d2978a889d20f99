// The cached-update entries and their list.
#include "common/kxtables/cacheupdates.h"

#include <algorithm>
#include <cstring>

#include "common/kxconst.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace kx {

using namespace host;

namespace {

// Identifiers of cache-only records stop here: a 2-byte bookmark must be able to hold them.
constexpr std::int32_t kLowestInsertedId = -32767;

TKxBlobBlock CopyBlock(const void* Data, std::int32_t Size) {
  if (Size <= 0) return nullptr;
  TKxBlobBlock block(new std::uint8_t[static_cast<std::size_t>(Size)]);
  std::memcpy(block.get(), Data, static_cast<std::size_t>(Size));
  return block;
}

}  // namespace

// ---- TRecCacheUpdateInfo ------------------------------------------------------------------

TRecCacheUpdateInfo::TRecCacheUpdateInfo(TKxDataSet* Owner) : FOwner(Owner) {}

TRecCacheUpdateInfo::~TRecCacheUpdateInfo() {
  FreeBuffer(pNewRecBuf);
  FreeBuffer(pSavedNewRecBuf);
  FreeBuffer(pOldRecBuf);
}

TRecordBuffer TRecCacheUpdateInfo::NewBuffer() { return FOwner->AllocRecordBuffer(); }

void TRecCacheUpdateInfo::FreeBuffer(TRecordBuffer& Buffer) noexcept {
  if (Buffer == nullptr) return;
  try {
    FOwner->FreeRecordBuffer(Buffer);
  } catch (...) {
    // Freeing releases memory and counted references only; nothing to report.
  }
  Buffer = nullptr;
}

void TRecCacheUpdateInfo::AddBlobColumn(const void* Data, std::int32_t Size) {
  if (Size < 0 || (Size > 0 && Data == nullptr)) KxDatabaseError(FOwner, SInvalidFieldSize);
  // Room first, so that a failure leaves the six lists of equal length.
  const std::size_t n = pNewBlobBuf.size() + 1;
  for (auto* blocks : {&pNewBlobBuf, &pSavedNewBlobBuf, &pOldBlobBuf}) blocks->reserve(n);
  for (auto* sizes : {&pNewBlobSize, &pSavedNewBlobSize, &pOldBlobSize}) sizes->reserve(n);
  TKxBlobBlock block = CopyBlock(Data, Size);
  pNewBlobBuf.push_back(std::move(block));
  pNewBlobSize.push_back(Size);
  pSavedNewBlobBuf.push_back(nullptr);
  pSavedNewBlobSize.push_back(0);
  pOldBlobBuf.push_back(nullptr);
  pOldBlobSize.push_back(0);
}

void TRecCacheUpdateInfo::SetNewBlob(int Index, const void* Data, std::int32_t Size) {
  if (Index < 0 || Index >= BlobColumnCount()) KxDatabaseError(FOwner, SFieldIndexError);
  if (Size < 0 || (Size > 0 && Data == nullptr)) KxDatabaseError(FOwner, SInvalidFieldSize);
  const auto i = static_cast<std::size_t>(Index);
  pNewBlobBuf[i] = CopyBlock(Data, Size);
  pNewBlobSize[i] = Size;
}

void TRecCacheUpdateInfo::CopyBlobs(const TKxBlobBlocks& Source, const TKxBlobSizes& SourceSizes,
                                    TKxBlobBlocks& Dest, TKxBlobSizes& DestSizes) {
  const std::size_t n = std::min(Source.size(), SourceSizes.size());
  if (Dest.size() < n) Dest.resize(n);
  if (DestSizes.size() < n) DestSizes.resize(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t size = SourceSizes[i];
    if (size <= 0 || Source[i] == nullptr) {
      Dest[i].reset();
      DestSizes[i] = 0;
      continue;
    }
    if (DestSizes[i] != size || Dest[i] == nullptr) {
      Dest[i].reset(new std::uint8_t[static_cast<std::size_t>(size)]);
    }
    DestSizes[i] = size;
    std::memcpy(Dest[i].get(), Source[i].get(), static_cast<std::size_t>(size));
  }
}

void TRecCacheUpdateInfo::EmptyBlobs(TKxBlobBlocks& Blocks, TKxBlobSizes& Sizes) noexcept {
  for (TKxBlobBlock& block : Blocks) block.reset();
  std::fill(Sizes.begin(), Sizes.end(), 0);
}

const std::uint8_t* TRecCacheUpdateInfo::BookmarkData() const {
  return pNewRecBuf != nullptr ? pNewRecBuf + FOwner->FBookmarkOfs : nullptr;
}

TBookmark TRecCacheUpdateInfo::Bookmark() const {
  const int size = FOwner->GetBookmarkSize();
  if (pNewRecBuf == nullptr || size <= 0) return {};
  const std::uint8_t* data = BookmarkData();
  return TBookmark(data, data + size);
}

// ---- TRecCacheUpdateInfoList --------------------------------------------------------------

TRecCacheUpdateInfoList::TRecCacheUpdateInfoList(TKxDataSet* Owner) : FOwner(Owner) {
  FScratch = FOwner->AllocRecordBuffer();
}

TRecCacheUpdateInfoList::~TRecCacheUpdateInfoList() {
  FList.clear();
  FSetAside.clear();
  try {
    FOwner->FreeRecordBuffer(FScratch);
  } catch (...) {
  }
}

TRecCacheUpdateInfo* TRecCacheUpdateInfoList::Get(int Index) const {
  if (Index < 0 || Index >= GetCount()) {
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  }
  return FList[static_cast<std::size_t>(Index)].get();
}

void TRecCacheUpdateInfoList::Put(int Index, std::unique_ptr<TRecCacheUpdateInfo> Item) {
  (void)Get(Index);
  FList[static_cast<std::size_t>(Index)] = std::move(Item);
}

void TRecCacheUpdateInfoList::Delete(int Index) {
  (void)Get(Index);
  FList.erase(FList.begin() + Index);
  // The cursor's entry keeps its index when an entry before it goes.
  if (CurItem == Index) {
    CurItem = -1;
  } else if (CurItem > Index) {
    --CurItem;
  }
}

int TRecCacheUpdateInfoList::Compare(const TRecCacheUpdateInfo& A,
                                     const TRecCacheUpdateInfo& B) const {
  return FOwner->CompareBookmarks(A.Bookmark(), B.Bookmark());
}

bool TRecCacheUpdateInfoList::Before(const TRecCacheUpdateInfo& A,
                                     const TRecCacheUpdateInfo& B) const {
  if (A.CacheOnly != B.CacheOnly) return A.CacheOnly;
  // The most recent insert has the smallest identifier and comes first.
  if (A.CacheOnly) return IdOf(A.BookmarkData()) < IdOf(B.BookmarkData());
  return Compare(A, B) < 0;
}

int TRecCacheUpdateInfoList::Add(std::unique_ptr<TRecCacheUpdateInfo> Item) {
  if (Item == nullptr) return -1;
  std::size_t at = 0;
  if (!Item->CacheOnly) {
    at = FList.size();
    for (std::size_t i = 0; i < FList.size(); ++i) {
      if (!FList[i]->CacheOnly && Compare(*FList[i], *Item) > 0) {
        at = i;
        break;
      }
    }
  }
  FList.insert(FList.begin() + static_cast<std::ptrdiff_t>(at), std::move(Item));
  const int index = static_cast<int>(at);
  if (CurItem >= index) ++CurItem;
  return index;
}

int TRecCacheUpdateInfoList::GetItemNo(const void* Bookmark) const {
  const int size = FOwner->GetBookmarkSize();
  if (Bookmark == nullptr || size <= 0) return -1;
  // Called for every engine record the merged moves read, so it searches the list's order
  // instead of scanning it: cache-only entries first by identifier, then engine records in
  // bookmark order. The candidate found must then hold exactly these bookmark bytes.
  const auto holds = [&](auto it) {
    const std::uint8_t* mark = it == FList.end() ? nullptr : (*it)->BookmarkData();
    return mark != nullptr && std::memcmp(mark, Bookmark, static_cast<std::size_t>(size)) == 0;
  };
  const auto engineBegin =
      std::partition_point(FList.begin(), FList.end(), [](const auto& entry) { return entry->CacheOnly; });
  const std::int32_t id = IdOf(Bookmark);
  auto it = std::lower_bound(FList.begin(), engineBegin, id, [&](const auto& entry, std::int32_t value) {
    return IdOf(entry->BookmarkData()) < value;
  });
  if (it != engineBegin && holds(it)) return static_cast<int>(it - FList.begin());
  const auto* bytes = static_cast<const std::uint8_t*>(Bookmark);
  const TBookmark key(bytes, bytes + size);
  it = std::lower_bound(engineBegin, FList.end(), key, [&](const auto& entry, const TBookmark& value) {
    return FOwner->CompareBookmarks(entry->Bookmark(), value) < 0;
  });
  if (holds(it)) return static_cast<int>(it - FList.begin());
  return -1;
}

std::int32_t TRecCacheUpdateInfoList::IdOf(const void* Bookmark) const {
  if (Bookmark == nullptr) return 0;
  if (FOwner->GetBookmarkSize() >= 4) {
    std::int32_t id;
    std::memcpy(&id, Bookmark, sizeof id);
    return id;
  }
  std::int16_t id;
  std::memcpy(&id, Bookmark, sizeof id);
  return id;
}

void TRecCacheUpdateInfoList::WriteId(void* Bookmark, std::int32_t Id) const {
  const int size = FOwner->GetBookmarkSize();
  if (Bookmark == nullptr || size <= 0) return;
  std::memset(Bookmark, 0, static_cast<std::size_t>(size));
  if (size >= 4) {
    std::memcpy(Bookmark, &Id, sizeof Id);
  } else {
    // Identifiers stop at -32767, so the 16-bit form holds every one of them.
    const auto id = static_cast<std::int16_t>(Id);
    std::memcpy(Bookmark, &id, std::min<std::size_t>(sizeof id, static_cast<std::size_t>(size)));
  }
}

std::int32_t TRecCacheUpdateInfoList::NextInsertedId() const {
  std::int32_t lowest = 0;
  for (const auto* store : {&FList, &FSetAside}) {
    for (const auto& entry : *store) {
      if (entry->CacheOnly) lowest = std::min(lowest, IdOf(entry->BookmarkData()));
    }
  }
  if (lowest <= kLowestInsertedId) KxDatabaseError(FOwner, SKxCachedUpdatesOverflow);
  return lowest - 1;
}

void TRecCacheUpdateInfoList::SetAside(int Index) {
  (void)Get(Index);
  FSetAside.reserve(FSetAside.size() + 1);
  FSetAside.push_back(std::move(FList[static_cast<std::size_t>(Index)]));
  FList.erase(FList.begin() + Index);
  if (CurItem == Index) {
    CurItem = -1;
  } else if (CurItem > Index) {
    --CurItem;
  }
}

void TRecCacheUpdateInfoList::DropSetAside() noexcept { FSetAside.clear(); }

void TRecCacheUpdateInfoList::RestoreSetAside() {
  // Taken out entry by entry, so that whatever an exception interrupts is in one of the two
  // stores and is freed with the list at the latest.
  while (!FSetAside.empty()) {
    std::unique_ptr<TRecCacheUpdateInfo>& back = FSetAside.back();
    const int same = GetItemNo(back->BookmarkData());
    if (same >= 0) {
      // The record was changed again after its change was applied: those new values already
      // include the applied ones, and its old values must be the ones from before.
      TRecCacheUpdateInfo* newer = FList[static_cast<std::size_t>(same)].get();
      if (back->pOldRecBuf != nullptr) {
        std::swap(newer->pOldRecBuf, back->pOldRecBuf);
        std::swap(newer->pOldBlobBuf, back->pOldBlobBuf);
        std::swap(newer->pOldBlobSize, back->pOldBlobSize);
      }
      FSetAside.pop_back();
      continue;
    }
    auto at = std::find_if(FList.begin(), FList.end(),
                           [&](const auto& entry) { return Before(*back, *entry); });
    const int index = static_cast<int>(at - FList.begin());
    FList.insert(at, std::move(back));
    FSetAside.pop_back();
    if (CurItem >= index) ++CurItem;
  }
}

}  // namespace kx
