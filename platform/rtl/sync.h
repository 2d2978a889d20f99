// Locks: a re-entrant critical section and a multi-reader, exclusive-writer lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/rtl/object.h"

namespace host {

// A critical section that the thread holding it may enter again (each Enter needs its Leave).
// Leaving it from a thread that does not hold it raises EInvalidOperation.
// lock/unlock make it usable with std::lock_guard and std::unique_lock.
class TCriticalSection : public TObject {
 public:
  void Enter();
  void Leave();
  bool TryEnter();
  void Acquire() { Enter(); }
  void Release() { Leave(); }

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex FMutex;
  std::atomic<std::thread::id> FOwner{};
  int FDepth = 0;
};

// Many readers or one writer.
//
// - BeginRead/EndRead nest: a thread that holds a read lock gets another at once, even while a
//   writer waits (so nested reading cannot deadlock).
// - BeginWrite/EndWrite nest for the writing thread, which may also take read locks.
// - A thread holding read locks may call BeginWrite. Its read locks stop counting while it
//   waits for and holds the write lock, and count again after its last EndWrite. Two readers
//   that both want to write therefore do not deadlock: one writes first, the other after it.
//   BeginWrite returns false when another thread wrote in between the call and the moment the
//   lock was granted, so the caller knows to check again what it read.
// - New readers wait while a writer waits, so writers are not starved.
// Ending a lock the thread does not hold raises EInvalidOperation.
class TMultiReadExclusiveWriteSynchronizer : public TObject {
 public:
  void BeginRead();
  void EndRead();
  bool BeginWrite();
  void EndWrite();

  // For tests and diagnostics: how many threads hold read locks (not counting the writer's own).
  int ActiveReaders();
  bool IsWriter();

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::unordered_map<std::thread::id, int> FReadDepth;
  int FActiveReaders = 0;
  int FWaitingWriters = 0;
  std::thread::id FWriter;
  int FWriteDepth = 0;
  std::uint64_t FWriteSequence = 0;
};

// Scoped read and write locks.
class TReadLockGuard {
 public:
  explicit TReadLockGuard(TMultiReadExclusiveWriteSynchronizer& Lock) : FLock(Lock) { FLock.BeginRead(); }
  ~TReadLockGuard() { FLock.EndRead(); }
  TReadLockGuard(const TReadLockGuard&) = delete;
  TReadLockGuard& operator=(const TReadLockGuard&) = delete;

 private:
  TMultiReadExclusiveWriteSynchronizer& FLock;
};

class TWriteLockGuard {
 public:
  explicit TWriteLockGuard(TMultiReadExclusiveWriteSynchronizer& Lock) : FLock(Lock) {
    FUndisturbed = FLock.BeginWrite();
  }
  ~TWriteLockGuard() { FLock.EndWrite(); }
  TWriteLockGuard(const TWriteLockGuard&) = delete;
  TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;
  // BeginWrite's answer: no other thread wrote while this one waited.
  bool Undisturbed() const { return FUndisturbed; }

 private:
  TMultiReadExclusiveWriteSynchronizer& FLock;
  bool FUndisturbed = true;
};

}  // namespace host
