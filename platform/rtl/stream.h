// Streams: the abstract TStream with its buffer and copy helpers, memory, file and string
// streams, and TFiler, through which a persistent object stores data of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/object.h"

namespace host {

// Origins of Seek, with the host's numeric values.
enum TSeekOrigin : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };
inline constexpr TSeekOrigin soBeginning = soFromBeginning;
inline constexpr TSeekOrigin soCurrent = soFromCurrent;
inline constexpr TSeekOrigin soEnd = soFromEnd;

class TStream : public TObject {
 public:
  // Reads up to Count bytes; returns how many were read (0 at the end or for Count <= 0).
  virtual std::int64_t Read(void* Buffer, std::int64_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual std::int64_t Write(const void* Buffer, std::int64_t Count) = 0;
  // Moves the position and returns the new one. A position before the start raises EStreamError.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

  std::int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, soFromBeginning); }
  virtual std::int64_t Size();
  // The default refuses: only streams that can change their size override it.
  virtual void SetSize(std::int64_t NewSize);

  // Exactly Count bytes, or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, std::int64_t Count);
  void WriteBuffer(const void* Buffer, std::int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  // Returns the number of bytes copied.
  std::int64_t CopyFrom(TStream* Source, std::int64_t Count);
};

// A stream over a block of memory it owns. Writing past the end grows it; a gap left by
// seeking past the end and writing reads as zeros.
class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t NewSize) override;

  // The bytes; valid until the size changes.
  std::uint8_t* Memory() { return FData.data(); }
  const std::uint8_t* Memory() const { return FData.data(); }
  void Clear();
  // Replaces the contents with all of Stream (from its start); the position becomes 0.
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};

// A stream over a std::string, for text that is read or built piecewise.
class TStringStream : public TStream {
 public:
  explicit TStringStream(std::string Data = {}) : FDataString(std::move(Data)) {}

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FDataString.size()); }
  void SetSize(std::int64_t NewSize) override;

  const std::string& DataString() const { return FDataString; }
  // Up to Count bytes from the position.
  std::string ReadString(std::int64_t Count);
  void WriteString(const std::string& S) { WriteBuffer(S.data(), static_cast<std::int64_t>(S.size())); }

 private:
  std::string FDataString;
  std::int64_t FPosition = 0;
};

// File modes: one access mode, or fmCreate, combined with one share mode.
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

// A stream over a file.
//
// Share modes are kept between the streams of all processes that use them: a file opened with
// fmShareExclusive cannot be opened again, and no mode can open a file that is open exclusively
// (advisory locks; programs that do not use them are not kept out). The other share modes do
// not keep each other out.
class TFileStream : public TStream {
 public:
  // Raises EFCreateError (fmCreate) or EFOpenError, naming the file and the system's reason.
  TFileStream(const std::string& FileName, unsigned Mode);
  ~TFileStream() override;

  std::int64_t Read(void* Buffer, std::int64_t Count) override;
  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;

  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FHandle; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// Stores named data of a persistent object beside its ordinary properties (DefineProperties).
//
// A filer is either reading or writing. Reading, it calls the read procedure of every defined
// property that it holds data for; writing, it calls the write procedure of every property
// whose HasData is true. TPropertyStore keeps such data in memory, by name.
class TFiler : public TObject {
 public:
  using TStreamProc = std::function<void(TStream& Stream)>;

  virtual void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                    const TStreamProc& WriteData, bool HasData) = 0;
};

class TPropertyStore : public TFiler {
 public:
  // Writes the defined data of Instance into the store (replacing what it held).
  void WriteProperties(TPersistent& Instance);
  // Reads the store's data into Instance.
  void ReadProperties(TPersistent& Instance);

  bool Reading() const { return FReading; }
  bool Has(const std::string& Name) const { return FData.count(Name) != 0; }
  const std::vector<std::uint8_t>& Data(const std::string& Name) const;
  void SetData(const std::string& Name, std::vector<std::uint8_t> Data) { FData[Name] = std::move(Data); }
  void Clear() { FData.clear(); }

  void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc& WriteData,
                            bool HasData) override;

 private:
  std::map<std::string, std::vector<std::uint8_t>> FData;
  bool FReading = false;
};

}  // namespace host
