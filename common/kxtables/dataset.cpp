// TKxDataSet: record buffers, the record loop, and the framework's protocol routed to the
// engine-cursor contract.
#include "common/kxtables/dataset.h"

#include <cstring>
#include <limits>

#include "common/kxconst.h"
#include "common/kxtables/cacheupdates.h"
#include "common/kxtables/errors.h"
#include "common/kxtables/trace.h"
#include "platform/rtl/application.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/currency.h"

namespace kx {

using namespace host;

namespace {

bool DefaultRefreshOnLocate = false;

constexpr std::size_t kRecordNumberOffset = offsetof(TRecInfo, RecordNumber);
constexpr std::size_t kBookmarkFlagOffset = offsetof(TRecInfo, BookmarkFlag);

}  // namespace

void SetRefreshOnLocate(bool Value) { DefaultRefreshOnLocate = Value; }

TKxRecordBufferLayout KxRecordBufferLayout(int RecordSize, int CalcFieldsSize, int BlobCount,
                                           int BookmarkSize, TComponent* DataSet) {
  constexpr long long kMax = std::numeric_limits<std::uint16_t>::max();
  if (RecordSize < 0 || CalcFieldsSize < 0 || BlobCount < 0 || BookmarkSize < 0) {
    KxDatabaseError(DataSet, SInvalidFieldSize);
  }
  const long long blobCacheOfs = static_cast<long long>(RecordSize) + CalcFieldsSize;
  const long long recInfoOfs =
      blobCacheOfs + static_cast<long long>(BlobCount) * static_cast<long long>(KxBlobSlotSize);
  const long long bookmarkOfs = recInfoOfs + static_cast<long long>(sizeof(TRecInfo));
  const long long recBufSize = bookmarkOfs + BookmarkSize;
  // Offsets are 16-bit: a larger buffer would wrap and every access past the wrap would
  // land outside the block.
  if (recBufSize > kMax) KxDatabaseError(DataSet, SInvalidFieldSize);
  return {static_cast<std::uint16_t>(blobCacheOfs), static_cast<std::uint16_t>(recInfoOfs),
          static_cast<std::uint16_t>(bookmarkOfs), static_cast<std::uint16_t>(recBufSize)};
}

// ---- construction -------------------------------------------------------------------------

TKxDataSet::TKxDataSet(TComponent* AOwner)
    : TDataSet(AOwner), FRefreshOnLocate(DefaultRefreshOnLocate) {}

TKxDataSet::~TKxDataSet() {
  // The framework has closed the dataset; a database still held for another reason would
  // keep a registration of a dataset that no longer exists.
  if (FDatabase != nullptr) {
    TKxAbsDatabase* database = FDatabase;
    ForgetDatabase();
    try {
      CloseDatabase(database);
    } catch (...) {
      // Destruction cannot fail; the database keeps its connection.
    }
  }
  FreeTempBuffers();
}

// ---- layout and record buffers ------------------------------------------------------------

void TKxDataSet::InitBufferPointers(bool /*GetProps*/) {
  const TKxRecordBufferLayout layout = KxRecordBufferLayout(
      FRecordSize, GetCalcFieldsSize(), GetBlobFieldCount(), GetBookmarkSize(), this);
  // Scratch buffers of the old layout would be too small for the new one.
  FreeTempBuffers();
  FBlobCacheOfs = layout.BlobCacheOfs;
  FRecInfoOfs = layout.RecInfoOfs;
  FBookmarkOfs = layout.BookmarkOfs;
  FRecBufSize = layout.RecBufSize;
}

int TKxDataSet::BlobCacheSlotCount() const {
  if (FRecInfoOfs <= FBlobCacheOfs) return 0;
  return static_cast<int>((FRecInfoOfs - FBlobCacheOfs) / KxBlobSlotSize);
}

TRecordBuffer TKxDataSet::AllocRecordBuffer() {
  // A descendant that never laid out its buffers still gets blocks that hold the record
  // information and the bookmark.
  if (FRecBufSize == 0) InitBufferPointers(false);
  auto* buffer = new std::uint8_t[FRecBufSize]();
  InitBlobCache(buffer);
  return buffer;
}

void TKxDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (Buffer == nullptr) return;
  ClearBlobCache(Buffer);
  delete[] Buffer;
  Buffer = nullptr;
}

