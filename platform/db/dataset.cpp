// TDataSet: opening and closing, the buffer window, navigation and editing.
#include "platform/db/dataset.h"

#include <algorithm>
#include <cstring>

#include "platform/db/datalink.h"

namespace host {

namespace {
constexpr int MaxBufferCount = 1024;
}  // namespace

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner),
      FFields(std::make_unique<TFields>(this)),
      FFieldDefs(std::make_unique<TFieldDefs>(this)),
      FConstraints(std::make_unique<TCheckConstraints>(this)) {}

TDataSet::~TDataSet() {
  Destroying();
  // Normally closed in BeforeDestruction. A dataset that is destroyed without that step (a
  // member or a local variable) can no longer reach its own class's operations here, so only
  // the links to other objects are undone.
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
  while (FFields->Count() > 0) {
    TField* field = FFields->List().back();
    if (field->Owner() == nullptr || field->Owner() == this) {
      delete field;
    } else {
      // A persistent field of another owner outlives the dataset; it only leaves it.
      field->FDataSet = nullptr;
      FFields->Remove(field);
    }
  }
}

void TDataSet::BeforeDestruction() {
  TComponent::BeforeDestruction();
  try {
    SetActive(false);
  } catch (...) {
    // Destruction cannot fail; what could be closed has been.
  }
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
}

void TDataSet::Fire(const TDataSetNotifyEvent& Event, TDataSet* Self) {
  if (Event) Event(Self);
}

// ---- state ----------------------------------------------------------------------------------

void TDataSet::CheckActive() const {
  if (FState == dsInactive || FState == dsOpening) DatabaseError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (GetActive()) DatabaseError(SDataSetOpen, this);
}

void TDataSet::CheckBiDirectional() const {
  if (FIsUniDirectional) DatabaseError(SDataSetUnidirectional, this);
}

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly, this);
}

void TDataSet::SetState(TDataSetState Value) {
  if (FState != Value) {
    FState = Value;
    FModified = false;
    DataEvent(deUpdateState, 0);
  }
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
  TDataSetState saved = FState;
  FTempModified.push_back(FModified);
  FState = Value;
  ++FDisableCount;
  // The flag tells what changed while the temporary state lasts (key editing reads it).
  FModified = false;
  return saved;
}

void TDataSet::RestoreState(TDataSetState Value) {
  FState = Value;
  if (FDisableCount > 0) --FDisableCount;
  if (!FTempModified.empty()) {
    FModified = FTempModified.back();
    FTempModified.pop_back();
  }
}

// ---- opening and closing ------------------------------------------------------------------

void TDataSet::SetActive(bool Value) {
  if (ComponentState().Contains(csReading)) {
    FStreamedActive = Value;
    return;
  }
  if (GetActive() == Value) return;
  if (Value) {
    DoBeforeOpen();
    try {
      OpenCursor(false);
    } catch (...) {
      // The original error is the one to report; a failure while undoing is secondary.
      FInternalOpenComplete = false;
      try {
        SetState(dsInactive);
        CloseCursor();
      } catch (...) {
      }
      throw;
    }
    if (FState != dsOpening) OpenCursorComplete();
  } else {
    const bool destroying = ComponentState().Contains(csDestroying);
    if (!destroying) DoBeforeClose();
    SetState(dsInactive);
    CloseCursor();
    if (!destroying) DoAfterClose();
  }
}

