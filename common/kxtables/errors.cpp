#include "common/kxtables/errors.h"

#include <algorithm>
#include <cassert>
#include <typeinfo>
#include <utility>

#include "common/kxconst.h"
#include "platform/rtl/codepage.h"

namespace kx {

namespace {

// Characters, not bytes: a single multi-byte character needs no separator either.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool HasName(const host::TComponent* component) {
  return component != nullptr && !component->Name().empty();
}

}  // namespace

std::string maybePeriod(std::string_view text) {
  if (CharacterCount(text) < 2) return {};
  if (text.ends_with(".") || text.ends_with(". ")) return {};
  return ". ";
}

std::string nameAndOwnerName(const host::TComponent* component) {
  if (component == nullptr) return {};
  if (component->Name().empty()) return SDynamicallyCreatedNoOwner.Text();
  std::string clause = host::Format(SErrCompName.Text(), {host::FormatArg(component->Name())});
  const host::TComponent* owner = component->Owner();
  if (HasName(owner)) {
    clause += ", ";
    clause += host::Format(SErrCompOwnerName.Text(), {host::FormatArg(owner->Name())});
  }
  return clause;
}

// ---- EKxDatabaseError ---------------------------------------------------------------------

namespace {

std::string WithComponentClause(host::TPersistent* owner, const std::string& message) {
  auto* component = dynamic_cast<host::TComponent*>(owner);
  if (component == nullptr) return message;
  return message + maybePeriod(message) + nameAndOwnerName(component);
}

}  // namespace

EKxDatabaseError::EKxDatabaseError(host::TPersistent* owner, const std::string& message)
    : host::EDatabaseError(WithComponentClause(owner, message)), FOwner(owner) {}

std::unique_ptr<host::Exception> EKxDatabaseError::Clone() const {
  return std::make_unique<EKxDatabaseError>(*this);
}

void EKxDatabaseError::Raise() const { throw EKxDatabaseError(*this); }

// ---- TKxDBError ---------------------------------------------------------------------------

TKxDBError::TKxDBError(EKxDBEngineError* owner, std::int32_t nativeError, std::string_view message)
    : FNativeError(nativeError), FMessage(message) {
  if (owner != nullptr) {
    owner->FErrors.emplace_back(this);
    FOwner = owner;
  }
}

TKxDBError::TKxDBError(EKxDBEngineError* owner, std::int32_t nativeError, const char* message)
    : TKxDBError(owner, nativeError, message != nullptr ? std::string_view(message) : std::string_view()) {}

TKxDBError::TKxDBError(const TKxDBError& other)
    : FNativeError(other.FNativeError), FMessage(other.FMessage) {}

TKxDBError::~TKxDBError() {
  // Still listed: a descendant's constructor failed after the base appended the entry, or
  // the entry is deleted directly. Either way the list must stop owning it.
  if (FOwner != nullptr) {
    auto& list = FOwner->FErrors;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& p) { return p.get() == this; });
    if (it != list.end()) {
      it->release();
      list.erase(it);
    }
  }
}

std::unique_ptr<TKxDBError> TKxDBError::CloneEntry() const {
  return std::unique_ptr<TKxDBError>(new TKxDBError(*this));
}

// ---- EKxDBEngineError ---------------------------------------------------------------------

EKxDBEngineError::EKxDBEngineError(host::TComponent* owner) : EKxDatabaseError(owner, std::string()) {}

EKxDBEngineError::EKxDBEngineError(const EKxDBEngineError& other) : EKxDatabaseError(other) {
  try {
    FErrors.reserve(other.FErrors.size());
    for (const auto& entry : other.FErrors) {
      std::unique_ptr<TKxDBError> copy = entry->CloneEntry();
      // A descendant entry that does not override CloneEntry would be sliced here.
      [[maybe_unused]] const TKxDBError& copied = *copy;
      [[maybe_unused]] const TKxDBError& original = *entry;
      assert(typeid(copied) == typeid(original));
      Adopt(std::move(copy));
    }
  } catch (...) {
    FreeErrors();
    throw;
  }
}