void TKxDataSet::ClearBlobCache(TRecordBuffer Buffer) {
  // Released whatever CacheBlobs says: a slot may have been filled while it was on, and a
  // reference left behind would never be freed.
  if (Buffer == nullptr) return;
  const int count = BlobCacheSlotCount();
  for (int i = 0; i < count; ++i) {
    TByteArray::Release(Buffer + FBlobCacheOfs + static_cast<std::size_t>(i) * KxBlobSlotSize);
  }
}

void TKxDataSet::InitBlobCache(TRecordBuffer Buffer) {
  if (Buffer == nullptr) return;
  const std::size_t bytes = static_cast<std::size_t>(BlobCacheSlotCount()) * KxBlobSlotSize;
  if (bytes > 0) std::memset(Buffer + FBlobCacheOfs, 0, bytes);
}

void TKxDataSet::CopyRecordBuffer(TRecordBuffer Dest, TRecordBuffer Source) {
  if (Dest == nullptr || Source == nullptr || Dest == Source) return;
  ClearBlobCache(Dest);
  std::memcpy(Dest, Source, FBlobCacheOfs);
  std::memcpy(Dest + FRecInfoOfs, Source + FRecInfoOfs,
              static_cast<std::size_t>(FRecBufSize - FRecInfoOfs));
  const int count = BlobCacheSlotCount();
  for (int i = 0; i < count; ++i) {
    const std::size_t at = FBlobCacheOfs + static_cast<std::size_t>(i) * KxBlobSlotSize;
    TByteArray::CopySlot(Dest + at, Source + at);
  }
}

std::int32_t TKxDataSet::GetRecordNumber(TRecordBuffer Buffer) const {
  std::int32_t value;
  std::memcpy(&value, Buffer + FRecInfoOfs + kRecordNumberOffset, sizeof value);
  return value;
}

void TKxDataSet::SetRecordNumber(TRecordBuffer Buffer, std::int32_t Value) {
  std::memcpy(Buffer + FRecInfoOfs + kRecordNumberOffset, &Value, sizeof Value);
}

TBookmarkFlag TKxDataSet::GetBookmarkFlag(TRecordBuffer Buffer) const {
  return static_cast<TBookmarkFlag>(Buffer[FRecInfoOfs + kBookmarkFlagOffset]);
}

void TKxDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FRecInfoOfs + kBookmarkFlagOffset] = static_cast<std::uint8_t>(Value);
}

void TKxDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) const {
  const int size = GetBookmarkSize();
  if (Data != nullptr && size > 0) {
    std::memcpy(Data, Buffer + FBookmarkOfs, static_cast<std::size_t>(size));
  }
}

void TKxDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  const int size = GetBookmarkSize();
  if (Data != nullptr && size > 0) {
    std::memcpy(Buffer + FBookmarkOfs, Data, static_cast<std::size_t>(size));
  }
}

void TKxDataSet::InitRecord(TRecordBuffer Buffer) {
  TDataSet::InitRecord(Buffer);
  ClearBlobCache(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
  SetRecordNumber(Buffer, -1);
}

void TKxDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  if (FRecordSize > 0) std::memset(Buffer, 0, FRecordSize);
}

void TKxDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  const int size = GetCalcFieldsSize();
  if (size > 0) std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(size));
}

void TKxDataSet::FreeTempBuffers() {
  for (TRecordBuffer& buffer : FTempBuffers) {
    ClearBlobCache(buffer);
    delete[] buffer;
    buffer = nullptr;
  }
  FTempBuffers.clear();
  FTempBuffersInUse = 0;
}

TGetResult TKxDataSet::GetRecordInTempBuf(TGetMode GetMode, bool DoCheck) {
  // One scratch buffer per nesting level: a filtered move inside a read may read again.
  if (FTempBuffersInUse == FTempBuffers.size()) FTempBuffers.push_back(AllocRecordBuffer());
  TRecordBuffer buffer = FTempBuffers[FTempBuffersInUse++];
  struct Release {
    TKxDataSet* Self;
    TRecordBuffer Buffer;
    ~Release() {
      Self->ClearBlobCache(Buffer);
      --Self->FTempBuffersInUse;
    }
  } release{this, buffer};
  return GetRecord(buffer, GetMode, DoCheck);
}

// ---- the record loop ----------------------------------------------------------------------

