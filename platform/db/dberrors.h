// Exceptions of the dataset framework.
#pragma once

#include <memory>

#include "platform/rtl/exceptions.h"

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

}  // namespace host
