// The BLOB stream base: creation checks by state and mode, reads served from the record
// buffer's cache, positions, and the change notification when a written stream goes away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/kxtables/blobstream.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/application.h"
#include "tests/common/fakecursor.h"

namespace kxtest {
namespace {

using ::testing::HasSubstr;

class BlobDataSet;

// A stream over the test engine's stored BLOBs: reads come from the cache when the base
// allows it, otherwise from the stored row (counted, and cached for the next stream); writes
// collect the bytes and leave them in the active buffer's cache when the stream goes away.
class TestBlobStream : public kx::TKxBlobStream {
 public:
  TestBlobStream(BlobDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode);
  ~TestBlobStream() override;

  std::int64_t Read(void* Buffer, std::int64_t Count) override {
    if (!FOpened || Count <= 0 || FPosition >= static_cast<std::int32_t>(FValue.size())) return 0;
    const std::int64_t n = std::min<std::int64_t>(Count, static_cast<std::int64_t>(FValue.size()) - FPosition);
    std::memcpy(Buffer, FValue.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += static_cast<std::int32_t>(n);
    return n;
  }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    if (!FOpened || Count <= 0) return 0;
    const std::size_t end = static_cast<std::size_t>(FPosition) + static_cast<std::size_t>(Count);
    if (FValue.size() < end) FValue.resize(end);
    std::memcpy(FValue.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition += static_cast<std::int32_t>(Count);
    FModified = true;
    return Count;
  }
  std::int32_t GetBlobSize() override { return static_cast<std::int32_t>(FValue.size()); }
  void Truncate() override {
    if (static_cast<std::size_t>(FPosition) < FValue.size()) FValue.resize(static_cast<std::size_t>(FPosition));
    FModified = true;
  }

 private:
  TBytes FValue;
};

class BlobDataSet : public FakeCursorDataSet {
 public:
  using FakeCursorDataSet::FakeCursorDataSet;

  int storedReads = 0;
  int fieldChanges = 0;
  bool failFieldChange = false;

  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
    return std::make_unique<TestBlobStream>(this, dynamic_cast<TBlobField*>(Field), Mode);
  }
  void DataEvent(TDataEvent Event, std::intptr_t Info) override {
    if (Event == deFieldChange) {
      ++fieldChanges;
      if (failFieldChange) throw EDatabaseError("listener failed");
    }
    FakeCursorDataSet::DataEvent(Event, Info);
  }
  // The stored value of the field for the record in Buffer.
  TBytes Stored(TField* Field, TRecordBuffer Buffer) {
    ++storedReads;
    std::int32_t id;
    std::memcpy(&id, Buffer + FBookmarkOfs, sizeof id);
    const int at = Table().Find(id);
    if (at < 0) return {};
    return Table().Rows()[static_cast<std::size_t>(at)].Blobs[static_cast<std::size_t>(Field->GetFieldNo() - 1)];
  }
};

TestBlobStream::TestBlobStream(BlobDataSet* DataSet, TBlobField* Field, TBlobStreamMode Mode)
    : TKxBlobStream(Field, Mode) {
  if (!FOpened || Mode == bmWrite) return;
  if (FCached) {
    FValue.assign(FBlobData.Data(), FBlobData.Data() + FBlobData.Length());
    return;
  }
  if (Field->GetModified()) {
    const TByteArray pending = DataSet->GetBlobData(Field, FBuffer);
    FValue.assign(pending.Data(), pending.Data() + pending.Length());
    return;
  }
  FValue = DataSet->Stored(Field, FBuffer);
  if (DataSet->GetCacheBlobs()) DataSet->SetBlobData(Field, FBuffer, TByteArray(FValue.data(), FValue.size()));
}

TestBlobStream::~TestBlobStream() {
  if (FOpened && FModified) FDataSet->SetBlobData(FField, FBuffer, TByteArray(FValue.data(), FValue.size()));
}

class BlobStreamTest : public FakeDataSetTest {
 protected:
  void SetUp() override {
    FakeDataSetTest::SetUp();
    blobs = TComponent::Create<BlobDataSet>(form.get(), table, &sessions);
    blobs->SetName("Blobs");
    blobs->SetDatabaseName("Sales");
    blobs->Open();
    notes = dynamic_cast<TBlobField*>(blobs->FieldByName("NOTES"));
    ASSERT_NE(notes, nullptr);
  }
  std::unique_ptr<TestBlobStream> Stream(TBlobStreamMode Mode) {
    return std::make_unique<TestBlobStream>(blobs, notes, Mode);
  }
  static std::string ReadAll(TStream& S) {
    std::string text(static_cast<std::size_t>(S.Size()), '\0');
    S.Seek(0, soFromBeginning);
    text.resize(static_cast<std::size_t>(S.Read(text.data(), static_cast<std::int64_t>(text.size()))));
    return text;
  }