TGetResult TKxDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  if (!FCachedUpdates) return KxGetRecord(Buffer, GetMode, DoCheck);
  return CachedUpdatesGetRecord(Buffer, GetMode, DoCheck);
}

TGetResult TKxDataSet::InternalMoveFirst(bool DoCheck) {
  return FCachedUpdates ? CachedUpdatesMoveFirst(DoCheck) : KxInternalMoveFirst(DoCheck);
}

TGetResult TKxDataSet::InternalMoveLast(bool DoCheck) {
  return FCachedUpdates ? CachedUpdatesMoveLast(DoCheck) : KxInternalMoveLast(DoCheck);
}

TGetResult TKxDataSet::InternalMoveNext(bool DoCheck) {
  return FCachedUpdates ? CachedUpdatesMoveNext(DoCheck) : KxInternalMoveNext(DoCheck);
}

TGetResult TKxDataSet::InternalMovePrev(bool DoCheck) {
  return FCachedUpdates ? CachedUpdatesMovePrev(DoCheck) : KxInternalMovePrev(DoCheck);
}

bool TKxDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
  UpdateCursorPos();
  return GetRecord(Buffer, gmCurrent, false) == grOK;
}

bool TKxDataSet::GetActiveRecBuf(TRecordBuffer& Buffer) {
  switch (GetState()) {
    case dsBrowse:
    case dsBlockRead:
      Buffer = IsEmpty() ? nullptr : ActiveBuffer();
      break;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      Buffer = ActiveBuffer();
      break;
    case dsCalcFields:
      Buffer = GetCalcBuffer();
      break;
    case dsFilter:
      Buffer = FFilterBuffer;
      break;
    case dsOldValue:
      Buffer = GetOldRecord();
      break;
    default:
      Buffer = nullptr;
      break;
  }
  return Buffer != nullptr;
}

std::int32_t TKxDataSet::GetRecNo() {
  if (GetState() == dsCalcFields) {
    TRecordBuffer calc = GetCalcBuffer();
    return calc != nullptr ? GetRecordNumber(calc) : -1;
  }
  CheckActive();
  // The first buffer of an empty dataset holds no record, only what was left in it.
  if (IsEmpty()) return -1;
  return GetRecordNumber(ActiveBuffer());
}

bool TKxDataSet::GetCanModify() {
  return FCanModify || (FCachedUpdates && static_cast<bool>(FOnUpdateRecord));
}

// ---- opening and closing ------------------------------------------------------------------

void TKxDataSet::InternalOpen() {
  TKxDiagScope diag(diagnose1590_Open, "1590_open", "TKxDataSet.InternalOpen");
  if (FCachedUpdates) CreateCacheUpdateList();
  FConstraintLayer = HasConstraints();
  if (FConstraintLayer) BeginConstrains();
  if (GetFiltered()) ActivateFilters();
  InternalMoveFirst(true);
  PrepareCursor();
}

void TKxDataSet::InternalClose() {
  TKxDiagScope diag(diagnose1590_Open, "1590_open", "TKxDataSet.InternalClose");
  if (GetFiltered()) DeactivateFilters();
  if (FCachedUpdates) FreeCacheUpdateList();
  if (FConstraintLayer) EndConstrains();
  FConstraintLayer = false;
  BindFields(false);
  if (GetDefaultFields()) DestroyFields();
  FExpIndex = false;
  FCanModify = false;
  FreeTempBuffers();
}

void TKxDataSet::InternalHandleException() { Application()->HandleException(this); }

// ---- editing: the contract, or the cached-update list ------------------------------------

void TKxDataSet::InternalInsert() {
  if (FCachedUpdates) {
    CachedUpdatesInsert(ActiveBuffer(), true);
  } else {
    KxInternalInsert();
  }
  SetDefaultConstraints(ActiveBuffer());
}

void TKxDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  if (FCachedUpdates) {
    CachedUpdatesInsert(Buffer, false);
  } else {
    KxInternalAddRecord(Buffer, Append);
  }
}

void TKxDataSet::InternalEdit() {
  if (FCachedUpdates) {
    CachedUpdatesEdit();
  } else {
    KxInternalEdit();
  }
}

void TKxDataSet::InternalPost() {
  if (FCachedUpdates) {
    CachedUpdatesPost();
  } else {
    KxInternalPost();
  }
}

