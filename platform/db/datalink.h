// Data sources and data links: how controls, detail datasets and other clients follow a
// dataset.
//
// A TDataSource connects to one dataset; links (TDataLink) connect to a data source. The
// dataset sends its data events to its data sources, which pass them on to their links. A
// link asks for a number of record buffers (BufferCount); the dataset keeps as many as its
// hungriest link wants, and each link sees its own part of the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/dataset.h"

namespace host {

class TDataLink;

using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* AOwner);
  ~TDataSource() override;

  TDataSet* GetDataSet() const { return FDataSet; }
  // Raises SCircularDataLink when the dataset is linked back to this source.
  void SetDataSet(TDataSet* Value);
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool GetAutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool Value) { FAutoEdit = Value; }
  // The dataset's state as the links see it (dsInactive when disabled or without a dataset).
  TDataSetState GetState() const { return FState; }
  // Puts the dataset into edit mode when AutoEdit is on and it is browsing.
  void Edit();
  // Whether DataSet is this source's dataset or is reached from it through master links.
  bool IsLinkedTo(const TDataSet* DataSet) const;

  const TDataChangeEvent& GetOnDataChange() const { return FOnDataChange; }
  void SetOnDataChange(TDataChangeEvent Value) { FOnDataChange = std::move(Value); }
  const TNotifyEvent& GetOnStateChange() const { return FOnStateChange; }
  void SetOnStateChange(TNotifyEvent Value) { FOnStateChange = std::move(Value); }
  const TNotifyEvent& GetOnUpdateData() const { return FOnUpdateData; }
  void SetOnUpdateData(TNotifyEvent Value) { FOnUpdateData = std::move(Value); }

  int LinkCount() const { return static_cast<int>(FDataLinks.size()); }
  TDataLink* Links(int Index) const { return FDataLinks.at(static_cast<std::size_t>(Index)); }

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void AddDataLink(TDataLink* DataLink);
  void RemoveDataLink(TDataLink* DataLink);
  void DataEvent(TDataEvent Event, std::intptr_t Info);
  void NotifyDataLinks(TDataEvent Event, std::intptr_t Info);
  void NotifyState();
  void SetState(TDataSetState Value);

  TDataSet* FDataSet = nullptr;
  std::vector<TDataLink*> FDataLinks;
  bool FEnabled = true;
  bool FAutoEdit = true;
  TDataSetState FState = dsInactive;
  TDataChangeEvent FOnDataChange;
  TNotifyEvent FOnStateChange;
  TNotifyEvent FOnUpdateData;
};

// A client of a data source. Descendants override the notifications they care about.
class TDataLink : public TPersistent {
 public:
  TDataLink();
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* GetDataSource() const { return FDataSource; }
  // A link that feeds a detail dataset refuses (SCircularDataLink) a source whose dataset is
  // that detail or one of its own details.
  void SetDataSource(TDataSource* Value);
  TDataSet* GetDataSet() const;
  // Connected to an open dataset.
  bool GetActive() const { return FActive; }
  // The dataset is being edited through this link.
  bool GetEditing() const { return FEditing; }
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  // The record buffers this link wants to see.
  int GetBufferCount() const { return FBufferCount; }
  void SetBufferCount(int Value);
  // Index of the active record within this link's window.
  int GetActiveRecord() const;
  void SetActiveRecord(int Value);
  // Records in this link's window.
  int GetRecordCount() const;
  // Puts the dataset into edit mode (through the data source); true when it is editing.
  bool Edit();
  // Asks the link to write its pending value into the record (deUpdateRecord).
  void UpdateRecord();
  // The dataset this link feeds (a detail), or none.
  virtual TDataSet* GetDetailDataSet() const { return nullptr; }

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int /*Distance*/) { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField** /*Field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  // Field nullptr: the record as a whole changed (a new record, a scroll).
  virtual void RecordChanged(TField* /*Field*/) {}
  virtual void UpdateData() {}
  virtual void DataEvent(TDataEvent Event, std::intptr_t Info);

 private:
  friend class TDataSource;
  friend class TDataSet;
  void UpdateState();
  void SetActive(bool Value);
  void SetEditing(bool Value);
  void UpdateRange();

  TDataSource* FDataSource = nullptr;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
  int FBufferCount = 1;
  // Index of this link's first record within the dataset's window.
  int FFirstRecord = 0;
};

// A link whose data source is the master of a detail dataset (GetDetailDataSet).
class TDetailDataLink : public TDataLink {};

// The master link of a detail dataset: resolves FieldNames in the master and tells the detail
// when the master's record or those fields change.
class TMasterDataLink : public TDetailDataLink {
 public:
  explicit TMasterDataLink(TDataSet* DataSet);

  TDataSet* GetDetailDataSet() const override { return FDataSet; }
  // The master fields, separated by ";".
  const std::string& GetFieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& Value);
  // The master fields, in the order of FieldNames (empty while inactive).
  const std::vector<TField*>& GetFields() const { return FFields; }
  const TNotifyEvent& GetOnMasterChange() const { return FOnMasterChange; }
  void SetOnMasterChange(TNotifyEvent Value) { FOnMasterChange = std::move(Value); }
  const TNotifyEvent& GetOnMasterDisable() const { return FOnMasterDisable; }
  void SetOnMasterDisable(TNotifyEvent Value) { FOnMasterDisable = std::move(Value); }

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* Field) override;

 private:
  TDataSet* FDataSet;
  std::string FFieldNames;
  std::vector<TField*> FFields;
  TNotifyEvent FOnMasterChange;
  TNotifyEvent FOnMasterDisable;
};

}  // namespace host
