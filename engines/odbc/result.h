// Result sets behind a cursor: streamed from SQLite (forward-only), materialised (static cursors,
// catalogue results, procedure results), or a keyset of row ids re-read at every fetch (keyset
// and dynamic cursors over one table).
#pragma once

#include <unordered_map>

#include "engines/odbc/driver.h"

namespace kxodbc {

class Result {
 public:
  enum class Kind { Stream, Table, Keyset };
  explicit Result(Kind k, int n) : kind(k), ncols(n) {}
  virtual ~Result() = default;
  Kind kind;
  int ncols;  // columns the application sees

  virtual ValView get(int col) = 0;  // current row, 0-based column
  virtual bool hasRowid() const = 0;
  virtual int64_t rowid() = 0;  // current row's row id
  virtual uint32_t bookmark() = 0;

  // Forward-only access (every kind supports it).
  virtual bool step() = 0;
  // Scrollable access.
  virtual SQLLEN count() { return 0; }
  virtual bool load(SQLLEN) { return false; }  // makes row idx current; false when it is gone
  virtual SQLLEN indexOfBookmark(uint32_t) { return -1; }
  virtual void markDeleted(SQLLEN) {}
  virtual bool isDeleted(SQLLEN) { return false; }
  virtual void refresh() {}  // dynamic cursors: run the keyset query again

  SQLLEN pos = -1;       // scrollable: index of the current row; stream: rows delivered - 1
  bool afterEnd = false;  // scrollable: positioned after the last row
};

// Rows straight from a stepping statement. The statement belongs to the program.
class StreamResult final : public Result {
 public:
  StreamResult(sqlite3* db, sqlite3_stmt* st, int ncols, int rowidCol, bool pending, SQLULEN maxRows)
      : Result(Kind::Stream, ncols), db_(db), st_(st), rowidCol_(rowidCol), pending_(pending), maxRows_(maxRows) {}
  ~StreamResult() override;
  ValView get(int col) override { return viewOf(st_, col); }
  bool hasRowid() const override { return rowidCol_ >= 0; }
  int64_t rowid() override { return rowidCol_ >= 0 ? sqlite3_column_int64(st_, rowidCol_) : 0; }
  uint32_t bookmark() override { return static_cast<uint32_t>(pos + 1); }
  bool step() override;
  bool onRow() const { return onRow_; }
  sqlite3_stmt* stmt() const { return st_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* st_;
  int rowidCol_;
  bool pending_;
  SQLULEN maxRows_;
  bool done_ = false;
  bool onRow_ = false;
};

// Materialised rows.
class TableResult final : public Result {
 public:
  explicit TableResult(int ncols) : Result(Kind::Table, ncols) {}
  std::vector<std::vector<Value>> rows;
  std::vector<int64_t> rowids;  // empty when the rows have none

  ValView get(int col) override { return viewOf(rows[static_cast<size_t>(pos)][static_cast<size_t>(col)]); }
  bool hasRowid() const override { return !rowids.empty(); }
  int64_t rowid() override { return rowids.empty() ? 0 : rowids[static_cast<size_t>(pos)]; }
  uint32_t bookmark() override { return static_cast<uint32_t>(pos + 1); }
  bool step() override;
  SQLLEN count() override { return static_cast<SQLLEN>(rows.size()); }
  bool load(SQLLEN idx) override;
  SQLLEN indexOfBookmark(uint32_t b) override {
    return b >= 1 && b <= rows.size() ? static_cast<SQLLEN>(b) - 1 : -1;
  }
  bool isDeleted(SQLLEN idx) override { return idx >= 0 && static_cast<size_t>(idx) < deleted.size() && deleted[static_cast<size_t>(idx)]; }
  void markDeleted(SQLLEN idx) override {
    if (deleted.size() < rows.size()) deleted.resize(rows.size());
    if (idx >= 0 && static_cast<size_t>(idx) < deleted.size()) deleted[static_cast<size_t>(idx)] = 1;
  }
  std::vector<char> deleted;
};

// Row ids of one table; each fetch reads the row again so that changes and deletions show.
class KeysetResult final : public Result {
 public:
  // `query` yields the row id in column `rowidCol` (the program's statement, with its
  // parameters still bound); `reread` selects the visible columns by row id.
  KeysetResult(sqlite3* db, sqlite3_stmt* query, int rowidCol, sqlite3_stmt* reread, int ncols);
  ~KeysetResult() override;
  void build();

  ValView get(int col) override { return viewOf(cur_[static_cast<size_t>(col)]); }
  bool hasRowid() const override { return true; }
  int64_t rowid() override { return keys_[static_cast<size_t>(pos)]; }
  uint32_t bookmark() override {
    int64_t k = keys_[static_cast<size_t>(pos)];
    return rowidBookmarks_ ? static_cast<uint32_t>(k) : static_cast<uint32_t>(pos + 1);
  }
  bool step() override;
  SQLLEN count() override { return static_cast<SQLLEN>(keys_.size()); }
  bool load(SQLLEN idx) override;
  SQLLEN indexOfBookmark(uint32_t b) override;
  void markDeleted(SQLLEN idx) override {
    if (idx >= 0 && static_cast<size_t>(idx) < deleted_.size()) deleted_[static_cast<size_t>(idx)] = 1;
  }
  bool isDeleted(SQLLEN idx) override {
    return idx >= 0 && static_cast<size_t>(idx) < deleted_.size() && deleted_[static_cast<size_t>(idx)];
  }
  void refresh() override { build(); }

 private:
  sqlite3* db_;
  sqlite3_stmt* query_;
  int rowidCol_;
  sqlite3_stmt* reread_;
  std::vector<int64_t> keys_;
  std::vector<char> deleted_;
  std::vector<Value> cur_;
  bool rowidBookmarks_ = true;
  std::unordered_map<int64_t, SQLLEN> index_;
};

}  // namespace kxodbc
