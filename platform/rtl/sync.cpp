#include "platform/rtl/sync.h"

#include "platform/rtl/classesconsts.h"

namespace host {

// ---------------------------------------------------------------------------------------------
// TCriticalSection

void TCriticalSection::Enter() {
  FMutex.lock();
  FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ++FDepth;
}

bool TCriticalSection::TryEnter() {
  if (!FMutex.try_lock()) return false;
  FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ++FDepth;
  return true;
}

void TCriticalSection::Leave() {
  // Unlocking a mutex this thread does not hold is undefined: refuse it instead.
  if (FOwner.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    throw EInvalidOperation(rtlconsts::SCriticalSectionNotOwned);
  }
  if (--FDepth == 0) FOwner.store(std::thread::id(), std::memory_order_relaxed);
  FMutex.unlock();
}

// ---------------------------------------------------------------------------------------------
// TMultiReadExclusiveWriteSynchronizer

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(FLock);
  auto it = FReadDepth.find(me);
  if (it != FReadDepth.end()) {
    // Nested: never wait, or a waiting writer would deadlock with this reader.
    ++it->second;
    return;
  }
  if (FWriter == me) {
    // The writer reads too; its read locks count only once it stops writing.
    FReadDepth[me] = 1;
    return;
  }
  FChanged.wait(guard, [&] { return FWriter == std::thread::id() && FWaitingWriters == 0; });
  FReadDepth[me] = 1;
  ++FActiveReaders;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(FLock);
  auto it = FReadDepth.find(me);
  if (it == FReadDepth.end()) throw EInvalidOperation(rtlconsts::SEndReadWithoutBegin);
  if (--it->second > 0) return;
  FReadDepth.erase(it);
  if (FWriter != me) {
    --FActiveReaders;
    if (FActiveReaders == 0) FChanged.notify_all();
  }
}

bool TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(FLock);
  if (FWriter == me) {
    ++FWriteDepth;
    return true;
  }
  const std::uint64_t sequence = FWriteSequence;
  if (FReadDepth.count(me) != 0) {
    // Promotion: this thread's reads stop counting, so that another promoting reader and this
    // one wait for each other's reads no longer than one write.
    --FActiveReaders;
    if (FActiveReaders == 0) FChanged.notify_all();
  }
  ++FWaitingWriters;
  FChanged.wait(guard, [&] { return FWriter == std::thread::id() && FActiveReaders == 0; });
  --FWaitingWriters;
  FWriter = me;
  FWriteDepth = 1;
  ++FWriteSequence;
  return FWriteSequence == sequence + 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(FLock);
  if (FWriter != me) throw EInvalidOperation(rtlconsts::SEndWriteNotWriter);
  if (--FWriteDepth > 0) return;
  FWriter = std::thread::id();
  if (FReadDepth.count(me) != 0) ++FActiveReaders;
  FChanged.notify_all();
}

int TMultiReadExclusiveWriteSynchronizer::ActiveReaders() {
  std::lock_guard<std::mutex> guard(FLock);
  return FActiveReaders;
}

bool TMultiReadExclusiveWriteSynchronizer::IsWriter() {
  std::lock_guard<std::mutex> guard(FLock);
  return FWriter == std::this_thread::get_id();
}

}  // namespace host
