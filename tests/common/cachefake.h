// A test engine for cached updates: FakeCursorDataSet whose apply operations really write the
// entry to the FakeTable and whose BLOB-column operations fill and write the entry's BLOB
// lists; a database whose transactions snapshot and restore the tables they cover; a fixture.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/kxtables/cacheupdates.h"
#include "common/kxtables/database.h"
#include "tests/common/fakecursor.h"

namespace kxtest {

// Counts the apply operations of every dataset that shares it, and refuses the FailAt-th one
// (0: none).
struct ApplyCounter {
  int Attempts = 0;
  int FailAt = 0;
  // "I<id>", "M<id>", "D<id>" for each apply that reached the table, in order.
  std::vector<std::string> Log;
};

class CacheFakeDataSet : public FakeCursorDataSet {
 public:
  CacheFakeDataSet(TComponent* AOwner, std::shared_ptr<FakeTable> Table, kx::TKxAbsSessionList* Sessions,
                   std::shared_ptr<ApplyCounter> Counter = nullptr)
      : FakeCursorDataSet(AOwner, Table, Sessions),
        FCounter(Counter ? std::move(Counter) : std::make_shared<ApplyCounter>()) {}

  ApplyCounter& Counter() { return *FCounter; }
  kx::TRecCacheUpdateInfoList* CacheList() { return FCacheUpdateList.get(); }
  int CacheCount() { return FCacheUpdateList ? FCacheUpdateList->GetCount() : 0; }
  kx::TRecCacheUpdateInfo* Entry(int Index) { return FCacheUpdateList->Get(Index); }
  // The 32-bit id in an entry's bookmark.
  std::int32_t EntryId(int Index) {
    std::int32_t id;
    std::memcpy(&id, Entry(Index)->pNewRecBuf + FBookmarkOfs, sizeof id);
    return id;
  }
  // The value of a column in one of an entry's buffers.
  Variant ValueIn(TRecordBuffer Buffer, const std::string& Column) {
    FakeTable::Row row = Table().NewRow();
    std::memcpy(row.Image.data(), Buffer, row.Image.size());
    return Table().Get(row, Table().ColumnIndex(Column));
  }
  static std::string BlobText(const kx::TKxBlobBlocks& Blocks, const kx::TKxBlobSizes& Sizes, std::size_t Column) {
    if (Column >= Blocks.size() || Blocks[Column] == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(Blocks[Column].get()), static_cast<std::size_t>(Sizes[Column]));
  }

  using TKxDataSet::GetOldRecord;
  using TKxDataSet::GetCachedUpdItemNo;

 protected:
  // The current engine record's BLOB columns (empty ones for a record inserted in the cache).
  void KxGetBlobColumns(kx::TRecCacheUpdateInfo* Info) override {
    FakeCursorDataSet::KxGetBlobColumns(Info);
    const FakeTable::Row* row = nullptr;
    if (!Info->CacheUpdOpType.Contains(rtInserted)) {
      // Edits and deletes must find the engine on the record they change.
      std::int32_t id;
      GetBookmarkData(ActiveBuffer(), &id);
      const int pos = CursorPosition();
      if (pos < 0 || pos >= Table().RowCount() || Table().Rows()[static_cast<std::size_t>(pos)].Id != id) {
        throw EDatabaseError("cursor not on the active record in KxGetBlobColumns");
      }
      row = &Table().Rows()[static_cast<std::size_t>(pos)];
    }
    for (std::size_t c = 0; c < Table().Columns().size(); ++c) {
      if (row == nullptr || row->Blobs[c].empty()) {
        Info->AddBlobColumn(nullptr, 0);
      } else {
        Info->AddBlobColumn(row->Blobs[c].data(), static_cast<std::int32_t>(row->Blobs[c].size()));
      }
    }
  }

  void KxPutBlobColumns(kx::TRecCacheUpdateInfo* Info) override {
    FakeCursorDataSet::KxPutBlobColumns(Info);
    FakeTable::Row& row = RowOf(Info);
    WriteBlobs(Info, row);
  }

  void CacheUpdatesApplyModified(kx::TRecCacheUpdateInfo* Info) override {
    FakeCursorDataSet::CacheUpdatesApplyModified(Info);
    Attempt();
    if (Info->pOldRecBuf == nullptr) throw EDatabaseError("modified entry without old values");
    FakeTable::Row& row = RowOf(Info);
    std::memcpy(row.Image.data(), Info->pNewRecBuf, row.Image.size());
    WriteBlobs(Info, row);
    FCounter->Log.push_back("M" + std::to_string(row.Id));
  }

  void CacheUpdatesApplyInserted(kx::TRecCacheUpdateInfo* Info) override {
    FakeCursorDataSet::CacheUpdatesApplyInserted(Info);
    Attempt();
    if (IdOf(Info) >= 0) throw EDatabaseError("inserted entry with an engine bookmark");
    FakeTable::Row row = Table().NewRow();
    std::memcpy(row.Image.data(), Info->pNewRecBuf, row.Image.size());
    WriteBlobs(Info, row);
    FCounter->Log.push_back("I" + Table().Get(row, 0).AsString());
    Table().Rows().push_back(std::move(row));
  }

  void CacheUpdatesApplyDeleted(kx::TRecCacheUpdateInfo* Info) override {
    FakeCursorDataSet::CacheUpdatesApplyDeleted(Info);
    Attempt();
    if (IdOf(Info) < 0) throw EDatabaseError("delete of a record the engine never stored");
    const int pos = Table().Find(IdOf(Info));
    if (pos < 0) throw EDatabaseError("record to delete not found");
    FCounter->Log.push_back("D" + std::to_string(IdOf(Info)));
    Table().RemoveRow(pos);
  }