  BlobDataSet* blobs = nullptr;
  TBlobField* notes = nullptr;
};

TEST_F(BlobStreamTest, WriteModesNeedAnEditableFieldInEditOrInsertState) {
  for (TBlobStreamMode mode : {bmWrite, bmReadWrite}) {
    SCOPED_TRACE(static_cast<int>(mode));
    try {
      Stream(mode);
      ADD_FAILURE() << "a write stream in browse state must be refused";
    } catch (const kx::EKxDatabaseError& e) {
      EXPECT_THAT(e.Message(), HasSubstr(std::string(SNotEditing)));
    }
    notes->SetReadOnly(true);
    blobs->Edit();
    try {
      Stream(mode);
      ADD_FAILURE() << "a write stream on a read-only field must be refused";
    } catch (const kx::EKxDatabaseError& e) {
      EXPECT_THAT(e.Message(), HasSubstr("Field 'NOTES' cannot be modified"));
    }
    blobs->Cancel();
    notes->SetReadOnly(false);
  }
  // Reading is allowed in browse state and on read-only fields.
  notes->SetReadOnly(true);
  EXPECT_EQ(ReadAll(*Stream(bmRead)), "note 1");
}

TEST_F(BlobStreamTest, BlobsCannotBeReadInsideAFilter) {
  std::string message;
  blobs->SetOnFilterRecord([&](TDataSet*, bool&) {
    try {
      TestBlobStream s(blobs, notes, bmRead);
    } catch (const kx::EKxDatabaseError& e) {
      message = e.Message();
    }
  });
  blobs->SetFiltered(true);
  EXPECT_THAT(message, HasSubstr("Cannot access field 'NOTES' in a filter"));
}

TEST_F(BlobStreamTest, ASecondReadOfTheSameRecordComesFromTheCache) {
  auto first = Stream(bmRead);
  EXPECT_FALSE(first->GetCached());
  EXPECT_EQ(ReadAll(*first), "note 1");
  first.reset();
  auto second = Stream(bmRead);
  EXPECT_TRUE(second->GetCached());
  EXPECT_EQ(ReadAll(*second), "note 1");
  EXPECT_EQ(blobs->storedReads, 1);

  // Another record is read afresh: the cache belongs to the record it was read for.
  blobs->Next();
  EXPECT_FALSE(Stream(bmRead)->GetCached());
  EXPECT_EQ(blobs->storedReads, 2);

  // Without CacheBlobs nothing is served from the cache.
  blobs->SetCacheBlobs(false);
  blobs->First();
  EXPECT_FALSE(Stream(bmRead)->GetCached());
  EXPECT_FALSE(Stream(bmRead)->GetCached());
  EXPECT_EQ(blobs->storedReads, 4);
}

TEST_F(BlobStreamTest, ANullBlobIsCachedAndReadsNothing) {
  table->AddRow({Variant(6), Variant("zeta"), Variant(0.0), Null()});
  blobs->Last();
  ASSERT_TRUE(notes->GetIsNull());
  auto s = Stream(bmRead);
  EXPECT_TRUE(s->GetCached());
  char c;
  EXPECT_EQ(s->Read(&c, 1), 0);
  EXPECT_EQ(blobs->storedReads, 0);
}

TEST_F(BlobStreamTest, OpeningForWritingEmptiesTheCachedValue) {
  Stream(bmRead);  // caches "note 1"
  blobs->Edit();
  ASSERT_FALSE(blobs->GetBlobData(notes, blobs->ActiveBuffer()).Empty());
  auto s = Stream(bmWrite);
  EXPECT_TRUE(blobs->GetBlobData(notes, blobs->ActiveBuffer()).Empty());
}

TEST_F(BlobStreamTest, SeekKeepsThePositionWithinZeroAndTheLargestPosition) {
  auto s = Stream(bmRead);  // "note 1": 6 bytes
  struct Case {
    std::int64_t offset;
    TSeekOrigin origin;
    std::int64_t expected;
  };
  const Case cases[] = {
      {0, soFromEnd, 6},          {-2, soFromEnd, 4},       {-5, soFromBeginning, 0},
      {3, soFromBeginning, 3},    {2, soFromCurrent, 5},    {-9, soFromCurrent, 0},
      {100, soFromBeginning, 100}, {-100, soFromEnd, 0},
      {std::int64_t{1} << 40, soFromBeginning, 0x7fffffff},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << " from " << static_cast<int>(c.origin));
    EXPECT_EQ(s->Seek(c.offset, c.origin), c.expected);
  }
  // Reading past the end gives nothing.
  s->Seek(100, soFromBeginning);
  char c;
  EXPECT_EQ(s->Read(&c, 1), 0);
}

TEST_F(BlobStreamTest, OnlyAWrittenStreamMarksTheFieldAndSendsTheChange) {
  blobs->Edit();
  const int changesBefore = blobs->fieldChanges;
  Stream(bmWrite);
  EXPECT_EQ(blobs->fieldChanges, changesBefore) << "nothing written, nothing to announce";
  EXPECT_FALSE(notes->GetModified());

  {
    auto s = Stream(bmWrite);
    s->WriteBuffer("new text", 8);
  }
  EXPECT_EQ(blobs->fieldChanges, changesBefore + 1);
  EXPECT_TRUE(notes->GetModified());
  EXPECT_EQ(notes->GetAsString(), "new text");

  // The framework shortens a value it rewrote through SetSize, which truncates.
  notes->SetAsString("abc");
  EXPECT_EQ(notes->GetAsString(), "abc");
  blobs->Post();
  EXPECT_EQ(table->Value(0, "NOTES").AsString(), "abc");
}

TEST_F(BlobStreamTest, AFailingChangeListenerGoesToTheApplicationsHandler) {
  std::string handled;
  TApplication::TExceptionEvent previous = Application()->OnException();
  Application()->SetOnException([&](TObject*, const Exception& E) { handled = E.Message(); });
  blobs->Edit();
  blobs->failFieldChange = true;
  {
    auto s = Stream(bmWrite);
    s->WriteBuffer("x", 1);
  }
  Application()->SetOnException(previous);
  EXPECT_EQ(handled, "listener failed");
  EXPECT_TRUE(notes->GetModified()) << "the value is kept whatever the listener did";
}

TEST_F(BlobStreamTest, WithoutARecordBufferTheStreamStaysUnopened) {
  auto empty = std::make_shared<FakeTable>(table->Columns());
  auto* other = TComponent::Create<BlobDataSet>(form.get(), empty, &sessions);
  other->SetDatabaseName("Sales");
  other->Open();
  TestBlobStream s(other, dynamic_cast<TBlobField*>(other->FieldByName("NOTES")), bmWrite);
  EXPECT_FALSE(s.GetOpened());
  EXPECT_EQ(s.Write("x", 1), 0);
}

}  // namespace
}  // namespace kxtest
