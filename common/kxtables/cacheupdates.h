// The cached-update entries of a dataset: one TRecCacheUpdateInfo per changed record, kept in
// a TRecCacheUpdateInfoList.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kx {

class TKxDataSet;

class TRecCacheUpdateInfo {
 public:
  virtual ~TRecCacheUpdateInfo() = default;
};

class TRecCacheUpdateInfoList {
 public:
  explicit TRecCacheUpdateInfoList(TKxDataSet* Owner) : FOwner(Owner) {}
  virtual ~TRecCacheUpdateInfoList() = default;

 private:
  std::vector<std::unique_ptr<TRecCacheUpdateInfo>> FList;
  TKxDataSet* FOwner;

 public:
  std::int32_t CurItem = -1;
};

}  // namespace kx