 private:
  void Attempt() {
    ++FCounter->Attempts;
    if (FCounter->FailAt > 0 && FCounter->Attempts == FCounter->FailAt) {
      throw EDatabaseError("apply refused by the engine");
    }
  }
  std::int32_t IdOf(kx::TRecCacheUpdateInfo* Info) {
    std::int32_t id;
    std::memcpy(&id, Info->pNewRecBuf + FBookmarkOfs, sizeof id);
    return id;
  }
  FakeTable::Row& RowOf(kx::TRecCacheUpdateInfo* Info) {
    const int pos = Table().Find(IdOf(Info));
    if (pos < 0) throw EDatabaseError("record to update not found");
    return Table().Rows()[static_cast<std::size_t>(pos)];
  }
  void WriteBlobs(kx::TRecCacheUpdateInfo* Info, FakeTable::Row& Row) {
    for (std::size_t c = 0; c < Table().Columns().size(); ++c) {
      if (!FakeIsBlob(Table().Columns()[c].Type)) continue;
      const std::string text = BlobText(Info->pNewBlobBuf, Info->pNewBlobSize, c);
      Row.Blobs[c].assign(text.begin(), text.end());
    }
  }

  std::shared_ptr<ApplyCounter> FCounter;
};

// A database whose transactions cover some tables: a rollback puts their rows back.
class TxDatabase : public TestDatabase {
 public:
  TxDatabase(TComponent* AOwner, TestSessionList* List, std::vector<std::shared_ptr<FakeTable>> Tables)
      : TestDatabase(AOwner, List), FTables(std::move(Tables)) {}

  void StartTransaction() override {
    TestDatabase::StartTransaction();
    FSnapshots.clear();
    for (const auto& table : FTables) FSnapshots.push_back(table->Rows());
  }
  void EndTransaction(kx::TTransEnd TransEnd) override {
    if (TransEnd == kx::teRollback && GetInTransaction()) {
      for (std::size_t i = 0; i < FTables.size(); ++i) FTables[i]->Rows() = FSnapshots[i];
    }
    TestDatabase::EndTransaction(TransEnd);
    if (TransEnd == kx::teRollback && FailRollback) throw EDatabaseError("rollback reported a failure");
  }

  // The rollback happens but reports a failure.
  bool FailRollback = false;

 private:
  std::vector<std::shared_ptr<FakeTable>> FTables;
  std::vector<std::vector<FakeTable::Row>> FSnapshots;
};

// A form "Form1" with a cached-update dataset "Table1" (DatabaseName "Sales") over a table
// ID integer, NAME string(20), AMOUNT float, NOTES memo, holding rows with ID 1..Rows.
class CacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.reset(new TComponent(nullptr));
    form->SetName("Form1");
    table = MakeTable(5);
    ds = MakeDataSet("Table1", table);
  }

  static std::shared_ptr<FakeTable> MakeTable(int Rows) {
    auto t = std::make_shared<FakeTable>(std::vector<FakeColumn>{
        {"ID", ftInteger}, {"NAME", ftString, 20}, {"AMOUNT", ftFloat}, {"NOTES", ftMemo}});
    for (int i = 1; i <= Rows; ++i) {
      t->AddRow({Variant(i), Variant("r" + std::to_string(i)), Variant(i * 1.5), Variant("note " + std::to_string(i))});
    }
    return t;
  }

  CacheFakeDataSet* MakeDataSet(const std::string& Name, std::shared_ptr<FakeTable> Table,
                                std::shared_ptr<ApplyCounter> Counter = nullptr) {
    auto* d = TComponent::Create<CacheFakeDataSet>(form.get(), Table, &sessions, Counter);
    d->SetName(Name);
    d->SetDatabaseName("Sales");
    d->SetCachedUpdates(true);
    return d;
  }

  static int IdOf(TDataSet* D) { return D->FieldByName("ID")->GetAsInteger(); }
  static std::vector<int> Forward(TDataSet* D) {
    std::vector<int> ids;
    for (D->First(); !D->GetEof(); D->Next()) ids.push_back(IdOf(D));
    return ids;
  }
  static std::vector<int> Backward(TDataSet* D) {
    std::vector<int> ids;
    for (D->Last(); !D->GetBof(); D->Prior()) ids.push_back(IdOf(D));
    return ids;
  }
  // Moves to the record with that ID (First, then Next); fails the test when it is not shown.
  static void Go(TDataSet* D, int Id) {
    for (D->First(); !D->GetEof(); D->Next()) {
      if (IdOf(D) == Id) return;
    }
    ADD_FAILURE() << "record " << Id << " not shown";
  }
  static std::vector<int> TableIds(const FakeTable& T) {
    std::vector<int> ids;
    for (int i = 0; i < T.RowCount(); ++i) ids.push_back(T.Value(i, "ID").AsInteger());
    return ids;
  }
  static void SetName(TDataSet* D, const std::string& Name) {
    D->Edit();
    D->FieldByName("NAME")->SetAsString(Name);
    D->Post();
  }
  static void InsertId(TDataSet* D, int Id, const std::string& Name = "new") {
    D->Insert();
    D->FieldByName("ID")->SetAsInteger(Id);
    D->FieldByName("NAME")->SetAsString(Name);
    D->Post();
  }

  // Destroyed last: the form's datasets hand their databases back to these sessions.
  TestSessionList sessions;
  std::unique_ptr<TComponent> form;
  std::shared_ptr<FakeTable> table;
  CacheFakeDataSet* ds = nullptr;
};

}  // namespace kxtest
