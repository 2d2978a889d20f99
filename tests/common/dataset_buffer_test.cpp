// Record buffers of the abstract dataset: the layout, the record-information block, and the
// BLOB cache with its counted references.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "common/kxtables/dataset.h"
#include "tests/common/fakecursor.h"

namespace kxtest {
namespace {

using kx::EKxDatabaseError;
using kx::KxBlobSlotSize;
using kx::KxRecordBufferLayout;
using kx::TKxRecordBufferLayout;

constexpr int kSlot = static_cast<int>(KxBlobSlotSize);

TEST(RecordBufferLayout, PartsFollowEachOtherInOrder) {
  struct Case {
    int record, calc, blobs, bookmark;
    TKxRecordBufferLayout expected;
  };
  const Case cases[] = {
      {100, 0, 0, 4, {100, 100, 108, 112}},
      {100, 10, 2, 4, {110, static_cast<std::uint16_t>(110 + 2 * kSlot), static_cast<std::uint16_t>(118 + 2 * kSlot),
                       static_cast<std::uint16_t>(122 + 2 * kSlot)}},
      {0, 0, 0, 0, {0, 0, 8, 8}},
      {65523, 0, 0, 4, {65523, 65523, 65531, 65535}},  // the largest buffer there is
  };
  for (const Case& c : cases) {
    const TKxRecordBufferLayout l = KxRecordBufferLayout(c.record, c.calc, c.blobs, c.bookmark);
    EXPECT_EQ(l.BlobCacheOfs, c.expected.BlobCacheOfs) << c.record << "/" << c.calc << "/" << c.blobs;
    EXPECT_EQ(l.RecInfoOfs, c.expected.RecInfoOfs) << c.record << "/" << c.calc << "/" << c.blobs;
    EXPECT_EQ(l.BookmarkOfs, c.expected.BookmarkOfs) << c.record << "/" << c.calc << "/" << c.blobs;
    EXPECT_EQ(l.RecBufSize, c.expected.RecBufSize) << c.record << "/" << c.calc << "/" << c.blobs;
  }
}

TEST(RecordBufferLayout, ABufferBeyond16BitOffsetsIsRefused) {
  // Offsets would wrap and every access past the wrap would land outside the block.
  EXPECT_THROW(KxRecordBufferLayout(65524, 0, 0, 4), EKxDatabaseError);
  EXPECT_THROW(KxRecordBufferLayout(60000, 5000, 100, 4), EKxDatabaseError);
  EXPECT_THROW(KxRecordBufferLayout(-1, 0, 0, 4), EKxDatabaseError);
  EXPECT_THROW(KxRecordBufferLayout(10, 0, -1, 4), EKxDatabaseError);
}

using DataSetBuffers = FakeDataSetTest;

TEST_F(DataSetBuffers, WithoutBlobsOrCalculatedFieldsTheBufferIsTheRecordPlusTwelve) {
  auto plain = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger}, {"NAME", ftString, 10}});
  plain->AddRow({Variant(1), Variant("x")});
  FakeCursorDataSet* d = MakeDataSet("Plain", plain);
  d->Open();
  EXPECT_EQ(d->FRecordSize, 5 + 12);
  EXPECT_EQ(d->FRecBufSize, d->FRecordSize + 12);
  EXPECT_EQ(d->FBlobCacheOfs, d->FRecordSize);
  EXPECT_EQ(d->FRecInfoOfs, d->FRecordSize);
  EXPECT_EQ(d->FBookmarkOfs, d->FRecordSize + 8);
}

TEST_F(DataSetBuffers, CalculatedFieldsAndBlobSlotsSitBetweenRecordAndRecordInformation) {
  // Persistent fields: the data fields, a calculated integer and the memo.
  ds->GetFieldDefs()->Update();
  for (int i = 0; i < ds->GetFieldDefs()->Count(); ++i) ds->GetFieldDefs()->Items(i)->CreateField(ds);
  auto* doubled = TComponent::Create<TIntegerField>(ds);
  doubled->SetFieldName("DOUBLED");
  doubled->SetFieldKind(fkCalculated);
  doubled->SetDataSet(ds);
  ds->SetOnCalcFields([](TDataSet* D) {
    D->FieldByName("DOUBLED")->SetAsInteger(2 * D->FieldByName("ID")->GetAsInteger());
  });
  ds->Open();
  EXPECT_EQ(ds->GetCalcFieldsSize(), 5);
  EXPECT_EQ(ds->BlobCacheSlotCount(), 1);
  EXPECT_EQ(ds->FBlobCacheOfs, ds->FRecordSize + 5);
  EXPECT_EQ(ds->FRecInfoOfs, ds->FBlobCacheOfs + kSlot);
  EXPECT_EQ(ds->FRecBufSize, ds->FRecInfoOfs + 8 + 4);

  // The calculated value is computed while the record is read, into its own area.
  ds->Next();
  EXPECT_EQ(ds->FieldByName("DOUBLED")->GetAsInteger(), 4);
  EXPECT_EQ(ds->FieldByName("NOTES")->GetAsString(), "note 2");
  ds->Close();
}