void TDataSet::OpenCursorComplete() {
  if (FInternalOpenComplete) {
    SetState(dsBrowse);
    DoAfterOpen();
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::OpenCursor(bool InfoQuery) {
  if (InfoQuery) {
    InternalInitFieldDefs();
  } else if (FState != dsOpening) {
    DoInternalOpen();
  }
}

void TDataSet::DoInternalOpen() {
  FInternalOpenComplete = false;
  FDefaultFields = GetFieldCount() == 0;
  InternalOpen();
  FInternalOpenComplete = true;
  ClearBuffers();
  UpdateBufferCount();
  FBOF = true;
}

void TDataSet::CloseCursor() {
  FBlockReadSize = 0;
  FInternalOpenComplete = false;
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  FBufferCount = 0;
  InternalClose();
  FDefaultFields = false;
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
    return;
  }
  ++FInfoQueryDepth;
  try {
    OpenCursor(true);
  } catch (...) {
    try {
      CloseCursor();
    } catch (...) {
    }
    --FInfoQueryDepth;
    throw;
  }
  try {
    CloseCursor();
  } catch (...) {
    --FInfoQueryDepth;
    throw;
  }
  --FInfoQueryDepth;
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  try {
    if (FStreamedActive) SetActive(true);
  } catch (...) {
    if (ComponentState().Contains(csDesigning)) {
      InternalHandleException();
    } else {
      throw;
    }
  }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
}

// ---- the buffer window --------------------------------------------------------------------

TRecordBuffer TDataSet::Buffers(int Index) const {
  if (Index < 0 || static_cast<std::size_t>(Index) >= FBuffers.size()) {
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  }
  return FBuffers[static_cast<std::size_t>(Index)];
}

void TDataSet::SetBufListSize(int Value) {
  if (Value < 0) Value = 0;
  while (static_cast<int>(FBuffers.size()) > Value) {
    TRecordBuffer buffer = FBuffers.back();
    FBuffers.pop_back();
    if (buffer == FCalcBuffer) FCalcBuffer = nullptr;
    FreeRecordBuffer(buffer);
  }
  if (static_cast<int>(FBuffers.size()) < Value) {
    FBuffers.reserve(static_cast<std::size_t>(Value));
    while (static_cast<int>(FBuffers.size()) < Value) FBuffers.push_back(AllocRecordBuffer());
  }
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  auto begin = FBuffers.begin();
  if (CurIndex - NewIndex == 1 || NewIndex - CurIndex == 1) {
    // The common one-record shift of a small window.
    std::swap(FBuffers[static_cast<std::size_t>(CurIndex)], FBuffers[static_cast<std::size_t>(NewIndex)]);
    return;
  }
  if (CurIndex < NewIndex) {
    std::rotate(begin + CurIndex, begin + CurIndex + 1, begin + NewIndex + 1);
  } else {
    std::rotate(begin + NewIndex, begin + CurIndex, begin + CurIndex + 1);
  }
}

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FCurrentRecord = 0;
  FBOF = false;
  FEOF = false;
}

void TDataSet::UpdateBufferCount() {
  if (!FInternalOpenComplete) return;
  int wanted = 1;
  for (TDataSource* source : FDataSources) {
    for (TDataLink* link : source->FDataLinks) wanted = std::max(wanted, link->FBufferCount);
  }
  SetBufferCount(wanted);
}

void TDataSet::SetBufferCount(int Value) {
  Value = std::clamp(Value, 1, MaxBufferCount);
  if (Value == FBufferCount) return;
  auto adjustLinks = [this](int Delta) {
    if (Delta == 0) return;
    for (TDataSource* source : FDataSources) {
      for (TDataLink* link : source->FDataLinks) {
        if (link->FActive) link->FFirstRecord += Delta;
      }
    }
  };
  if (Value > FBufferCount) {
    const bool filled = FRecordCount > 0;
    SetBufListSize(Value + 1);
    FBufferCount = Value;
    if (!filled) {
      GetNextRecords();
    } else {
      GetNextRecords();
      adjustLinks(GetPriorRecords());
    }
  } else {
    // Keep the active record in the smaller window: drop records before it first, then after.
    const int dropFront = std::max(0, FActiveRecord - (Value - 1));
    for (int i = 0; i < dropFront; ++i) MoveBuffer(0, static_cast<int>(FBuffers.size()) - 1);
    if (dropFront > 0) {
      FActiveRecord -= dropFront;
      FRecordCount -= dropFront;
      FCurrentRecord = FCurrentRecord >= dropFront ? FCurrentRecord - dropFront : -1;
      FBOF = false;
    }
    if (FRecordCount > Value) {
      FRecordCount = Value;
      if (FCurrentRecord >= Value) FCurrentRecord = -1;
      FEOF = false;
    }
    FBufferCount = Value;
    SetBufListSize(Value + 1);
    adjustLinks(-dropFront);
  }
  for (TDataSource* source : FDataSources) {
    for (TDataLink* link : source->FDataLinks) {
      if (link->FActive) link->UpdateRange();
    }
  }
}