void TKxDataSet::InternalCancel() {
  if (FCachedUpdates) {
    CachedUpdatesCancel();
  } else {
    KxInternalCancel();
  }
}

void TKxDataSet::InternalDelete() {
  if (FCachedUpdates) {
    CachedUpdatesDelete();
  } else {
    KxInternalDelete();
  }
}

void TKxDataSet::InternalRefresh() {
  // Cached changes live in the list; re-reading the engine under them is left to Refresh's
  // resynchronisation.
  if (FCachedUpdates) return;
  FIsDatasetEmpty = false;
  KxInternalRefresh();
}

// ---- bookmarks ----------------------------------------------------------------------------

void TKxDataSet::InternalGotoBookmark(const void* Bookmark) {
  if (FCachedUpdates) {
    CachedUpdatesGotoBookmark(Bookmark);
  } else {
    KxInternalGotoBookmark(Bookmark);
  }
}

void TKxDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  InternalGotoBookmark(Buffer + FBookmarkOfs);
}

bool TKxDataSet::BookmarkValid(const TBookmark& Bookmark) {
  // A bookmark shorter than the dataset's would be read past its end by the engine.
  if (Bookmark.empty() || static_cast<int>(Bookmark.size()) < GetBookmarkSize()) return false;
  if (FCachedUpdates) return CachedUpdatesBookmarkValid(Bookmark.data());
  return KxInternalBookmarkValid(Bookmark.data());
}

// ---- old, new and current values ----------------------------------------------------------

Variant TKxDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
  CheckCachedUpdateMode();
  return TDataSet::GetStateFieldValue(State, Field);
}

void TKxDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
  CheckCachedUpdateMode();
  TDataSet::SetStateFieldValue(State, Field, Value);
}

// ---- value conversion ---------------------------------------------------------------------

void TKxDataSet::DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative) {
  if (Field->GetDataType() != ftBCD) {
    TDataSet::DataConvert(Field, Source, Dest, ToNative);
    return;
  }
  // Through the decimal text, so that the value keeps exactly the digits it shows.
  if (ToNative) {
    Currency value;
    std::memcpy(&value, Source, sizeof value);
    const TBcd bcd = StrToBcd(CurrToStr(value));
    std::memcpy(Dest, &bcd, sizeof bcd);
  } else {
    TBcd bcd;
    std::memcpy(&bcd, Source, sizeof bcd);
    Currency value;
    // A stored value beyond the currency range is an overflow, not a malformed number.
    if (!TryStrToCurr(BcdToStr(bcd), value)) DatabaseError(SBCDOverflow, this);
    std::memcpy(Dest, &value, sizeof value);
  }
}

// ---- BLOB cache ---------------------------------------------------------------------------

namespace {

// The slot of a BLOB field in a buffer, or nullptr for a field that has none.
std::uint8_t* BlobSlot(TRecordBuffer Buffer, std::uint16_t BlobCacheOfs, int SlotCount,
                       TField* Field) {
  if (Buffer == nullptr || Field == nullptr || !Field->IsBlob()) return nullptr;
  const int index = Field->GetOffset();
  if (index < 0 || index >= SlotCount) return nullptr;
  return Buffer + BlobCacheOfs + static_cast<std::size_t>(index) * KxBlobSlotSize;
}

}  // namespace

TByteArray TKxDataSet::GetBlobData(TField* Field, TRecordBuffer Buffer) {
  const std::uint8_t* slot = BlobSlot(Buffer, FBlobCacheOfs, BlobCacheSlotCount(), Field);
  return slot != nullptr ? TByteArray::Load(slot) : TByteArray();
}

void TKxDataSet::SetBlobData(TField* Field, TRecordBuffer Buffer, const TByteArray& Value) {
  if (Buffer == nullptr || Buffer != ActiveBuffer()) return;
  std::uint8_t* slot = BlobSlot(Buffer, FBlobCacheOfs, BlobCacheSlotCount(), Field);
  if (slot == nullptr) return;
  // Hold the new value before dropping the old one: they may be the same array.
  const TByteArray keep = Value;
  TByteArray::Release(slot);
  TByteArray::Store(slot, keep);
}

// ---- cached-update properties -------------------------------------------------------------

void TKxDataSet::CheckCachedUpdateMode() const {
  if (!FCachedUpdates) KxDatabaseError(const_cast<TKxDataSet*>(this), SNoCachedUpdates);
}

}  // namespace kx
