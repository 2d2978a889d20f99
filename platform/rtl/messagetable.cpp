#include "platform/rtl/messagetable.h"

#include <mutex>

namespace host {

std::optional<std::string> TMessageTexts::Find(std::uint16_t Id) const {
  std::shared_lock guard(FLock);
  auto it = FTexts.find(Id);
  if (it == FTexts.end()) return std::nullopt;
  return it->second;
}

void TMessageTexts::Set(std::uint16_t Id, std::string Text) {
  std::unique_lock guard(FLock);
  FTexts[Id] = std::move(Text);
}

void TMessageTexts::Reset(std::uint16_t Id) {
  std::unique_lock guard(FLock);
  FTexts.erase(Id);
}

void TMessageTexts::ResetAll() {
  std::unique_lock guard(FLock);
  FTexts.clear();
}

}  // namespace host
