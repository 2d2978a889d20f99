// Variant: a value of one of the host's variant kinds, with its conversions, comparison, logic
// and arithmetic.
//
// Kinds held: Empty (unassigned), Null (no value), the integers (Smallint, Integer, ShortInt,
// Byte, Word, LongWord, Int64, UInt64), Single, Double, Currency, Date, Boolean, String (UTF-8,
// the one text kind), FMTBcd (a TBcd) and variant arrays (varArray | element kind).
// varOleStr, varUString and varStrArg are known codes, but text is always held as varString:
// converting to any of them gives a varString.
//
// Empty and Null differ: Empty converts to 0, "" or False; Null converts to nothing (the
// conversions raise EVariantTypeCastError), except VarToStr, which gives "". Arithmetic with a
// Null operand gives Null.
//
// Errors: a conversion that cannot be made raises EVariantTypeCastError ("Could not convert
// variant of type (String) into type (Integer)"); a value out of the target's range
// EVariantOverflowError; an operation the operands do not support EVariantInvalidOpError.
#pragma once

#include <compare>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/bcd.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"

namespace host {

using TVarType = std::uint16_t;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varDispatch = 0x0009;
inline constexpr TVarType varError = 0x000A;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varUnknown = 0x000D;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varUInt64 = 0x0015;
inline constexpr TVarType varStrArg = 0x0048;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varAny = 0x0101;
inline constexpr TVarType varUString = 0x0102;
// The BCD kind; a fixed code here (the host registers it at run time).
inline constexpr TVarType varFMTBcd = 0x0110;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;
inline constexpr TVarType varByRef = 0x4000;

class Variant {
 public:
  Variant();  // Empty
  Variant(bool v);
  Variant(signed char v);      // varShortInt
  Variant(unsigned char v);    // varByte
  Variant(short v);            // varSmallint
  Variant(unsigned short v);   // varWord
  Variant(int v);              // varInteger
  Variant(unsigned v);         // varLongWord
  Variant(long v);             // varInt64
  Variant(long long v);        // varInt64
  Variant(unsigned long v);    // varUInt64
  Variant(unsigned long long v);
  Variant(float v);            // varSingle
  Variant(double v);           // varDouble
  Variant(Currency v);
  Variant(TDateTime v);
  Variant(const TBcd& v);      // varFMTBcd
  Variant(char v);             // a one-character string
  Variant(const char* v);
  Variant(std::string_view v);
  Variant(const std::string& v);
  Variant(std::string&& v);

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  static Variant MakeNull();

  // The type code, with varArray for arrays.
  TVarType VType() const { return FType; }
  bool IsEmpty() const { return FType == varEmpty; }
  bool IsNull() const { return FType == varNull; }
  bool IsArray() const { return (FType & varArray) != 0; }

  // Unconverted reads for hot paths that have checked VType() first; any other kind gives a
  // meaningless value. RawInt: the integer kinds up to varInt64, and varCurrency's scaled
  // value (1.5 is 15000); RawReal: varSingle, varDouble, varDate; RawBoolean: varBoolean;
  // RawText: varString.
  std::int64_t RawInt() const noexcept { return FInt; }
  double RawReal() const noexcept { return FDouble; }
  bool RawBoolean() const noexcept { return FBool; }
  const std::string& RawText() const noexcept { return FText; }
  // Makes this Variant(v) in place; a text's storage is kept for later reuse.
  void SetBoolean(bool v) noexcept {
    if (FArray) {
      *this = Variant(v);
      return;
    }
    FText.clear();
    FType = varBoolean;
    FInt = 0;
    FBool = v;
  }

  // Conversions; see the header comment for errors.
  bool AsBoolean() const;
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  std::string AsString() const;
  TBcd AsBcd() const;

  // Variant arrays. Indices are those of the array's bounds; a wrong count of indices or an
  // index out of bounds raises EVariantBadIndexError, a variant that is not an array
  // EVariantNotAnArrayError.
  int DimCount() const;
  int LowBound(int dim) const;   // dim counts from 1
  int HighBound(int dim) const;
  Variant GetElement(std::initializer_list<int> indices) const;
  Variant GetElement(int index) const { return GetElement({index}); }
  // The value is converted to the array's element kind (unless that is varVariant).
  void PutElement(std::initializer_list<int> indices, const Variant& value);
  void PutElement(int index, const Variant& value) { PutElement({index}, value); }

  // Comparison: see VarCompareValue.
  friend bool operator==(const Variant& a, const Variant& b);
  friend bool operator<(const Variant& a, const Variant& b);
  friend bool operator>(const Variant& a, const Variant& b);
  friend bool operator<=(const Variant& a, const Variant& b);
  friend bool operator>=(const Variant& a, const Variant& b);

