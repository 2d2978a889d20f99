// TKxFilterState: shows a record buffer to field access in state dsFilter for the lifetime of
// the guard (filters, field checks and default values read and write that buffer).
#pragma once

#include "common/kxtables/dataset.h"

namespace kx {

class TKxFilterState {
 public:
  // FilterBuffer is the dataset's FFilterBuffer; with VerifyState (the dataset's
  // IsFieldConstrainVerifyState flag) the flag is raised too. Everything is restored on the
  // way out, also when the guarded code raises.
  TKxFilterState(TKxDataSet* DataSet, host::TRecordBuffer& FilterBuffer, host::TRecordBuffer Buffer,
                 bool* VerifyState = nullptr)
      : FDataSet(DataSet),
        FFilterBuffer(FilterBuffer),
        FSavedBuffer(FilterBuffer),
        FVerifyState(VerifyState),
        FSavedVerifyState(VerifyState != nullptr && *VerifyState) {
    FFilterBuffer = Buffer;
    if (FVerifyState != nullptr) *FVerifyState = true;
    try {
      FSavedState = FDataSet->SetTempState(host::dsFilter);
    } catch (...) {
      Restore();
      throw;
    }
  }
  ~TKxFilterState() {
    FDataSet->RestoreState(FSavedState);
    Restore();
  }
  TKxFilterState(const TKxFilterState&) = delete;
  TKxFilterState& operator=(const TKxFilterState&) = delete;

 private:
  void Restore() noexcept {
    FFilterBuffer = FSavedBuffer;
    if (FVerifyState != nullptr) *FVerifyState = FSavedVerifyState;
  }

  TKxDataSet* FDataSet;
  host::TRecordBuffer& FFilterBuffer;
  host::TRecordBuffer FSavedBuffer;
  bool* FVerifyState;
  bool FSavedVerifyState;
  host::TDataSetState FSavedState = host::dsInactive;
};

}  // namespace kx
