#include "platform/db/datalink.h"

#include <algorithm>

namespace host {

// ---- TDataSource --------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  // Links and the dataset keep plain pointers to the source: take them back first.
  while (!FDataLinks.empty()) FDataLinks.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(SCircularDataLink, this);
  if (FDataSet != nullptr) {
    RemoveFreeNotification(FDataSet);
    FDataSet->RemoveDataSource(this);
  }
  FDataSet = Value;
  if (FDataSet != nullptr) {
    FreeNotification(FDataSet);
    FDataSet->AddDataSource(this);
  }
  NotifyState();
}

void TDataSource::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  NotifyState();
}

void TDataSource::Edit() {
  if (FAutoEdit && FState == dsBrowse && FDataSet != nullptr) FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(const TDataSet* DataSet) const {
  for (int guard = 0; DataSet != nullptr && guard < 4096; ++guard) {
    const TDataSource* source = DataSet->GetDataSource();
    if (source == nullptr) break;
    if (source == this) return true;
    DataSet = source->GetDataSet();
  }
  return false;
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) SetDataSet(nullptr);
}

void TDataSource::AddDataLink(TDataLink* DataLink) {
  FDataLinks.push_back(DataLink);
  DataLink->FDataSource = this;
  if (FDataSet != nullptr) FDataSet->UpdateBufferCount();
  DataLink->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* DataLink) {
  auto it = std::find(FDataLinks.begin(), FDataLinks.end(), DataLink);
  if (it != FDataLinks.end()) FDataLinks.erase(it);
  DataLink->FDataSource = nullptr;
  DataLink->UpdateState();
  if (FDataSet != nullptr) FDataSet->UpdateBufferCount();
}

void TDataSource::NotifyDataLinks(TDataEvent Event, std::intptr_t Info) {
  // By index: a link may leave while it is being told.
  for (std::size_t i = 0; i < FDataLinks.size(); ++i) FDataLinks[i]->DataEvent(Event, Info);
}

void TDataSource::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) {
    NotifyState();
    return;
  }
  if (FState == dsInactive) return;
  NotifyDataLinks(Event, Info);
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (FOnDataChange) {
        FOnDataChange(this, Event == deFieldChange ? reinterpret_cast<TField*>(Info) : nullptr);
      }
      break;
    case deUpdateRecord:
      if (FOnUpdateData) FOnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::NotifyState() {
  SetState(FDataSet != nullptr && FEnabled ? FDataSet->GetState() : dsInactive);
}

void TDataSource::SetState(TDataSetState Value) {
  if (Value == FState) return;
  const TDataSetState prior = FState;
  FState = Value;
  NotifyDataLinks(deUpdateState, 0);
  if (!ComponentState().Contains(csDestroying)) {
    if (FOnStateChange) FOnStateChange(this);
    if (prior == dsInactive) NotifyDataLinks(deLayoutChange, 0);
  }
}

// ---- TDataLink ----------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
  if (FDataSource != nullptr) FDataSource->RemoveDataLink(this);
}

TDataSet* TDataLink::GetDataSet() const { return FDataSource != nullptr ? FDataSource->GetDataSet() : nullptr; }

void TDataLink::SetDataSource(TDataSource* Value) {
  if (Value == FDataSource) return;
  if (Value != nullptr) {
    const TDataSet* detail = GetDetailDataSet();
    if (detail != nullptr && (Value->GetDataSet() == detail || detail->IsLinkedTo(Value))) {
      DatabaseError(SCircularDataLink, detail);
    }
  }
  if (FDataSource != nullptr) FDataSource->RemoveDataLink(this);
  if (Value != nullptr) Value->AddDataLink(this);
}

void TDataLink::SetReadOnly(bool Value) {
  if (Value == FReadOnly) return;
  FReadOnly = Value;
  UpdateState();
}

void TDataLink::SetBufferCount(int Value) {
  if (Value < 1) Value = 1;
  if (Value == FBufferCount) return;
  FBufferCount = Value;
  TDataSet* dataSet = GetDataSet();
  if (FActive && dataSet != nullptr) {
    UpdateRange();
    dataSet->UpdateBufferCount();
    UpdateRange();
  }
}

