#include "engines/odbc/result.h"

namespace kxodbc {

StreamResult::~StreamResult() {
  // Resetting ends SQLite's read of the table, which lets implicit transactions commit.
  if (st_) sqlite3_reset(st_);
}

bool StreamResult::step() {
  onRow_ = false;
  if (done_) return false;
  if (maxRows_ > 0 && static_cast<SQLULEN>(pos + 1) >= maxRows_) {
    done_ = true;
    sqlite3_reset(st_);
    return false;
  }
  if (pending_) {
    pending_ = false;
  } else {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_DONE) {
      done_ = true;
      sqlite3_reset(st_);
      return false;
    }
    if (rc != SQLITE_ROW) {
      done_ = true;
      sqlite3_reset(st_);
      failSqlite(db_, rc);
    }
  }
  ++pos;
  onRow_ = true;
  return true;
}

bool TableResult::step() {
  if (pos + 1 >= count()) {
    pos = count();
    return false;
  }
  ++pos;
  return true;
}

bool TableResult::load(SQLLEN idx) {
  if (idx < 0 || idx >= count()) return false;
  pos = idx;
  return true;
}

KeysetResult::KeysetResult(sqlite3* db, sqlite3_stmt* query, int rowidCol, sqlite3_stmt* reread, int ncols)
    : Result(Kind::Keyset, ncols), db_(db), query_(query), rowidCol_(rowidCol), reread_(reread) {}

KeysetResult::~KeysetResult() {
  if (reread_) sqlite3_finalize(reread_);
  if (query_) sqlite3_reset(query_);
}

void KeysetResult::build() {
  keys_.clear();
  deleted_.clear();
  index_.clear();
  sqlite3_reset(query_);
  int rc;
  while ((rc = sqlite3_step(query_)) == SQLITE_ROW) keys_.push_back(sqlite3_column_int64(query_, rowidCol_));
  sqlite3_reset(query_);
  if (rc != SQLITE_DONE) failSqlite(db_, rc);
  deleted_.assign(keys_.size(), 0);
  rowidBookmarks_ = true;
  for (int64_t k : keys_)
    if (k < 1 || k > INT32_MAX) rowidBookmarks_ = false;
  pos = -1;
  afterEnd = false;
}

bool KeysetResult::step() {
  while (pos + 1 < count()) {
    ++pos;
    if (load(pos)) return true;
  }
  pos = count();
  return false;
}

bool KeysetResult::load(SQLLEN idx) {
  if (idx < 0 || idx >= count()) return false;
  if (deleted_[static_cast<size_t>(idx)]) return false;
  sqlite3_reset(reread_);
  int rc = sqlite3_bind_int64(reread_, 1, keys_[static_cast<size_t>(idx)]);
  if (rc != SQLITE_OK) failSqlite(db_, rc);
  rc = sqlite3_step(reread_);
  if (rc == SQLITE_DONE) {
    sqlite3_reset(reread_);
    deleted_[static_cast<size_t>(idx)] = 1;
    return false;
  }
  if (rc != SQLITE_ROW) {
    sqlite3_reset(reread_);
    failSqlite(db_, rc);
  }
  cur_.resize(static_cast<size_t>(ncols));
  for (int c = 0; c < ncols; ++c) cur_[static_cast<size_t>(c)] = valueOf(reread_, c);
  sqlite3_reset(reread_);
  pos = idx;
  return true;
}

SQLLEN KeysetResult::indexOfBookmark(uint32_t b) {
  if (!rowidBookmarks_) return b >= 1 && b <= keys_.size() ? static_cast<SQLLEN>(b) - 1 : -1;
  if (index_.empty() && !keys_.empty()) {
    index_.reserve(keys_.size());
    for (size_t k = 0; k < keys_.size(); ++k) index_.emplace(keys_[k], static_cast<SQLLEN>(k));
  }
  auto it = index_.find(static_cast<int64_t>(b));
  return it == index_.end() ? -1 : it->second;
}

}  // namespace kxodbc
