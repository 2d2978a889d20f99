#include "platform/rtl/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/rtl/classesconsts.h"
#include "platform/rtl/os.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int64_t>::max();

[[noreturn]] void SeekError(std::int64_t position) {
  throw EStreamError(Format(rtlconsts::SSeekError, {static_cast<long long>(position)}));
}

// The position that Seek asks for, from a stream's current position and size.
std::int64_t TargetPosition(std::int64_t offset, TSeekOrigin origin, std::int64_t position, std::int64_t size) {
  std::int64_t base = 0;
  switch (origin) {
    case soFromBeginning:
      base = 0;
      break;
    case soFromCurrent:
      base = position;
      break;
    case soFromEnd:
      base = size;
      break;
    default:
      throw EStreamError(Format(rtlconsts::SSeekError, {static_cast<long long>(offset)}));
  }
  if (offset > 0 && base > kMaxPosition - offset) SeekError(offset);
  std::int64_t target = base + offset;
  if (target < 0) SeekError(target);
  return target;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TStream

std::int64_t TStream::Size() {
  std::int64_t position = Seek(0, soFromCurrent);
  std::int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TStream::SetSize(std::int64_t /*NewSize*/) {
  throw EStreamError(Format(rtlconsts::SStreamSizeFixed, {ClassName()}));
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count < 0 || (Count > 0 && Read(Buffer, Count) != Count)) throw EReadError(rtlconsts::SReadError);
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count < 0 || (Count > 0 && Write(Buffer, Count) != Count)) throw EWriteError(rtlconsts::SWriteError);
}

