// TKxBlobStream: creation checks, position and change notification.
#include "common/kxtables/blobstream.h"

#include <algorithm>
#include <limits>

#include "common/kxconst.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"
#include "platform/db/dbconsts.h"
#include "platform/rtl/application.h"

namespace kx {

using namespace host;

namespace {

TKxDataSet* KxDataSetOf(TBlobField* Field) {
  if (Field == nullptr) throw EInvalidPointer("BLOB stream without a field");
  auto* dataSet = dynamic_cast<TKxDataSet*>(Field->GetDataSet());
  if (dataSet == nullptr) DatabaseErrorFmt(SDataSetMissing, {Field->GetDisplayName()});
  return dataSet;
}

}  // namespace

TKxBlobStream::TKxBlobStream(TBlobField* Field, TBlobStreamMode Mode)
    : FField(Field), FDataSet(KxDataSetOf(Field)), FMode(Mode), FFieldNo(Field->GetFieldNo()) {
  if (!FDataSet->GetActiveRecBuf(FBuffer) || FBuffer == nullptr) {
    FBuffer = nullptr;
    return;
  }
  // BLOB values are not part of what a filter may read.
  if (FDataSet->GetState() == dsFilter) {
    KxDatabaseErrorFmt(FDataSet, SNoFieldAccess, {FField->GetDisplayName()});
  }
  if (!FField->GetModified()) {
    if (FMode != bmRead) {
      if (FField->GetReadOnly()) {
        KxDatabaseErrorFmt(FDataSet, SFieldReadOnly, {FField->GetDisplayName()});
      }
      const TDataSetState state = FDataSet->GetState();
      if (state != dsEdit && state != dsInsert) KxDatabaseError(FDataSet, SNotEditing);
      FDataSet->SetBlobData(FField, FBuffer, TByteArray());
    } else if (FDataSet->GetCacheBlobs() && FBuffer == FDataSet->ActiveBuffer()) {
      if (FField->GetIsNull()) {
        FCached = true;
      } else {
        TByteArray cached = FDataSet->GetBlobData(FField, FBuffer);
        if (!cached.Empty()) {
          FBlobData = std::move(cached);
          FCached = true;
        }
      }
    }
  }
  FOpened = true;
}

TKxBlobStream::~TKxBlobStream() {
  if (FOpened && FModified) FField->SetModified(true);
  if (FModified) {
    try {
      FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
    } catch (...) {
      try {
        Application()->HandleException(this);
      } catch (...) {
        // A destructor must not throw; the value itself is stored.
      }
    }
  }
}

std::int64_t TKxBlobStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t position;
  switch (Origin) {
    case soFromBeginning:
      position = Offset;
      break;
    case soFromCurrent:
      position = static_cast<std::int64_t>(FPosition) + Offset;
      break;
    case soFromEnd:
      position = static_cast<std::int64_t>(GetBlobSize()) + Offset;
      break;
    default:
      throw EStreamError("Invalid seek origin");
  }
  position = std::clamp<std::int64_t>(position, 0, std::numeric_limits<std::int32_t>::max());
  FPosition = static_cast<std::int32_t>(position);
  return FPosition;
}

void TKxBlobStream::SetSize(std::int64_t NewSize) {
  Seek(NewSize, soFromBeginning);
  Truncate();
}

}  // namespace kx
