// Exceptions of the dataset framework.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {

// Base of every dataset and database error.
HOST_EXCEPTION_CLASS(EDatabaseError, Exception);

// An error raised while applying one update; carries the original exception (owned).
class EUpdateError : public EDatabaseError {
 public:
  EUpdateError(std::string message, std::string context, int errorCode, int previousError,
               std::shared_ptr<Exception> originalException)
      : EDatabaseError(std::move(message)),
        FContext(std::move(context)),
        FErrorCode(errorCode),
        FPreviousError(previousError),
        FOriginalException(std::move(originalException)) {}

  const std::string& Context() const { return FContext; }
  int ErrorCode() const { return FErrorCode; }
  int PreviousError() const { return FPreviousError; }
  Exception* OriginalException() const { return FOriginalException.get(); }

  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EUpdateError>(*this); }
  [[noreturn]] void Raise() const override { throw EUpdateError(*this); }

 private:
  std::string FContext;
  int FErrorCode;
  int FPreviousError;
  std::shared_ptr<Exception> FOriginalException;
};

class TComponent;

// Raises EDatabaseError. When Component is given and has a name, the message reads
// "Name: Message", so that the user can tell which dataset or field complained.
[[noreturn]] void DatabaseError(const std::string& Message, const TComponent* Component = nullptr);
[[noreturn]] void DatabaseErrorFmt(const std::string& Message, std::initializer_list<FormatArg> Args,
                                   const TComponent* Component = nullptr);

}  // namespace host