std::int64_t TStream::CopyFrom(TStream* Source, std::int64_t Count) {
  if (Count < 0) throw EReadError(rtlconsts::SReadError);
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  constexpr std::int64_t kBufferSize = 64 * 1024;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(Count, kBufferSize)));
  std::int64_t left = Count;
  while (left > 0) {
    std::int64_t n = std::min(left, kBufferSize);
    Source->ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t size = Size();
  if (Count <= 0 || FPosition >= size) return 0;
  std::int64_t n = std::min(Count, size - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  if (FPosition > kMaxPosition - Count) throw EWriteError(rtlconsts::SWriteError);
  std::int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<std::size_t>(end), 0);
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  FPosition = TargetPosition(Offset, Origin, FPosition, Size());
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError(Format(rtlconsts::SStreamSizeError, {static_cast<long long>(NewSize)}));
  FData.resize(static_cast<std::size_t>(NewSize), 0);
  if (FPosition > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  std::int64_t size = Stream->Size();
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  if (size > 0) Stream->ReadBuffer(data.data(), size);
  FData = std::move(data);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) const {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------------------------
// TStringStream

std::int64_t TStringStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t size = Size();
  if (Count <= 0 || FPosition >= size) return 0;
  std::int64_t n = std::min(Count, size - FPosition);
  std::memcpy(Buffer, FDataString.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TStringStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  if (FPosition > kMaxPosition - Count) throw EWriteError(rtlconsts::SWriteError);
  std::int64_t end = FPosition + Count;
  if (end > Size()) FDataString.resize(static_cast<std::size_t>(end), '\0');
  std::memcpy(FDataString.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = end;
  return Count;
}

std::int64_t TStringStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  FPosition = TargetPosition(Offset, Origin, FPosition, Size());
  return FPosition;
}

void TStringStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError(Format(rtlconsts::SStreamSizeError, {static_cast<long long>(NewSize)}));
  FDataString.resize(static_cast<std::size_t>(NewSize), '\0');
  if (FPosition > NewSize) FPosition = NewSize;
}

std::string TStringStream::ReadString(std::int64_t Count) {
  std::int64_t size = Size();
  if (Count <= 0 || FPosition >= size) return {};
  std::int64_t n = std::min(Count, size - FPosition);
  std::string result = FDataString.substr(static_cast<std::size_t>(FPosition), static_cast<std::size_t>(n));
  FPosition += n;
  return result;
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : FFileName(FileName) {
  const bool create = (Mode & fmCreate) == fmCreate;
  const unsigned access = Mode & 0x000F;
  const unsigned share = Mode & 0x00F0;
  const char* failure = create ? rtlconsts::SFCreateErrorEx : rtlconsts::SFOpenErrorEx;
  auto fail = [&](const std::string& reason) -> void {
    std::string message = Format(failure, {FFileName, reason});
    if (create) throw EFCreateError(message);
    throw EFOpenError(message);
  };
  if ((!create && access > fmOpenReadWrite) || share > fmShareDenyNone) {
    fail(Format(rtlconsts::SBadFileMode, {Mode}));
  }

  int flags = O_CLOEXEC;
  if (create) {
    // Truncated only once the share lock is held, so that a file open exclusively elsewhere
    // is not emptied by a failing create.
    flags |= O_RDWR | O_CREAT;
  } else if (access == fmOpenWrite) {
    flags |= O_WRONLY;
  } else if (access == fmOpenReadWrite) {
    flags |= O_RDWR;
  } else {
    flags |= O_RDONLY;
  }
  int fd = -1;
  do {
    fd = ::open(FileName.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(SysErrorMessage(errno));

  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    fail(SysErrorMessage(EISDIR));
  }
  int lockMode = (share == fmShareExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (::flock(fd, lockMode) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    fail(rtlconsts::SFileInUse);
  }
  if (create && ::ftruncate(fd, 0) != 0) {
    int error = errno;
    ::close(fd);
    fail(SysErrorMessage(error));
  }
  FHandle = fd;
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  auto* out = static_cast<std::uint8_t*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30));
    ssize_t n = ::read(FHandle, out + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError(Format(rtlconsts::SFileReadError, {FFileName, SysErrorMessage(errno)}));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  const auto* in = static_cast<const std::uint8_t*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30));
    ssize_t n = ::write(FHandle, in + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EWriteError(Format(rtlconsts::SFileWriteError, {FFileName, SysErrorMessage(errno)}));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soFromBeginning ? SEEK_SET : Origin == soFromCurrent ? SEEK_CUR : SEEK_END;
  if (Origin != soFromBeginning && Origin != soFromCurrent && Origin != soFromEnd) SeekError(Offset);
  off_t result = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (result < 0) SeekError(Offset);
  return static_cast<std::int64_t>(result);
}

void TFileStream::SetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EStreamError(Format(rtlconsts::SStreamSizeError, {static_cast<long long>(NewSize)}));
  std::int64_t position = Position();
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) {
    throw EStreamError(Format(rtlconsts::SFileWriteError, {FFileName, SysErrorMessage(errno)}));
  }
  if (position > NewSize) Seek(NewSize, soFromBeginning);
}

// ---------------------------------------------------------------------------------------------
// TPropertyStore

const std::vector<std::uint8_t>& TPropertyStore::Data(const std::string& Name) const {
  static const std::vector<std::uint8_t> kNone;
  auto it = FData.find(Name);
  return it == FData.end() ? kNone : it->second;
}

void TPropertyStore::WriteProperties(TPersistent& Instance) {
  FReading = false;
  FData.clear();
  Instance.DefineProperties(this);
}

void TPropertyStore::ReadProperties(TPersistent& Instance) {
  FReading = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FReading};
  Instance.DefineProperties(this);
}

void TPropertyStore::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                          const TStreamProc& WriteData, bool HasData) {
  if (FReading) {
    auto it = FData.find(Name);
    if (it == FData.end() || !ReadData) return;
    TMemoryStream stream;
    if (!it->second.empty()) stream.WriteBuffer(it->second.data(), static_cast<std::int64_t>(it->second.size()));
    stream.SetPosition(0);
    ReadData(stream);
  } else if (HasData && WriteData) {
    TMemoryStream stream;
    WriteData(stream);
    FData[Name].assign(stream.Memory(), stream.Memory() + stream.Size());
  }
}

}  // namespace host
