// TDataSet: the record-buffer protocol that every dataset implements.
//
// A dataset keeps a window of BufferCount record buffers (one more is kept as the spare
// "temp" buffer) filled from its cursor through GetRecord. ActiveRecord is the buffer of the
// record the user sees; CurrentRecord is the buffer the cursor is positioned on, or -1 when
// unknown. Navigation, editing and refreshes shift and refill that window; descendants
// implement the cursor side through the virtual operations below.
//
// Descendants must implement at least: AllocRecordBuffer, FreeRecordBuffer, GetRecord,
// GetRecordSize, GetBookmarkData, SetBookmarkData, GetBookmarkFlag, SetBookmarkFlag,
// InternalFirst, InternalLast, InternalGotoBookmark, InternalSetToRecord, InternalInitRecord,
// InternalOpen, InternalClose, IsCursorOpen, InternalInitFieldDefs, InternalAddRecord,
// InternalDelete, InternalHandleException, GetFieldData and SetFieldData.
//
// Life cycle: create datasets on the heap. Deleting one closes it first (BeforeDestruction),
// while its own class's operations can still run; a dataset destroyed any other way must be
// closed by its owner's code before it goes.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/dbconsts.h"
#include "platform/db/dberrors.h"
#include "platform/db/dbtypes.h"
#include "platform/db/defs.h"
#include "platform/db/fields.h"
#include "platform/rtl/component.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/stream.h"
#include "platform/rtl/variant.h"

namespace host {

class TDataSet;
class TDataSource;
class TDataLink;
class TParams;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError* E, TDataAction& Action)>;
using TFilterRecordEvent = std::function<void(TDataSet* DataSet, bool& Accept)>;

// Receives every data event of a dataset, whether or not controls are disabled (the
// designer's view of the dataset).
class TDataSetDesigner {
 public:
  virtual ~TDataSetDesigner() = default;
  virtual void DataEvent(TDataEvent Event, std::intptr_t Info) = 0;
};