void TDataSet::SetCurrentRecord(int Index) {
  if (FCurrentRecord == Index) return;
  TRecordBuffer buffer = FBuffers[static_cast<std::size_t>(Index)];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (FRecordCount > 0) {
    SetCurrentRecord(FRecordCount - 1);
    // A record inserted at the end is already where the cursor is.
    if (FState == dsInsert && FCurrentRecord == FActiveRecord &&
        GetBookmarkFlag(ActiveBuffer()) == bfCurrent) {
      mode = gmCurrent;
    }
  }
  if (GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], mode, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else if (FRecordCount < FBufferCount) {
    ++FRecordCount;
  } else {
    MoveBuffer(0, FRecordCount);
  }
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  CheckBiDirectional();
  if (FRecordCount > 0) SetCurrentRecord(0);
  if (GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (FRecordCount == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(FRecordCount, 0);
    if (FRecordCount < FBufferCount) {
      ++FRecordCount;
      ++FActiveRecord;
    }
  }
  FCurrentRecord = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int result = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++result;
  return result;
}

int TDataSet::GetPriorRecords() {
  int result = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++result;
  return result;
}

void TDataSet::Resync(TResyncMode Mode) {
  if (FIsUniDirectional) return;
  TRecordBuffer temp = FBuffers[static_cast<std::size_t>(FRecordCount)];
  if (Mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(temp, gmCurrent, true) != grOK) DatabaseError(SRecordNotFound, this);
  } else if (GetRecord(temp, gmCurrent, false) != grOK && GetRecord(temp, gmNext, false) != grOK &&
             GetRecord(temp, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = Mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
  MoveBuffer(FRecordCount, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange, 0);
    throw;
  }
  DataEvent(deDataSetChange, 0);
}

// ---- navigation ---------------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    FBOF = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  FBOF = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBiDirectional();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  FEOF = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Next() {
  if (FBlockReadSize > 0) {
    BlockReadNext();
  } else {
    MoveBy(1);
  }
}

void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::MoveBy(int Distance) {
  if (Distance < 0) CheckBiDirectional();
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
    FBOF = false;
    FEOF = false;
    // How far the records moved within the buffers: links keep their rows on the records.
    int scrollCount = 0;
    try {
      while (Distance > 0) {
        if (FActiveRecord < FRecordCount - 1) {
          ++FActiveRecord;
        } else {
          const int shift = FRecordCount < FBufferCount ? 0 : 1;
          if (!GetNextRecord()) {
            FEOF = true;
            break;
          }
          scrollCount -= shift;
          FActiveRecord = FRecordCount - 1;
        }
        --Distance;
        ++result;
      }
      while (Distance < 0) {
        if (FActiveRecord > 0) {
          --FActiveRecord;
        } else {
          const int shift = FRecordCount < FBufferCount ? 0 : 1;
          if (!GetPriorRecord()) {
            FBOF = true;
            break;
          }
          scrollCount += shift;
          FActiveRecord = 0;
        }
        ++Distance;
        --result;
      }
    } catch (...) {
      DataEvent(deDataSetScroll, scrollCount);
      throw;
    }
    DataEvent(deDataSetScroll, scrollCount);
    DoAfterScroll();
  }
  return result;
}

