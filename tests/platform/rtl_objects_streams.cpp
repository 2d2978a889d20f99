// Streams: memory, string and file streams, their errors, and the property store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/rtl/containers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/stream.h"

namespace host {
namespace {

std::string Contents(TMemoryStream& s) { return std::string(reinterpret_cast<const char*>(s.Memory()), s.Size()); }

class StreamFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kx-streams-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path dir_;
};

TEST(TMemoryStreamTest, ReadWriteSeek) {
  TMemoryStream s;
  s.WriteBuffer("hello", 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Seek(-2, soFromEnd), 3);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2) << "a short read returns what is there";
  EXPECT_EQ(std::string(buf, 2), "lo");
  EXPECT_EQ(s.Read(buf, 8), 0);

  // Seeking past the end and writing leaves a gap of zeros.
  s.Seek(2, soFromCurrent);
  s.WriteBuffer("!", 1);
  EXPECT_EQ(Contents(s), std::string("hello\0\0!", 8));

  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3) << "a position beyond the new end moves to it";
  EXPECT_EQ(Contents(s), "hel");
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
}

TEST(TMemoryStreamTest, ErrorsOfBadRequests) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(1);
  char buf[4];
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError) << "only two bytes left";
  s.SetPosition(0);
  EXPECT_THROW(s.ReadBuffer(buf, -1), EReadError);
  EXPECT_THROW(s.Seek(-1, soFromBeginning), EStreamError);
  EXPECT_THROW(s.Seek(-4, soFromEnd), EStreamError);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
  EXPECT_EQ(s.Position(), 0) << "a refused seek leaves the position";
  try {
    s.ReadBuffer(buf, 4);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST(TStreamTest, CopyFrom) {
  TStringStream source("0123456789");
  TMemoryStream target;
  source.SetPosition(4);
  EXPECT_EQ(target.CopyFrom(&source, 3), 3);
  EXPECT_EQ(Contents(target), "456");
  EXPECT_EQ(target.CopyFrom(&source, 0), 10) << "0 copies the whole source from its start";
  EXPECT_EQ(Contents(target), "4560123456789");
  source.SetPosition(8);
  EXPECT_THROW(target.CopyFrom(&source, 5), EReadError);

  // Larger than the copy buffer.
  std::string big(200000, 'x');
  big[150000] = 'y';
  TStringStream bigSource(big);
  TMemoryStream bigTarget;
  bigTarget.CopyFrom(&bigSource, 0);
  EXPECT_EQ(Contents(bigTarget), big);
}

TEST(TStringStreamTest, OverwritesInPlace) {
  TStringStream s("abcdef");
  s.SetPosition(2);
  s.WriteString("XY");
  EXPECT_EQ(s.DataString(), "abXYef") << "writing does not cut the rest";
  EXPECT_EQ(s.ReadString(10), "ef");
  s.SetSize(1);
  EXPECT_EQ(s.DataString(), "a");
}

TEST(TStreamTest, StreamsThatCannotResizeSaySo) {
  class Fixed : public TStream {
   public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
  } fixed;
  EXPECT_THROW(fixed.SetSize(10), EStreamError);
  EXPECT_THROW(fixed.WriteBuffer("x", 1), EWriteError);
}

TEST_F(StreamFiles, CreateWriteReopenRead) {
  std::string path = Path("data.bin");
  {
    TFileStream out(path, fmCreate);
    out.WriteBuffer("file data", 9);
    EXPECT_EQ(out.FileName(), path);
  }
  {
    TFileStream in(path, fmOpenRead);
    EXPECT_EQ(in.Size(), 9);
    char buf[4];
    in.Seek(5, soFromBeginning);
    in.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "data");
    EXPECT_THROW(in.ReadBuffer(buf, 1), EReadError);
    EXPECT_THROW(in.WriteBuffer("x", 1), EWriteError) << "opened for reading";
  }
  {
    TFileStream rw(path, fmOpenReadWrite);
    rw.Seek(0, soFromEnd);
    rw.WriteBuffer("!", 1);
    rw.SetSize(4);
  }
  EXPECT_EQ(ReadAll(path), "file");
  {
    TFileStream again(path, fmCreate);
  }
  EXPECT_EQ(ReadAll(path), "") << "fmCreate empties an existing file";
}