TEST_F(DataSetBuffers, BlobValuesAreCachedPerRecordAndDroppedWhenTheBufferIsReread) {
  ds->Open();
  TField* notes = ds->FieldByName("NOTES");
  EXPECT_EQ(notes->GetAsString(), "note 1");
  EXPECT_EQ(notes->GetAsString(), "note 1");
  EXPECT_EQ(ds->CountCalls("ReadBlob"), 1) << "the second read is served from the cache";
  EXPECT_EQ(ds->GetBlobData(notes, ds->ActiveBuffer()).Length(), 6u);

  // A record read into the buffer never shows the cache of the record before it.
  ds->Next();
  EXPECT_TRUE(ds->GetBlobData(notes, ds->ActiveBuffer()).Empty());
  EXPECT_EQ(notes->GetAsString(), "note 2");
  EXPECT_EQ(ds->CountCalls("ReadBlob"), 2);

  ds->SetCacheBlobs(false);
  ds->Prior();
  EXPECT_EQ(notes->GetAsString(), "note 1");
  EXPECT_EQ(notes->GetAsString(), "note 1");
  EXPECT_EQ(ds->CountCalls("ReadBlob"), 4);
}

TEST_F(DataSetBuffers, ABlobWrittenInEditIsPostedFromTheCache) {
  ds->Open();
  ds->Edit();
  TField* notes = ds->FieldByName("NOTES");
  notes->SetAsString("rewritten");
  EXPECT_EQ(notes->GetAsString(), "rewritten");
  ds->Post();
  EXPECT_EQ(table->Value(0, "NOTES").AsString(), "rewritten");
  ds->Next();
  ds->Prior();
  EXPECT_EQ(notes->GetAsString(), "rewritten");

  // Clearing it makes the field null.
  ds->Edit();
  notes->Clear();
  ds->Post();
  EXPECT_TRUE(table->Value(0, "NOTES").IsNull());
  EXPECT_TRUE(notes->GetIsNull());
}

TEST_F(DataSetBuffers, SetBlobDataCachesOnlyInTheActiveBuffer) {
  ds->Open();
  TField* notes = ds->FieldByName("NOTES");
  TRecordBuffer other = ds->AllocRecordBuffer();
  const TByteArray value("abc", 3);
  ds->SetBlobData(notes, other, value);
  EXPECT_TRUE(ds->GetBlobData(notes, other).Empty());
  ds->SetBlobData(notes, ds->ActiveBuffer(), value);
  EXPECT_EQ(ds->GetBlobData(notes, ds->ActiveBuffer()), value);
  // A field without a slot has nothing cached and takes nothing.
  TField* name = ds->FieldByName("NAME");
  ds->SetBlobData(name, ds->ActiveBuffer(), value);
  EXPECT_TRUE(ds->GetBlobData(name, ds->ActiveBuffer()).Empty());
  ds->FreeRecordBuffer(other);
  EXPECT_EQ(other, nullptr);
}

TEST_F(DataSetBuffers, CopyingABufferCountsItsBlobReferences) {
  ds->Open();
  TField* notes = ds->FieldByName("NOTES");
  const TByteArray value("shared", 6);
  ds->SetBlobData(notes, ds->ActiveBuffer(), value);
  EXPECT_EQ(value.RefCount(), 2);  // this handle and the active buffer's slot

  TRecordBuffer copy = ds->AllocRecordBuffer();
  ds->CopyRecordBuffer(copy, ds->ActiveBuffer());
  EXPECT_EQ(value.RefCount(), 3);
  EXPECT_EQ(ds->GetRecordNumber(copy), 1);
  EXPECT_EQ(ds->GetBookmarkFlag(copy), bfCurrent);
  EXPECT_EQ(std::memcmp(copy, ds->ActiveBuffer(), ds->FRecordSize), 0);

  // Copying again over a filled copy drops what it held first.
  ds->CopyRecordBuffer(copy, ds->ActiveBuffer());
  EXPECT_EQ(value.RefCount(), 3);
  ds->CopyRecordBuffer(copy, copy);
  EXPECT_EQ(value.RefCount(), 3);

  // Freeing releases the reference even with the cache switched off.
  ds->SetCacheBlobs(false);
  ds->FreeRecordBuffer(copy);
  EXPECT_EQ(value.RefCount(), 2);
  ds->Close();
  EXPECT_EQ(value.RefCount(), 1);
}

}  // namespace
}  // namespace kxtest