EKxDBEngineError::EKxDBEngineError(EKxDBEngineError&& other) noexcept
    : EKxDatabaseError(std::move(static_cast<EKxDatabaseError&>(other))) {
  SwapErrors(other);
}

EKxDBEngineError& EKxDBEngineError::operator=(EKxDBEngineError other) noexcept {
  static_cast<EKxDatabaseError&>(*this) = std::move(static_cast<EKxDatabaseError&>(other));
  SwapErrors(other);
  return *this;
}

EKxDBEngineError::~EKxDBEngineError() { FreeErrors(); }

void EKxDBEngineError::Adopt(std::unique_ptr<TKxDBError> entry) {
  FErrors.push_back(std::move(entry));
  FErrors.back()->FOwner = this;
}

void EKxDBEngineError::SwapErrors(EKxDBEngineError& other) noexcept {
  FErrors.swap(other.FErrors);
  for (auto& e : FErrors) e->FOwner = this;
  for (auto& e : other.FErrors) e->FOwner = &other;
}

void EKxDBEngineError::FreeErrors() noexcept {
  // Last added is freed first.
  while (!FErrors.empty()) {
    std::unique_ptr<TKxDBError> entry = std::move(FErrors.back());
    FErrors.pop_back();
    entry->FOwner = nullptr;
  }
}

TKxDBError& EKxDBEngineError::GetErrors(int index) const {
  if (index < 0 || index >= GetErrorCount()) {
    throw host::EListError(host::Format("List index out of bounds (%d)", {host::FormatArg(index)}));
  }
  return *FErrors[static_cast<std::size_t>(index)];
}

std::unique_ptr<host::Exception> EKxDBEngineError::Clone() const {
  return std::make_unique<EKxDBEngineError>(*this);
}

void EKxDBEngineError::Raise() const { throw EKxDBEngineError(*this); }

// ---- EKxDbAdminEngineError ----------------------------------------------------------------

EKxDbAdminEngineError::EKxDbAdminEngineError(host::TComponent* owner) : EKxDBEngineError(owner) {}

EKxDbAdminEngineError::EKxDbAdminEngineError(host::TComponent* owner,
                                             TKxDbAdminEngineErrorTypes errorType,
                                             std::uint32_t errorCode, const std::string& message)
    : EKxDBEngineError(owner), FErrorType(errorType) {
  std::string text = message;
  if (text.empty()) text = host::Format(SKxMGIError.Text(), {host::FormatArg(errorCode)});
  const host::AnsiString engineText = host::ToSystemCodePage(text);
  new TKxDBError(this, static_cast<std::int32_t>(errorCode), std::string_view(engineText));
  SetMessage(host::FromSystemCodePage(engineText));
}

std::unique_ptr<host::Exception> EKxDbAdminEngineError::Clone() const {
  return std::make_unique<EKxDbAdminEngineError>(*this);
}

void EKxDbAdminEngineError::Raise() const { throw EKxDbAdminEngineError(*this); }

// ---- helpers that raise -------------------------------------------------------------------

void KxDatabaseError(host::TComponent* owner, const std::string& message, host::TComponent* component) {
  if (HasName(component)) {
    throw EKxDatabaseError(owner, host::Format("%s: %s", {host::FormatArg(component->Name()),
                                                          host::FormatArg(message)}));
  }
  throw EKxDatabaseError(owner, message);
}

void KxDatabaseErrorFmt(host::TComponent* owner, const std::string& format,
                        std::span<const host::FormatArg> args, host::TComponent* component) {
  KxDatabaseError(owner, host::Format(format, args), component);
}

void KxDatabaseErrorFmt(host::TComponent* owner, const std::string& format,
                        std::initializer_list<host::FormatArg> args, host::TComponent* component) {
  KxDatabaseErrorFmt(owner, format, std::span<const host::FormatArg>(args.begin(), args.size()), component);
}

}  // namespace kx