class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* AOwner);
  ~TDataSet() override;

  // ---- opening and closing
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // Active while the state is neither dsInactive nor dsOpening.
  bool GetActive() const { return FState != dsInactive && FState != dsOpening; }
  // While the component is being read from storage only the wish is kept; Loaded applies it.
  void SetActive(bool Value);
  TDataSetState GetState() const { return FState; }
  // Raises SDataSetClosed when closed.
  void CheckActive() const;
  // Raises SDataSetOpen when open.
  void CheckInactive() const;
  bool GetDefaultFields() const { return FDefaultFields; }

  // ---- fields
  TFields* GetFields() const { return FFields.get(); }
  int GetFieldCount() const { return FFields->Count(); }
  TField* FindField(std::string_view FieldName) const { return FFields->FindField(FieldName); }
  // Raises SFieldNotFound with the dataset as component.
  TField* FieldByName(std::string_view FieldName) const;
  TField* FieldByNumber(int FieldNo) const { return FFields->FieldByNumber(FieldNo); }
  // The fields of a ";"-separated list of names, in the list's order; raises for a missing one.
  void GetFieldList(std::vector<TField*>& List, std::string_view FieldNames) const;
  void GetFieldNames(TStrings* List) const;
  // Values of a ";"-separated field list: one value, or a variant array for several fields.
  Variant GetFieldValues(std::string_view FieldNames) const;
  void SetFieldValues(std::string_view FieldNames, const Variant& Value);
  TFieldDefs* GetFieldDefs() const { return FFieldDefs.get(); }
  void SetFieldDefs(const TFieldDefs* Value);
  TCheckConstraints* GetConstraints() const { return FConstraints.get(); }
  void SetConstraints(const TCheckConstraints* Value);
  // Reads the field definitions, opening the cursor for information only when needed.
  void InitFieldDefs();
  // Creates a field for each field definition (owned by the dataset).
  virtual void CreateFields();
  virtual void DestroyFields();
  // Binding gives data fields their FieldNo from the definitions, calculated and lookup fields
  // a slot in the calculated-field area, BLOB fields their BLOB number; unbinding resets them.
  virtual void BindFields(bool Binding);
  virtual TFieldClass GetFieldClass(TFieldType FieldType) const;
  int GetCalcFieldsSize() const { return FCalcFieldsSize; }
  int GetBlobFieldCount() const { return FBlobFieldCount; }
  bool GetInternalCalcFields() const { return FInternalCalcFields; }
  // Frees what the fields keep about the record being edited.
  void FreeFieldBuffers();

  // ---- navigation
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves up to Distance records; returns the distance actually moved.
  int MoveBy(int Distance);
  bool GetBof() const { return FBOF; }
  bool GetEof() const { return FEOF; }
  bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
  void Refresh();
  virtual void Resync(TResyncMode Mode);
  // Positions the cursor on the active record when records are buffered.
  void UpdateCursorPos();
  // Forgets where the cursor is, so that the next positioning goes through the buffers.
  void CursorPosChanged() { FCurrentRecord = -1; }
  virtual std::int32_t GetRecNo() { return -1; }
  virtual void SetRecNo(std::int32_t /*Value*/) {}
  virtual std::int32_t GetRecordCount() { return -1; }
  virtual bool IsSequenced() { return false; }
  bool GetFound() const { return FFound; }

  // ---- bookmarks
  // The active record's bookmark, or an empty one when the record has none.
  TBookmark GetBookmark() const;
  void SetBookmark(const TBookmark& Value) { GotoBookmark(Value); }
  // An empty bookmark is ignored.
  void GotoBookmark(const TBookmark& Bookmark);
  void FreeBookmark(TBookmark& Bookmark) { Bookmark.clear(); }
  virtual bool BookmarkValid(const TBookmark& Bookmark);
  virtual int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2);
  bool BookmarkAvailable() const;
  int GetBookmarkSize() const { return FBookmarkSize; }

  // ---- editing
  void Insert();
  void Append();
  void Edit();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // A new record with the values (for the first fields, in order; Empty leaves a field
  // alone), posted in one step.
  virtual void InsertRecord(const std::vector<Variant>& Values);
  virtual void AppendRecord(const std::vector<Variant>& Values);
  // Assigns values to the first fields of the record being edited.
  void SetFields(const std::vector<Variant>& Values);
  // Posts or cancels pending changes (and leaves key mode); raises when closed.
  void CheckBrowseMode();
  // Lets controls write their pending changes into the record; raises SNotEditing outside the
  // edit modes.
  void UpdateRecord();
  virtual bool GetCanModify() { return true; }
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  virtual TUpdateStatus UpdateStatus() { return usUnmodified; }
  // Raises SFieldRequired for the first required data field that is null.
  void CheckRequiredFields();

  // ---- controls and data events
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }
  virtual void DataEvent(TDataEvent Event, std::intptr_t Info);
  TDataSetDesigner* GetDesigner() const { return FDesigner; }
  // The designer hook (not owned).
  void SetDesigner(TDataSetDesigner* Value) { FDesigner = Value; }
  // Whether a link from DataSource would lead back to this dataset.
  bool IsLinkedTo(const TDataSource* DataSource) const;
  // The master source of a detail dataset; none here.
  virtual TDataSource* GetDataSource() const { return nullptr; }
  virtual void GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                   std::vector<TField*>& DetailFields);
  int GetBufferCount() const { return FBufferCount; }

  // ---- filtering and searching
  const std::string& GetFilter() const { return FFilterText; }
  void SetFilter(const std::string& Value) { SetFilterText(Value); }
  virtual void SetFilterText(const std::string& Value) { FFilterText = Value; }
  bool GetFiltered() const { return FFiltered; }
  virtual void SetFiltered(bool Value) { FFiltered = Value; }
  TFilterOptions GetFilterOptions() const { return FFilterOptions; }
  virtual void SetFilterOptions(TFilterOptions Value) { FFilterOptions = Value; }
  const TFilterRecordEvent& GetOnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(TFilterRecordEvent Value) { FOnFilterRecord = std::move(Value); }
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  virtual bool FindRecord(bool Restart, bool GoForward);
  // KeyValues: one value, or a variant array with one value per field of KeyFields.
  virtual bool Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options);
  // Null when no record matches.
  virtual Variant Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields);

  // ---- record buffers
  TRecordBuffer ActiveBuffer() const {
    return FBuffers.empty() ? nullptr : FBuffers[static_cast<std::size_t>(FActiveRecord)];
  }
  TRecordBuffer TempBuffer() const {
    return static_cast<std::size_t>(FRecordCount) < FBuffers.size() ? FBuffers[static_cast<std::size_t>(FRecordCount)]
                                                                      : nullptr;
  }
  TRecordBuffer GetCalcBuffer() const { return FCalcBuffer; }
  TRecordBuffer Buffers(int Index) const;
  // The buffer window: the number of buffers holding records, the index of the active
  // record's buffer and of the buffer the cursor is on (-1 when unknown).
  int BufferedRecordCount() const { return FRecordCount; }
  int ActiveRecord() const { return FActiveRecord; }
  int CurrentRecord() const { return FCurrentRecord; }
  // Copies the active record into Buffer when the cursor is on it; false otherwise.
  virtual bool GetCurrentRecord(TRecordBuffer Buffer);
  bool GetAutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }
  // Reading with block reads skips controls and scroll events; 0 turns it off.
  int GetBlockReadSize() const { return FBlockReadSize; }
  virtual void SetBlockReadSize(int Value);

  // ---- field data (the fields' access path)
  // Each operation has two overloads: a descendant that overrides one writes
  // "using TDataSet::GetFieldData;" (or SetFieldData) to keep the other visible.
  // The value of Field in the buffer of the current state: true when not null; Buffer may be
  // nullptr to ask only that.
  virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
  // NativeFormat false: Buffer receives the value form (see fields.h); converted through
  // DataConvert.
  virtual bool GetFieldData(TField* Field, void* Buffer, bool NativeFormat);
  virtual void SetFieldData(TField* Field, const void* Buffer) = 0;
  virtual void SetFieldData(TField* Field, const void* Buffer, bool NativeFormat);
  // Converts between the value form and the native form of ftBCD and the date and time types;
  // other types are copied.
  virtual void DataConvert(TField* Field, const void* Source, void* Dest, bool ToNative);
  virtual Variant GetStateFieldValue(TDataSetState State, TField* Field);
  virtual void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value);
  // A stream over a BLOB field's value in the current state's buffer (none here). TBlobField
  // writes a whole value from position 0 and cuts a longer stream with SetSize.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
  virtual void CloseBlob(TField* /*Field*/) {}
  virtual bool GetIsIndexField(TField* /*Field*/) { return false; }
  // Copies Src to Dest (the OEM translation hook); returns the length.
  virtual int Translate(const char* Src, char* Dest, bool ToOem);

  // ---- temporary states (restore also on failure; see TTempState)
  TDataSetState SetTempState(TDataSetState Value);
  void RestoreState(TDataSetState Value);

  // ---- events
  const TDataSetNotifyEvent& GetBeforeOpen() const { return FBeforeOpen; }
  void SetBeforeOpen(TDataSetNotifyEvent Value) { FBeforeOpen = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterOpen() const { return FAfterOpen; }
  void SetAfterOpen(TDataSetNotifyEvent Value) { FAfterOpen = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeClose() const { return FBeforeClose; }
  void SetBeforeClose(TDataSetNotifyEvent Value) { FBeforeClose = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterClose() const { return FAfterClose; }
  void SetAfterClose(TDataSetNotifyEvent Value) { FAfterClose = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeInsert() const { return FBeforeInsert; }
  void SetBeforeInsert(TDataSetNotifyEvent Value) { FBeforeInsert = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterInsert() const { return FAfterInsert; }
  void SetAfterInsert(TDataSetNotifyEvent Value) { FAfterInsert = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeEdit() const { return FBeforeEdit; }
  void SetBeforeEdit(TDataSetNotifyEvent Value) { FBeforeEdit = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterEdit() const { return FAfterEdit; }
  void SetAfterEdit(TDataSetNotifyEvent Value) { FAfterEdit = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforePost() const { return FBeforePost; }
  void SetBeforePost(TDataSetNotifyEvent Value) { FBeforePost = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterPost() const { return FAfterPost; }
  void SetAfterPost(TDataSetNotifyEvent Value) { FAfterPost = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeCancel() const { return FBeforeCancel; }
  void SetBeforeCancel(TDataSetNotifyEvent Value) { FBeforeCancel = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterCancel() const { return FAfterCancel; }
  void SetAfterCancel(TDataSetNotifyEvent Value) { FAfterCancel = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeDelete() const { return FBeforeDelete; }
  void SetBeforeDelete(TDataSetNotifyEvent Value) { FBeforeDelete = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterDelete() const { return FAfterDelete; }
  void SetAfterDelete(TDataSetNotifyEvent Value) { FAfterDelete = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeScroll() const { return FBeforeScroll; }
  void SetBeforeScroll(TDataSetNotifyEvent Value) { FBeforeScroll = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterScroll() const { return FAfterScroll; }
  void SetAfterScroll(TDataSetNotifyEvent Value) { FAfterScroll = std::move(Value); }
  const TDataSetNotifyEvent& GetBeforeRefresh() const { return FBeforeRefresh; }
  void SetBeforeRefresh(TDataSetNotifyEvent Value) { FBeforeRefresh = std::move(Value); }
  const TDataSetNotifyEvent& GetAfterRefresh() const { return FAfterRefresh; }
  void SetAfterRefresh(TDataSetNotifyEvent Value) { FAfterRefresh = std::move(Value); }
  const TDataSetNotifyEvent& GetOnCalcFields() const { return FOnCalcFields; }
  void SetOnCalcFields(TDataSetNotifyEvent Value) { FOnCalcFields = std::move(Value); }
  const TDataSetNotifyEvent& GetOnNewRecord() const { return FOnNewRecord; }
  void SetOnNewRecord(TDataSetNotifyEvent Value) { FOnNewRecord = std::move(Value); }
  const TDataSetErrorEvent& GetOnPostError() const { return FOnPostError; }
  void SetOnPostError(TDataSetErrorEvent Value) { FOnPostError = std::move(Value); }
  const TDataSetErrorEvent& GetOnEditError() const { return FOnEditError; }
  void SetOnEditError(TDataSetErrorEvent Value) { FOnEditError = std::move(Value); }
  const TDataSetErrorEvent& GetOnDeleteError() const { return FOnDeleteError; }
  void SetOnDeleteError(TDataSetErrorEvent Value) { FOnDeleteError = std::move(Value); }

  // ---- provider support
  virtual std::string PSGetQuoteChar() { return "\""; }
  virtual void PSStartTransaction() {}
  virtual void PSEndTransaction(bool /*Commit*/) {}
  virtual bool PSInTransaction() { return false; }
  virtual bool PSIsSQLBased() { return false; }
  virtual bool PSIsSQLSupported() { return false; }
  // Closes the cursor's result so that the next use starts fresh: here, back to the first
  // record when open.
  virtual void PSReset();
  // Wraps an exception raised while applying one update; the result is owned by the caller.
  virtual std::unique_ptr<EUpdateError> PSGetUpdateException(const Exception& E,
                                                             const EUpdateError* Prev);
  // True when the dataset applied the record itself.
  virtual bool PSUpdateRecord(TUpdateKind /*UpdateKind*/, TDataSet* /*Delta*/) { return false; }
  // Runs SQL with Params; returns the rows affected. ResultSet, when asked for, receives a
  // dataset owned by the caller. Datasets without SQL raise.
  virtual int PSExecuteStatement(const std::string& SQL, TParams* Params,
                                 std::unique_ptr<TDataSet>* ResultSet);
  virtual void PSExecute();
  virtual std::string PSGetTableName() { return {}; }
  virtual void PSSetCommandText(const std::string& /*CommandText*/) {}
  // A new index definition (owned by the caller), or none.
  virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder() { return nullptr; }
  // A new collection of the index definitions of the wanted kinds (owned by the caller).
  virtual std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexTypes IndexTypes);
  // The dataset's parameters (not owned), or none.
  virtual TParams* PSGetParams() { return nullptr; }
  virtual void PSSetParams(TParams* /*Params*/) {}
  // The fields that make the record's key (those flagged pfInKey).
  virtual std::string PSGetKeyFields();

  // ---- component life cycle
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  // ---- the protocol descendants implement
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
  virtual std::uint16_t GetRecordSize() const = 0;
  virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) const = 0;
  // Data nullptr: no bookmark to store.
  virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const = 0;
  virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
  virtual void InitRecord(TRecordBuffer Buffer);
  virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
  virtual void ClearCalcFields(TRecordBuffer /*Buffer*/) {}
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalGotoBookmark(const void* Bookmark) = 0;
  virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalHandleException() = 0;
  virtual void InternalAddRecord(TRecordBuffer Buffer, bool Append) = 0;
  virtual void InternalInsert() {}
  virtual void InternalEdit() {}
  // The base checks the required fields.
  virtual void InternalPost();
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalRefresh() {}
  // Opens the cursor; with InfoQuery only the field definitions are read.
  virtual void OpenCursor(bool InfoQuery);
  virtual void CloseCursor();
  virtual int GetNextRecords();
  virtual int GetPriorRecords();
  virtual bool GetNextRecord();
  virtual bool GetPriorRecord();
  virtual void UpdateIndexDefs() {}
  virtual void DefChanged(TObject* /*Sender*/) {}

  // ---- calculated fields
  // Computes the calculated fields of Buffer (in state dsCalcFields) when there are any.
  void GetCalcFields(TRecordBuffer Buffer);
  virtual void CalculateFields(TRecordBuffer Buffer);
  virtual void CalcLookupValue(TField* Field);

  // ---- event dispatch
  virtual void DoBeforeOpen() { Fire(FBeforeOpen); }
  virtual void DoAfterOpen() { Fire(FAfterOpen); }
  virtual void DoBeforeClose() { Fire(FBeforeClose); }
  virtual void DoAfterClose() { Fire(FAfterClose); }
  virtual void DoBeforeInsert() { Fire(FBeforeInsert); }
  virtual void DoAfterInsert() { Fire(FAfterInsert); }
  virtual void DoBeforeEdit() { Fire(FBeforeEdit); }
  virtual void DoAfterEdit() { Fire(FAfterEdit); }
  virtual void DoBeforePost() { Fire(FBeforePost); }
  virtual void DoAfterPost() { Fire(FAfterPost); }
  virtual void DoBeforeCancel() { Fire(FBeforeCancel); }
  virtual void DoAfterCancel() { Fire(FAfterCancel); }
  virtual void DoBeforeDelete() { Fire(FBeforeDelete); }
  virtual void DoAfterDelete() { Fire(FAfterDelete); }
  virtual void DoBeforeRefresh() { Fire(FBeforeRefresh); }
  virtual void DoAfterRefresh() { Fire(FAfterRefresh); }
  virtual void DoOnCalcFields() { Fire(FOnCalcFields); }
  virtual void DoOnNewRecord() { Fire(FOnNewRecord); }

 public:
  // Also called by descendants and related classes around their own moves.
  virtual void DoBeforeScroll() { Fire(FBeforeScroll); }
  virtual void DoAfterScroll() { Fire(FAfterScroll); }

 protected:
  // ---- state and buffer bookkeeping
  void SetState(TDataSetState Value);
  void SetBookmarkSize(int Value) { FBookmarkSize = Value; }
  void SetCurrentRecord(int Index);
  void ClearBuffers();
  void ActivateBuffers();
  // Sets the number of buffers the list holds (the window plus the spare).
  void SetBufListSize(int Value);
  void SetBufferCount(int Value);
  void UpdateBufferCount();
  void MoveBuffer(int CurIndex, int NewIndex);
  void CheckCanModify();
  void CheckFieldName(const std::string& FieldName) const;
  // Runs Operation after positioning the cursor on the active record; an EDatabaseError goes
  // to ErrorEvent, whose action retries, aborts silently or re-raises.
  void CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent);
  void SetFound(bool Value) { FFound = Value; }
  // Refreshes the calculated fields of the active record while it is being edited.
  void UpdateCalcFields();
  // True while the cursor is opened only to read the field definitions.
  bool GetInfoQuery() const { return FInfoQueryDepth > 0; }
  bool GetIsUniDirectional() const { return FIsUniDirectional; }
  void SetUniDirectional(bool Value) { FIsUniDirectional = Value; }
  // Raises SDataSetUnidirectional for a unidirectional dataset.
  void CheckBiDirectional() const;

 private:
  friend class TField;
  friend class TFieldDefs;
  friend class TIndexDefs;
  friend class TDataSource;
  friend class TDataLink;

  void BeforeDestruction() override;
  void DoInternalOpen();
  void OpenCursorComplete();
  void BeginInsertAppend();
  void EndInsertAppend();
  void InternalInsertRecord(const std::vector<Variant>& Values, bool Append);
  void AddDataSource(TDataSource* DataSource);
  void RemoveDataSource(TDataSource* DataSource);
  void AddField(TField* Field);
  void RemoveField(TField* Field);
  void NotifyFieldChange(TField* Field);
  void BlockReadNext();
  static void Fire(const TDataSetNotifyEvent& Event, TDataSet* Self);
  void Fire(const TDataSetNotifyEvent& Event) { Fire(Event, this); }

  TDataSetState FState = dsInactive;
  bool FStreamedActive = false;
  bool FInternalOpenComplete = false;
  bool FDefaultFields = false;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FFound = false;
  bool FAutoCalcFields = true;
  bool FInternalCalcFields = false;
  bool FFiltered = false;
  bool FIsUniDirectional = false;
  int FInfoQueryDepth = 0;
  int FBookmarkSize = 0;
  int FCalcFieldsSize = 0;
  int FBlobFieldCount = 0;
  int FBufferCount = 0;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  int FDisableCount = 0;
  int FBlockReadSize = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  // The modified flag of each open temporary state, innermost last.
  std::vector<bool> FTempModified;
  std::vector<TRecordBuffer> FBuffers;
  TRecordBuffer FCalcBuffer = nullptr;
  std::unique_ptr<TFields> FFields;
  std::unique_ptr<TFieldDefs> FFieldDefs;
  std::unique_ptr<TCheckConstraints> FConstraints;
  std::vector<TDataSource*> FDataSources;
  TDataSetDesigner* FDesigner = nullptr;
  std::string FFilterText;
  TFilterOptions FFilterOptions;
  TFilterRecordEvent FOnFilterRecord;

  TDataSetNotifyEvent FBeforeOpen, FAfterOpen, FBeforeClose, FAfterClose;
  TDataSetNotifyEvent FBeforeInsert, FAfterInsert, FBeforeEdit, FAfterEdit;
  TDataSetNotifyEvent FBeforePost, FAfterPost, FBeforeCancel, FAfterCancel;
  TDataSetNotifyEvent FBeforeDelete, FAfterDelete, FBeforeScroll, FAfterScroll;
  TDataSetNotifyEvent FBeforeRefresh, FAfterRefresh, FOnCalcFields, FOnNewRecord;
  TDataSetErrorEvent FOnPostError, FOnEditError, FOnDeleteError;
};

// Switches a dataset into a temporary state for the lifetime of the guard.
class TTempState {
 public:
  TTempState(TDataSet* DataSet, TDataSetState State)
      : FDataSet(DataSet), FSaved(DataSet->SetTempState(State)) {}
  ~TTempState() { FDataSet->RestoreState(FSaved); }
  TTempState(const TTempState&) = delete;
  TTempState& operator=(const TTempState&) = delete;
  TDataSetState Saved() const { return FSaved; }

 private:
  TDataSet* FDataSet;
  TDataSetState FSaved;
};

// Keeps the controls of a dataset disabled for the lifetime of the guard.
class TControlsDisabled {
 public:
  explicit TControlsDisabled(TDataSet* DataSet) : FDataSet(DataSet) { FDataSet->DisableControls(); }
  ~TControlsDisabled() { FDataSet->EnableControls(); }
  TControlsDisabled(const TControlsDisabled&) = delete;
  TControlsDisabled& operator=(const TControlsDisabled&) = delete;

 private:
  TDataSet* FDataSet;
};

// Splits a ";"-separated list of names, trimming blanks around each; empty names are skipped.
std::vector<std::string> SplitFieldNames(std::string_view FieldNames);

}  // namespace host