void TDataSet::BlockReadNext() {
  if (FEOF) return;
  if (FActiveRecord < FRecordCount - 1) {
    ++FActiveRecord;
    FBOF = false;
  } else if (GetNextRecord()) {
    FActiveRecord = FRecordCount - 1;
    FBOF = false;
  } else {
    FEOF = true;
  }
}

void TDataSet::SetBlockReadSize(int Value) {
  if (Value < 0) Value = 0;
  if (Value == FBlockReadSize) return;
  if (Value > 0) {
    CheckActive();
    CheckBrowseMode();
    UpdateCursorPos();
    FBlockReadSize = Value;
    SetState(dsBlockRead);
  } else {
    FBlockReadSize = 0;
    if (FState == dsBlockRead) {
      SetState(dsBrowse);
      DataEvent(deDataSetChange, 0);
    }
  }
}

void TDataSet::Refresh() {
  DoBeforeRefresh();
  CheckBrowseMode();
  UpdateCursorPos();
  try {
    InternalRefresh();
  } catch (...) {
    try {
      Resync({});
    } catch (...) {
    }
    throw;
  }
  Resync({});
  DoAfterRefresh();
}

// ---- bookmarks ----------------------------------------------------------------------------

bool TDataSet::BookmarkAvailable() const {
  return (FState == dsBrowse || FState == dsEdit || FState == dsInsert || FState == dsBlockRead) &&
         !IsEmpty() && GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() const {
  TBookmark result;
  if (BookmarkAvailable() && FBookmarkSize > 0) {
    result.resize(static_cast<std::size_t>(FBookmarkSize));
    GetBookmarkData(ActiveBuffer(), result.data());
  }
  return result;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
  if (Bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(Bookmark.data());
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& /*Bookmark*/) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty() || Bookmark2.empty()) {
    return Bookmark1.empty() == Bookmark2.empty() ? 0 : (Bookmark1.empty() ? -1 : 1);
  }
  const std::size_t n = std::min(Bookmark1.size(), Bookmark2.size());
  const int c = std::memcmp(Bookmark1.data(), Bookmark2.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (Bookmark1.size() == Bookmark2.size()) return 0;
  return Bookmark1.size() < Bookmark2.size() ? -1 : 1;
}

bool TDataSet::GetCurrentRecord(TRecordBuffer /*Buffer*/) { return false; }

// ---- editing ------------------------------------------------------------------------------

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified) {
        Post();
      } else {
        Cancel();
      }
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!dsEditModes.Contains(FState)) DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckOperation(const std::function<void()>& Operation,
                              const TDataSetErrorEvent& ErrorEvent) {
  for (;;) {
    try {
      UpdateCursorPos();
      Operation();
      return;
    } catch (EDatabaseError& E) {
      TDataAction action = daFail;
      if (ErrorEvent) ErrorEvent(this, &E, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: go round again.
    }
  }
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    // Leave no half-made record behind, in the buffers or in the cursor.
    try {
      UpdateCursorPos();
      InternalCancel();
    } catch (...) {
    }
    FreeFieldBuffers();
    SetState(dsBrowse);
    try {
      Resync({});
    } catch (...) {
    }
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  const TBookmark current = GetBookmark();
  const int oldCount = FRecordCount;
  MoveBuffer(FRecordCount, FActiveRecord);
  TRecordBuffer buffer = ActiveBuffer();
  try {
    InitRecord(buffer);
    if (FRecordCount == 0) {
      SetBookmarkFlag(buffer, bfBOF);
    } else if (!current.empty()) {
      SetBookmarkData(buffer, current.data());
    }
    if (FRecordCount < FBufferCount) ++FRecordCount;
    InternalInsert();
  } catch (...) {
    // Put the window back as it was: the new buffer returns to the spare slot.
    FRecordCount = oldCount;
    MoveBuffer(FActiveRecord, FRecordCount);
    CursorPosChanged();
    throw;
  }
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = FBuffers[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  FRecordCount = 1;
  FBOF = false;
  try {
    GetPriorRecords();
    InternalInsert();
  } catch (...) {
    // The window held only the new record and what precedes it: show the last records again.
    try {
      ClearBuffers();
      InternalLast();
      GetPriorRecord();
      GetPriorRecords();
    } catch (...) {
    }
    FEOF = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  EndInsertAppend();
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation([this] { InternalEdit(); }, FOnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState == dsEdit || FState == dsInsert) {
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, FOnPostError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
  }
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  const bool scrolls = FState == dsInsert;
  if (scrolls) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterCancel();
  if (scrolls) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) DatabaseError(SDataSetEmpty, this);
  CheckCanModify();
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, FOnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) { InternalInsertRecord(Values, false); }

void TDataSet::AppendRecord(const std::vector<Variant>& Values) { InternalInsertRecord(Values, true); }

void TDataSet::InternalInsertRecord(const std::vector<Variant>& Values, bool Append) {
  BeginInsertAppend();
  if (Append) {
    ClearBuffers();
    TRecordBuffer buffer = FBuffers[0];
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    FRecordCount = 1;
    FBOF = false;
  } else {
    const TBookmark current = GetBookmark();
    MoveBuffer(FRecordCount, FActiveRecord);
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (FRecordCount == 0) {
      SetBookmarkFlag(buffer, bfBOF);
    } else if (!current.empty()) {
      SetBookmarkData(buffer, current.data());
    }
    if (FRecordCount < FBufferCount) ++FRecordCount;
  }
  SetState(dsInsert);
  try {
    if (Append) GetPriorRecords();
    SetFields(Values);
    DoBeforePost();
    CheckOperation([this, Append] { InternalAddRecord(ActiveBuffer(), Append); }, FOnPostError);
  } catch (...) {
    FreeFieldBuffers();
    SetState(dsBrowse);
    try {
      Resync({});
    } catch (...) {
    }
    throw;
  }
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  DoAfterPost();
  DoAfterScroll();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
  if (!dsEditModes.Contains(FState)) DatabaseError(SNotEditing, this);
  if (static_cast<int>(Values.size()) > GetFieldCount()) DatabaseError(SFieldIndexError, this);
  for (std::size_t i = 0; i < Values.size(); ++i) {
    if (!Values[i].IsEmpty()) FFields->Fields(static_cast<int>(i))->SetAsVariant(Values[i]);
  }
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
  InternalInitRecord(Buffer);
  ClearCalcFields(Buffer);
  SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : FFields->List()) {
    if (field->GetRequired() && !field->GetReadOnly() && field->GetFieldKind() == fkData &&
        field->GetIsNull()) {
      field->FocusControl();
      DatabaseErrorFmt(SFieldRequired, {field->GetDisplayName()});
    }
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* field : FFields->List()) field->FreeBuffers();
}

// ---- controls and data events -------------------------------------------------------------

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FEnableEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount == 0) {
    if (FDisableState != FState) DataEvent(deUpdateState, 0);
    if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
  }
}