  // Arithmetic: see VarAdd and friends.
  friend Variant operator+(const Variant& a, const Variant& b);
  friend Variant operator-(const Variant& a, const Variant& b);
  friend Variant operator*(const Variant& a, const Variant& b);
  friend Variant operator/(const Variant& a, const Variant& b);
  friend Variant operator%(const Variant& a, const Variant& b);
  Variant operator-() const;
  // Logic: logical on Booleans, bitwise on integers.
  friend Variant operator&(const Variant& a, const Variant& b);
  friend Variant operator|(const Variant& a, const Variant& b);
  friend Variant operator^(const Variant& a, const Variant& b);
  Variant operator!() const;
  Variant operator~() const;

  // The elements and bounds of an array (opaque outside the implementation).
  struct ArrayData;

 private:
  friend struct VariantAccess;

  void Clear();
  void CopyFrom(const Variant& other);
  void MoveFrom(Variant& other) noexcept;

  TVarType FType = varEmpty;
  union {
    std::int64_t FInt = 0;
    std::uint64_t FUInt;
    double FDouble;  // Single values too, rounded to float precision
    bool FBool;
  };
  std::string FText;
  TBcd FBcd{};
  std::unique_ptr<ArrayData> FArray;
};

// Empty and Null.
Variant Unassigned();
Variant Null();

TVarType VarType(const Variant& v);
bool VarIsType(const Variant& v, TVarType type);
bool VarIsEmpty(const Variant& v);
bool VarIsNull(const Variant& v);
// Holds no value at all: Empty (the host also counts unassigned interfaces, which do not exist here).
bool VarIsClear(const Variant& v);
bool VarIsArray(const Variant& v);
bool VarIsStr(const Variant& v);
// Integers, floats, Currency and FMTBcd (not dates or Booleans).
bool VarIsNumeric(const Variant& v);
// Integers and Booleans.
bool VarIsOrdinal(const Variant& v);
bool VarIsFloat(const Variant& v);
// The type's name as the messages show it ("Integer", "String", "Array Variant").
std::string VarTypeAsText(TVarType type);

// The value as text; Null and Empty give "" (VarToStrDef: the fallback).
std::string VarToStr(const Variant& v);
std::string VarToStrDef(const Variant& v, std::string_view fallback);
TDateTime VarToDateTime(const Variant& v);
// The value converted to another kind (varArray types only between arrays of the same shape).
Variant VarAsType(const Variant& v, TVarType type);

enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };
// Numbers of any kind compare by value (exactly between integers, Currency and FMTBcd); texts
// by the user locale (case-sensitive); a text against a number or date is converted to the
// other's kind first; dates compare as numbers; Booleans as -1 / 0. Null equals only Null and
// is less than every other value; Empty compares as 0 or "". Arrays raise EVariantInvalidOpError.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
bool VarSameValue(const Variant& a, const Variant& b);

// Arithmetic. A Null operand gives Null; Empty counts as 0 (or "" beside a text).
//   integers: Integer while the result fits in 32 bits, else Int64; 64-bit overflow raises
//             EVariantOverflowError
//   Booleans count as -1 / 0
//   Currency with an integer or Currency: Currency, exact; with a float: Double
//   FMTBcd with any number: FMTBcd, exact
//   Date + number and Date - number: Date; Date - Date: Double
//   text + text: concatenation; text with a number: the text read as a number
// Division (/) is real division: Double (FMTBcd when either side is FMTBcd); by zero raises
// EZeroDivide. IntDiv and Mod are integer division and remainder; by zero raises EDivByZero.
Variant VarAdd(const Variant& a, const Variant& b);
Variant VarSub(const Variant& a, const Variant& b);
Variant VarMul(const Variant& a, const Variant& b);
Variant VarDiv(const Variant& a, const Variant& b);
Variant VarIntDiv(const Variant& a, const Variant& b);
Variant VarMod(const Variant& a, const Variant& b);
Variant VarNeg(const Variant& a);
Variant VarAnd(const Variant& a, const Variant& b);
Variant VarOr(const Variant& a, const Variant& b);
Variant VarXor(const Variant& a, const Variant& b);
Variant VarNot(const Variant& a);

// Variant arrays. bounds holds a low and a high bound per dimension (high may be low - 1 for an
// empty dimension); elementType is a simple kind or varVariant. Elements start as Empty
// (varVariant) or as the kind's zero. Bad bounds raise EVariantArrayCreateError.
Variant VarArrayCreate(std::initializer_list<int> bounds, TVarType elementType);
Variant VarArrayCreate(const std::vector<int>& bounds, TVarType elementType);
// A one-dimensional array of varVariant from 0 holding the values.
Variant VarArrayOf(std::initializer_list<Variant> values);
Variant VarArrayOf(const std::vector<Variant>& values);
int VarArrayDimCount(const Variant& v);
int VarArrayLowBound(const Variant& v, int dim);
int VarArrayHighBound(const Variant& v, int dim);
Variant VarArrayGet(const Variant& v, std::initializer_list<int> indices);
void VarArrayPut(Variant& v, const Variant& value, std::initializer_list<int> indices);

}  // namespace host
