// TKxDataSet: the cached-update side of the record loop and of editing.
//
// The cached-update list is not offered yet: a dataset refuses to open or to switch with
// CachedUpdates on, so that changes never reach the engine behind the application's back.
// The operations below are where the list's merged navigation and editing plug in.
#include "common/kxconst.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"

namespace kx {

using namespace host;

namespace {

[[noreturn]] void NotSupported(TKxDataSet* DataSet) {
  KxDatabaseError(DataSet, SKxCachedUpdatesNotSupported);
}

}  // namespace

void TKxDataSet::SetCachedUpdates(bool Value) {
  if (!GetActive() || ComponentState().Contains(csDesigning)) {
    FCachedUpdates = Value;
    return;
  }
  if (Value == FCachedUpdates) return;
  NotSupported(this);
}

bool TKxDataSet::GetUpdatesPending() const { return false; }

void TKxDataSet::ApplyUpdates() {
  if (dsEditModes.Contains(GetState())) Post();
  CheckCachedUpdateMode();
}

void TKxDataSet::CommitUpdates() { CheckCachedUpdateMode(); }

void TKxDataSet::CreateCacheUpdateList() { NotSupported(this); }

void TKxDataSet::FreeCacheUpdateList() {}

TGetResult TKxDataSet::CachedUpdatesGetRecord(TRecordBuffer /*Buffer*/, TGetMode /*GetMode*/,
                                              bool /*DoCheck*/) {
  NotSupported(this);
}

TGetResult TKxDataSet::CachedUpdatesMoveFirst(bool /*DoCheck*/) { NotSupported(this); }
TGetResult TKxDataSet::CachedUpdatesMoveLast(bool /*DoCheck*/) { NotSupported(this); }
TGetResult TKxDataSet::CachedUpdatesMoveNext(bool /*DoCheck*/) { NotSupported(this); }
TGetResult TKxDataSet::CachedUpdatesMovePrev(bool /*DoCheck*/) { NotSupported(this); }
void TKxDataSet::CachedUpdatesInsert(TRecordBuffer /*Buffer*/, bool /*ClearBuffer*/) { NotSupported(this); }
void TKxDataSet::CachedUpdatesEdit() { NotSupported(this); }
void TKxDataSet::CachedUpdatesPost() { NotSupported(this); }
void TKxDataSet::CachedUpdatesCancel() { NotSupported(this); }
void TKxDataSet::CachedUpdatesDelete() { NotSupported(this); }
void TKxDataSet::CachedUpdatesGotoBookmark(const void* /*Bookmark*/) { NotSupported(this); }
bool TKxDataSet::CachedUpdatesBookmarkValid(const void* /*Bookmark*/) { NotSupported(this); }

void TKxDataSet::CancelUpdates() {
  Cancel();
  CheckCachedUpdateMode();
}

void TKxDataSet::RevertRecord() {
  if (GetState() == dsEdit || GetState() == dsInsert || GetState() == dsSetKey) Cancel();
  CheckCachedUpdateMode();
}

TUpdateStatus TKxDataSet::UpdateStatus() {
  CheckCachedUpdateMode();
  return usUnmodified;
}

int TKxDataSet::GetCachedUpdItemNo(TRecordBuffer /*Buffer*/) { return -1; }

}  // namespace kx