TEST_F(StreamFiles, OpenAndCreateFailuresNameTheFile) {
  std::string missing = Path("missing.txt");
  try {
    TFileStream s(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }
  std::string badDir = Path("no/such/dir.txt");
  try {
    TFileStream s(badDir, fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + badDir + "\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(dir_.string(), fmOpenRead), EFOpenError) << "a folder is not a file";
  EXPECT_THROW(TFileStream(missing, 0x0003), EFOpenError) << "no such access mode";
  // Both are stream errors for a handler that does not care which.
  EXPECT_THROW(TFileStream(missing, fmOpenWrite), EStreamError);
}

TEST_F(StreamFiles, ShareModes) {
  std::string path = Path("shared.dat");
  TFileStream first(path, fmCreate | fmShareExclusive);
  try {
    TFileStream second(path, fmOpenRead | fmShareDenyNone);
    FAIL() << "an exclusive file cannot be opened again";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("in use"), std::string::npos) << e.Message();
  }
  first.WriteBuffer("kept", 4);
  EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
  EXPECT_EQ(first.Size(), 4) << "a refused create does not empty the file";

  std::string other = Path("readers.dat");
  TFileStream(other, fmCreate).WriteBuffer("r", 1);
  TFileStream reader1(other, fmOpenRead | fmShareDenyWrite);
  TFileStream reader2(other, fmOpenRead | fmShareDenyNone);
  EXPECT_THROW(TFileStream(other, fmOpenReadWrite | fmShareExclusive), EFOpenError);
}

TEST_F(StreamFiles, StringListsAndMemoryStreamsInFiles) {
  std::string path = Path("lines.txt");
  TStringList list;
  list.SetCommaText("one,two,three");
  list.SaveToFile(path);
  EXPECT_EQ(ReadAll(path), "one\r\ntwo\r\nthree\r\n");

  {
    std::ofstream withBom(path, std::ios::binary);
    withBom << "\xEF\xBB\xBF" << "a\nb\n";
  }
  list.LoadFromFile(path);
  EXPECT_EQ(list.CommaText(), "a,b") << "the byte-order mark is not text";

  TMemoryStream memory;
  memory.LoadFromFile(path);
  EXPECT_EQ(memory.Size(), 7);
  EXPECT_EQ(memory.Position(), 0);
  memory.SaveToFile(Path("copy.txt"));
  EXPECT_EQ(ReadAll(Path("copy.txt")), ReadAll(path));
}

// A persistent with a binary property "Data", stored only when it has some.
class Blob : public TPersistent {
 public:
  std::vector<std::uint8_t> Bytes;
  void DefineProperties(TFiler* Filer) override {
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          Bytes.resize(static_cast<std::size_t>(s.Size()));
          if (!Bytes.empty()) s.ReadBuffer(Bytes.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size())); },
        !Bytes.empty());
  }
};

TEST(TPropertyStoreTest, StoresAndRestoresBinaryProperties) {
  Blob source;
  source.Bytes = {1, 2, 3};
  TPropertyStore store;
  store.WriteProperties(source);
  ASSERT_TRUE(store.Has("Data"));
  EXPECT_EQ(store.Data("Data"), source.Bytes);

  Blob target;
  store.ReadProperties(target);
  EXPECT_EQ(target.Bytes, source.Bytes);
  EXPECT_FALSE(store.Reading());

  Blob empty;
  store.WriteProperties(empty);
  EXPECT_FALSE(store.Has("Data")) << "HasData false: nothing stored";
}

}  // namespace
}  // namespace host