int TDataLink::GetActiveRecord() const {
  TDataSet* dataSet = GetDataSet();
  if (!FActive || dataSet == nullptr || FDataSource->GetState() == dsSetKey) return 0;
  return dataSet->FActiveRecord - FFirstRecord;
}

void TDataLink::SetActiveRecord(int Value) {
  TDataSet* dataSet = GetDataSet();
  if (!FActive || dataSet == nullptr || FDataSource->GetState() == dsSetKey) return;
  const int index = Value + FFirstRecord;
  if (index < 0 || index >= std::max(1, dataSet->FRecordCount)) return;
  dataSet->FActiveRecord = index;
}

int TDataLink::GetRecordCount() const {
  TDataSet* dataSet = GetDataSet();
  if (!FActive || dataSet == nullptr) return 0;
  if (FDataSource->GetState() == dsSetKey) return 1;
  return std::clamp(dataSet->FRecordCount - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource != nullptr) FDataSource->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TDataLink::UpdateState() {
  SetActive(FDataSource != nullptr && FDataSource->GetState() != dsInactive);
  SetEditing(FDataSource != nullptr && dsEditModes.Contains(FDataSource->GetState()) && !FReadOnly);
}

void TDataLink::SetActive(bool Value) {
  if (Value == FActive) return;
  FActive = Value;
  if (Value) {
    UpdateRange();
  } else {
    FFirstRecord = 0;
  }
  ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
  if (Value == FEditing) return;
  FEditing = Value;
  EditingChanged();
}

void TDataLink::UpdateRange() {
  TDataSet* dataSet = GetDataSet();
  if (dataSet == nullptr) return;
  const int low = std::max(0, dataSet->FActiveRecord - FBufferCount + 1);
  const int high = std::min(std::max(0, dataSet->FBufferCount - FBufferCount), dataSet->FActiveRecord);
  FFirstRecord = std::clamp(FFirstRecord, low, std::max(low, high));
}

void TDataLink::DataEvent(TDataEvent Event, std::intptr_t Info) {
  if (Event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FActive) return;
  switch (Event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      // Keep this link's rows on the same records, then bring the active record into view.
      int count = 0;
      if (FDataSource->GetState() != dsSetKey) {
        const int active = GetDataSet()->FActiveRecord;
        const int first = FFirstRecord + static_cast<int>(Info);
        const int last = first + FBufferCount - 1;
        if (active > last) {
          count = active - last;
        } else if (active < first) {
          count = active - first;
        }
        FFirstRecord = first + count;
      }
      if (Event == deDataSetChange) {
        DataSetChanged();
      } else if (Event == deDataSetScroll) {
        DataSetScrolled(count);
      } else {
        LayoutChanged();
      }
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(Info));
      break;
    default:
      break;
  }
}

// ---- TMasterDataLink ----------------------------------------------------------------------

TMasterDataLink::TMasterDataLink(TDataSet* DataSet) : FDataSet(DataSet) {}

void TMasterDataLink::SetFieldNames(const std::string& Value) {
  if (Value == FFieldNames) return;
  FFieldNames = Value;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  FFields.clear();
  if (GetActive()) {
    try {
      GetDataSet()->GetFieldList(FFields, FFieldNames);
    } catch (...) {
      FFields.clear();
      throw;
    }
  }
  if (FDataSet->GetActive() && !FDataSet->ComponentState().Contains(csDestroying)) {
    if (GetActive() && !FFields.empty()) {
      if (FOnMasterChange) FOnMasterChange(this);
    } else if (FOnMasterDisable) {
      FOnMasterDisable(this);
    }
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (FDataSet->GetActive()) FDataSet->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* Field) {
  if (GetDataSource()->GetState() != dsSetKey && FDataSet->GetActive() && !FFields.empty() &&
      (Field == nullptr || std::find(FFields.begin(), FFields.end(), Field) != FFields.end()) &&
      FOnMasterChange) {
    FOnMasterChange(this);
  }
}

}  // namespace host
