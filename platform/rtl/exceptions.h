// Exception classes of the run-time library.
//
// An exception is an ordinary object: it may be created without being thrown, handed to an
// event, given a new message and thrown later as its own dynamic class (Raise), or copied
// (Clone). Every class of the hierarchy therefore overrides Clone and Raise; the macro
// HOST_EXCEPTION_CLASS declares a class that adds no members of its own.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace host {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message = {}) : FMessage(std::move(message)) {}
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  ~Exception() override = default;

  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  int HelpContext() const noexcept { return FHelpContext; }
  void SetHelpContext(int context) noexcept { FHelpContext = context; }

  const char* what() const noexcept override { return FMessage.c_str(); }

  // A copy of the same dynamic class.
  virtual std::unique_ptr<Exception> Clone() const { return std::make_unique<Exception>(*this); }
  // Throws a copy of this object as its own dynamic class.
  [[noreturn]] virtual void Raise() const { throw Exception(*this); }

 private:
  std::string FMessage;
  int FHelpContext = 0;
};

#define HOST_EXCEPTION_CLASS(Name, Base)                                                   \
  class Name : public Base {                                                               \
   public:                                                                                 \
    using Base::Base;                                                                      \
    std::unique_ptr<::host::Exception> Clone() const override {                            \
      return std::make_unique<Name>(*this);                                                \
    }                                                                                      \
    [[noreturn]] void Raise() const override { throw Name(*this); }                        \
  }

// Silent exception: unwinds without a message being shown (see Abort).
HOST_EXCEPTION_CLASS(EAbort, Exception);
HOST_EXCEPTION_CLASS(EListError, Exception);
HOST_EXCEPTION_CLASS(EStringListError, Exception);
HOST_EXCEPTION_CLASS(EBitsError, Exception);
HOST_EXCEPTION_CLASS(EInvalidCast, Exception);
HOST_EXCEPTION_CLASS(EInvalidOperation, Exception);
HOST_EXCEPTION_CLASS(EInvalidPointer, Exception);
HOST_EXCEPTION_CLASS(EConvertError, Exception);
HOST_EXCEPTION_CLASS(EOutOfMemory, Exception);
HOST_EXCEPTION_CLASS(EInOutError, Exception);
HOST_EXCEPTION_CLASS(EComponentError, Exception);
HOST_EXCEPTION_CLASS(EStreamError, Exception);
HOST_EXCEPTION_CLASS(EFCreateError, EStreamError);
HOST_EXCEPTION_CLASS(EFOpenError, EStreamError);
HOST_EXCEPTION_CLASS(EReadError, EStreamError);
HOST_EXCEPTION_CLASS(EWriteError, EStreamError);
HOST_EXCEPTION_CLASS(EVariantError, Exception);
HOST_EXCEPTION_CLASS(EVariantTypeCastError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantOverflowError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantInvalidOpError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantBadIndexError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantArrayBoundsError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantBadVarTypeError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantArrayCreateError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantNotAnArrayError, EVariantError);
HOST_EXCEPTION_CLASS(EVariantInvalidArgError, EVariantError);
HOST_EXCEPTION_CLASS(EMathError, Exception);
HOST_EXCEPTION_CLASS(EOverflow, EMathError);
HOST_EXCEPTION_CLASS(EZeroDivide, EMathError);
HOST_EXCEPTION_CLASS(EInvalidOp, EMathError);
HOST_EXCEPTION_CLASS(EIntError, Exception);
HOST_EXCEPTION_CLASS(EIntOverflow, EIntError);
HOST_EXCEPTION_CLASS(EDivByZero, EIntError);
HOST_EXCEPTION_CLASS(ERangeError, EIntError);
HOST_EXCEPTION_CLASS(EBcdException, Exception);
HOST_EXCEPTION_CLASS(EBcdOverflowException, EBcdException);

// Operating-system failure with the system's error code.
class EOSError : public Exception {
 public:
  explicit EOSError(std::string message = {}, int errorCode = 0)
      : Exception(std::move(message)), FErrorCode(errorCode) {}
  int ErrorCode() const noexcept { return FErrorCode; }
  std::unique_ptr<Exception> Clone() const override { return std::make_unique<EOSError>(*this); }
  [[noreturn]] void Raise() const override { throw EOSError(*this); }

 private:
  int FErrorCode;
};

// Throws EAbort: leaves the current operation without an error being reported.
[[noreturn]] void Abort();

}  // namespace host