void TDataSet::DataEvent(TDataEvent Event, std::intptr_t Info) {
  switch (Event) {
    case deFieldChange:
      NotifyFieldChange(reinterpret_cast<TField*>(Info));
      break;
    case dePropertyChange:
      FFieldDefs->SetUpdated(false);
      break;
    default:
      break;
  }
  if (!ControlsDisabled() && FState != dsBlockRead) {
    // By index: a handler may detach a source while the event is being delivered.
    for (std::size_t i = 0; i < FDataSources.size(); ++i) FDataSources[i]->DataEvent(Event, Info);
  } else if ((Event == deUpdateState && FState == dsInactive) || Event == deLayoutChange) {
    FEnableEvent = deLayoutChange;
  }
  if (FDesigner != nullptr) FDesigner->DataEvent(Event, Info);
}

void TDataSet::NotifyFieldChange(TField* Field) {
  if (Field == nullptr) return;
  if (Field->GetFieldKind() == fkData || Field->GetFieldKind() == fkInternalCalc) SetModified(true);
  UpdateCalcFields();
  if (Field->FOnChange) Field->FOnChange(Field);
}

void TDataSet::UpdateCalcFields() {
  if ((FState == dsEdit || FState == dsInsert) && FAutoCalcFields &&
      (FCalcFieldsSize > 0 || FInternalCalcFields)) {
    GetCalcFields(ActiveBuffer());
  }
}

