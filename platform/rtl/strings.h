// Text in the run-time library.
//
// Framework text (String) and 8-bit engine text (AnsiString) are both std::string. Framework
// text is UTF-8; 8-bit engine text is in the system code page (the process locale's charset),
// converted at the engine boundaries through ToSystemCodePage/FromSystemCodePage.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace host {

using String = std::string;
using AnsiString = std::string;

// One argument of Format: an integer, a floating-point number, a text or a pointer.
class FormatArg {
 public:
  enum class Kind { Int, UInt, Float, Text, Pointer };

  FormatArg(int v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(long v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(long long v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(unsigned v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(unsigned long v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(unsigned long long v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
  FormatArg(const char* v) : FKind(Kind::Text), FText(v ? v : "") {}
  FormatArg(std::string_view v) : FKind(Kind::Text), FText(v) {}
  FormatArg(const std::string& v) : FKind(Kind::Text), FText(v) {}
  FormatArg(const void* v) : FKind(Kind::Pointer), FPointer(v) {}

  Kind GetKind() const { return FKind; }
  std::int64_t AsInt() const { return FInt; }
  std::uint64_t AsUInt() const { return FUInt; }
  double AsFloat() const { return FFloat; }
  std::string_view AsText() const { return FText; }
  const void* AsPointer() const { return FPointer; }

 private:
  Kind FKind;
  union {
    std::int64_t FInt;
    std::uint64_t FUInt;
    double FFloat;
    const void* FPointer;
  };
  std::string_view FText;
};

// Formats like the host's Format: %s %d %u %x %p %f %e %g %n %m with the index, width,
// left-justify and precision parts ("%.4d", "%-10s", "%0:s", "%*d" is not supported).
// A malformed format string, or an argument of the wrong kind or a missing argument,
// raises EConvertError.
String Format(std::string_view fmt, std::initializer_list<FormatArg> args);

}  // namespace host
