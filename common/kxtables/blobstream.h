// TKxBlobStream: the base of the engine packages' BLOB streams.
//
// A BLOB stream reads or writes one memo or binary field of the record that field access
// shows in the dataset's current state. The base checks at creation whether the field may be
// used that way, decides whether reads can be served from the record buffer's BLOB cache,
// keeps the position, and tells the dataset when the value changed. Descendants move the
// bytes (Read, Write, GetBlobSize, Truncate).
#pragma once

#include <cstdint>

#include "platform/db/dbtypes.h"
#include "platform/db/fields.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/stream.h"

namespace kx {

class TKxDataSet;

class TKxBlobStream : public host::TStream {
 public:
  // Raises SNoFieldAccess inside a filter; for bmWrite and bmReadWrite, the read-only-field
  // and not-editing messages, then empties the field's cached value. A dataset state without
  // a record buffer leaves the stream unopened (it reads and writes nothing).
  TKxBlobStream(host::TBlobField* Field, host::TBlobStreamMode Mode);
  // An opened stream that was modified marks the field modified and sends the field-change
  // event; an exception from the event goes to the application's handler.
  ~TKxBlobStream() override;
  TKxBlobStream(const TKxBlobStream&) = delete;
  TKxBlobStream& operator=(const TKxBlobStream&) = delete;

  // A position before the start becomes 0; positions past the end are allowed (reads there
  // give nothing). Positions beyond 32 bits are held at the largest 32-bit value.
  std::int64_t Seek(std::int64_t Offset, host::TSeekOrigin Origin) override;
  // Size of the whole value.
  virtual std::int32_t GetBlobSize() = 0;
  // Cuts the value at the current position and marks the stream modified.
  virtual void Truncate() = 0;
  std::int64_t Size() override { return GetBlobSize(); }
  // Moves to NewSize and truncates there: lets the framework shorten a value it rewrote.
  void SetSize(std::int64_t NewSize) override;

  bool GetOpened() const { return FOpened; }
  bool GetModified() const { return FModified; }
  bool GetCached() const { return FCached; }
  host::TBlobStreamMode GetMode() const { return FMode; }

 protected:
  host::TBlobField* FField;
  TKxDataSet* FDataSet;
  host::TRecordBuffer FBuffer = nullptr;
  host::TBlobStreamMode FMode;
  std::int32_t FFieldNo;
  bool FOpened = false;
  bool FModified = false;
  std::int32_t FPosition = 0;
  host::TByteArray FBlobData;
  bool FCached = false;
  std::int32_t FCacheSize = 0;
  std::int32_t FBlobSize = 0;
  bool FIsBlobSizeFilled = false;
};

}  // namespace kx