void TDataSet::AddDataSource(TDataSource* DataSource) {
  FDataSources.push_back(DataSource);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* DataSource) {
  auto it = std::find(FDataSources.begin(), FDataSources.end(), DataSource);
  if (it == FDataSources.end()) return;
  FDataSources.erase(it);
  UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(const TDataSource* DataSource) const {
  // Bounded, so that a cycle made some other way cannot hang the check.
  for (int guard = 0; DataSource != nullptr && guard < 4096; ++guard) {
    const TDataSet* dataSet = DataSource->GetDataSet();
    if (dataSet == nullptr) break;
    if (dataSet == this) return true;
    DataSource = dataSet->GetDataSource();
  }
  return false;
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                   std::vector<TField*>& DetailFields) {
  MasterFields.clear();
  DetailFields.clear();
}

// ---- calculated fields --------------------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
  if (FCalcFieldsSize > 0 || FInternalCalcFields) {
    const TDataSetState saved = FState;
    FState = dsCalcFields;
    try {
      CalculateFields(Buffer);
    } catch (...) {
      FState = saved;
      throw;
    }
    FState = saved;
  }
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
  FCalcBuffer = Buffer;
  if (FState != dsInternalCalc) {
    ClearCalcFields(Buffer);
    for (TField* field : FFields->List()) {
      if (field->GetFieldKind() == fkLookup) CalcLookupValue(field);
    }
  }
  DoOnCalcFields();
}

void TDataSet::CalcLookupValue(TField* Field) {
  TDataSet* lookup = Field->GetLookupDataSet();
  if (lookup == nullptr || !lookup->GetActive()) return;
  if (Field->GetKeyFields().empty() || Field->GetLookupKeyFields().empty() ||
      Field->GetLookupResultField().empty()) {
    return;
  }
  Field->SetAsVariant(lookup->Lookup(Field->GetLookupKeyFields(), GetFieldValues(Field->GetKeyFields()),
                                     Field->GetLookupResultField()));
}

// ---- searching ----------------------------------------------------------------------------

bool TDataSet::FindFirst() {
  FFound = FindRecord(true, true);
  return FFound;
}

bool TDataSet::FindLast() {
  CheckBiDirectional();
  FFound = FindRecord(true, false);
  return FFound;
}

bool TDataSet::FindNext() {
  FFound = FindRecord(false, true);
  return FFound;
}

bool TDataSet::FindPrior() {
  CheckBiDirectional();
  FFound = FindRecord(false, false);
  return FFound;
}

bool TDataSet::FindRecord(bool /*Restart*/, bool /*GoForward*/) { return false; }

bool TDataSet::Locate(const std::string& /*KeyFields*/, const Variant& /*KeyValues*/,
                      TLocateOptions /*Options*/) {
  CheckBiDirectional();
  return false;
}

Variant TDataSet::Lookup(const std::string& /*KeyFields*/, const Variant& /*KeyValues*/,
                         const std::string& /*ResultFields*/) {
  CheckBiDirectional();
  return Null();
}

int TDataSet::Translate(const char* Src, char* Dest, bool /*ToOem*/) {
  if (Src == nullptr) {
    if (Dest != nullptr) *Dest = '\0';
    return 0;
  }
  const std::size_t length = std::strlen(Src);
  if (Dest != nullptr && Dest != Src) std::memmove(Dest, Src, length + 1);
  return static_cast<int>(length);
}

}  // namespace host
