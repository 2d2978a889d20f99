// Exception classes shared by all packages, and the helpers that complete a message with the
// names of the components involved.
//
// A component error reads "<message>. Component is Table1, owned by Form1": the message, the
// separator chosen by maybePeriod, and the component clause of nameAndOwnerName.
//
// Exceptions are ordinary objects (created, handed around, re-raised as their own class), so
// each class overrides Clone and Raise. An engine error owns its TKxDBError entries; copying
// the exception copies the entries.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/dberrors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/strings.h"

namespace kx {

// ". " when `text` needs a separator before another sentence is appended: it has at least
// two characters and ends neither with "." nor with ". ". Otherwise "".
std::string maybePeriod(std::string_view text);

// "Component is X, owned by Y", "Component is X", "Cannot name the component" (unnamed
// component) or "" (no component).
std::string nameAndOwnerName(const host::TComponent* component);

// Base of every exception of the library. When the owner is a component, the message is
// completed with the component clause.
class EKxDatabaseError : public host::EDatabaseError {
 public:
  EKxDatabaseError(host::TPersistent* owner, const std::string& message);

  // The object on whose behalf the error was raised; not owned, may be null.
  host::TPersistent* GetOwner() const noexcept { return FOwner; }

  std::unique_ptr<host::Exception> Clone() const override;
  [[noreturn]] void Raise() const override;

 private:
  host::TPersistent* FOwner;
};

// Raised by the engine datasets when no cursor could be created for a statement or table.
class ENoResultSet : public host::EDatabaseError {
 public:
  using host::EDatabaseError::EDatabaseError;
  std::unique_ptr<host::Exception> Clone() const override { return std::make_unique<ENoResultSet>(*this); }
  [[noreturn]] void Raise() const override { throw ENoResultSet(*this); }
};

class EKxDBEngineError;

// One diagnostic of an engine error. Constructing an entry with an owner appends it to the
// owner's list, which owns it from then on:
//     new TKxDBError(error, code, text);
// Engine packages derive entries with fields of their own; such a class overrides CloneEntry
// so that copies of the exception keep the entries' dynamic class.
class TKxDBError {
 public:
  TKxDBError(EKxDBEngineError* owner, std::int32_t nativeError, std::string_view message);
  // A null message is read as empty.
  TKxDBError(EKxDBEngineError* owner, std::int32_t nativeError, const char* message);
  TKxDBError& operator=(const TKxDBError&) = delete;
  virtual ~TKxDBError();

  std::int32_t GetNativeError() const noexcept { return FNativeError; }
  // The engine's text (8-bit, system code page).
  const host::AnsiString& GetMessage() const noexcept { return FMessage; }

  // A copy that belongs to no exception yet.
  virtual std::unique_ptr<TKxDBError> CloneEntry() const;

 protected:
  // Copies the fields only; the copy belongs to no exception until one adopts it.
  TKxDBError(const TKxDBError& other);

 private:
  friend class EKxDBEngineError;

  EKxDBEngineError* FOwner = nullptr;  // the exception whose list holds this entry
  std::int32_t FNativeError;
  host::AnsiString FMessage;
};

// An engine failure with the engine's diagnostics, first reported first.
class EKxDBEngineError : public EKxDatabaseError {
 public:
  // The message is the component clause alone until a descendant replaces it.
  explicit EKxDBEngineError(host::TComponent* owner);
  EKxDBEngineError(const EKxDBEngineError& other);
  EKxDBEngineError(EKxDBEngineError&& other) noexcept;
  EKxDBEngineError& operator=(EKxDBEngineError other) noexcept;
  ~EKxDBEngineError() override;

  int GetErrorCount() const noexcept { return static_cast<int>(FErrors.size()); }
  // The entry at `index` (0 is the first added); an index outside the list raises EListError.
  TKxDBError& GetErrors(int index) const;

  std::unique_ptr<host::Exception> Clone() const override;
  [[noreturn]] void Raise() const override;

 private:
  friend class TKxDBError;

  void Adopt(std::unique_ptr<TKxDBError> entry);
  void SwapErrors(EKxDBEngineError& other) noexcept;
  void FreeErrors() noexcept;

  std::vector<std::unique_ptr<TKxDBError>> FErrors;
};

// Which administration interface failed.
enum TKxDbAdminEngineErrorTypes {
  dbmeLocal,     // the record-level engine's named-database interface
  dbmeMGI,       // the administration library
  dbmeLocalSql,  // the ODBC installer functions
};

class EKxDbAdminEngineError : public EKxDBEngineError {
 public:
  // No entries, ErrorType dbmeLocal.
  explicit EKxDbAdminEngineError(host::TComponent* owner);
  // One entry (errorCode, message). An empty message becomes "MGI error <code>". The message
  // of the exception is that text alone, without the component clause.
  EKxDbAdminEngineError(host::TComponent* owner, TKxDbAdminEngineErrorTypes errorType,
                        std::uint32_t errorCode, const std::string& message);

  TKxDbAdminEngineErrorTypes GetErrorType() const noexcept { return FErrorType; }

  std::unique_ptr<host::Exception> Clone() const override;
  [[noreturn]] void Raise() const override;

 private:
  TKxDbAdminEngineErrorTypes FErrorType = dbmeLocal;
};

// Raises EKxDatabaseError for `owner`. A named `component` prefixes the message with
// "<name>: ".
[[noreturn]] void KxDatabaseError(host::TComponent* owner, const std::string& message,
                                  host::TComponent* component = nullptr);
// The same with `format` formatted by host::Format.
[[noreturn]] void KxDatabaseErrorFmt(host::TComponent* owner, const std::string& format,
                                     std::span<const host::FormatArg> args,
                                     host::TComponent* component = nullptr);
[[noreturn]] void KxDatabaseErrorFmt(host::TComponent* owner, const std::string& format,
                                     std::initializer_list<host::FormatArg> args,
                                     host::TComponent* component = nullptr);

}  // namespace kx
