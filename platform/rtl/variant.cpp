#include "platform/rtl/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {

// ---- arrays --------------------------------------------------------------------------------

struct Variant::ArrayData {
  TVarType ElementType = varVariant;
  std::vector<std::pair<int, int>> Bounds;  // low, high per dimension
  std::vector<Variant> Items;
};

struct VariantAccess {
  static const Variant::ArrayData* Array(const Variant& v) { return v.FArray.get(); }
  static Variant::ArrayData* Array(Variant& v) { return v.FArray.get(); }
  static Variant MakeArray(std::unique_ptr<Variant::ArrayData> data) {
    Variant v;
    v.FType = TVarType(varArray | data->ElementType);
    v.FArray = std::move(data);
    return v;
  }
  static std::int64_t Int(const Variant& v) { return v.FInt; }
  static std::uint64_t UInt(const Variant& v) { return v.FUInt; }
  static double Real(const Variant& v) { return v.FDouble; }
  static bool Bool(const Variant& v) { return v.FBool; }
  static const std::string& Text(const Variant& v) { return v.FText; }
  static const TBcd& Bcd(const Variant& v) { return v.FBcd; }
  static Variant OfType(TVarType type, std::int64_t value) {
    Variant v;
    v.FType = type;
    v.FInt = value;
    return v;
  }
  static Variant Single(double value) {
    Variant v;
    v.FType = varSingle;
    v.FDouble = double(float(value));
    return v;
  }
};

namespace {

using A = VariantAccess;

// The broad classes the conversions and operators work on.
enum class Cat { Empty, Null, Int, UInt, Real, Currency, Date, Bool, String, Bcd, Array, Other };

Cat CatOf(TVarType t) {
  if (t & varArray) return Cat::Array;
  switch (t) {
    case varEmpty: return Cat::Empty;
    case varNull: return Cat::Null;
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return Cat::Int;
    case varUInt64: return Cat::UInt;
    case varSingle:
    case varDouble: return Cat::Real;
    case varCurrency: return Cat::Currency;
    case varDate: return Cat::Date;
    case varBoolean: return Cat::Bool;
    case varString: return Cat::String;
    case varFMTBcd: return Cat::Bcd;
    default: return Cat::Other;
  }
}

Cat CatOf(const Variant& v) { return CatOf(v.VType()); }

// Integer kinds of at most 32 bits, whose arithmetic stays Integer while it fits.
bool IsSmallInt(TVarType t) {
  return t == varSmallint || t == varInteger || t == varShortInt || t == varByte || t == varWord ||
         t == varBoolean || t == varEmpty;
}

[[noreturn]] void CastError(TVarType from, TVarType to) {
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(from) + ") into type (" +
                              VarTypeAsText(to) + ")");
}

[[noreturn]] void RangeError(TVarType from, TVarType to) {
  throw EVariantOverflowError("Range check error converting variant of type (" + VarTypeAsText(from) +
                              ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void Overflow() { throw EVariantOverflowError("Variant overflow"); }

[[noreturn]] void InvalidOp(const Variant& a, const char* op, const Variant& b) {
  throw EVariantInvalidOpError("Invalid variant operation: (" + VarTypeAsText(a.VType()) + ") " + op + " (" +
                               VarTypeAsText(b.VType()) + ")");
}

[[noreturn]] void InvalidOp(const char* op, const Variant& a) {
  throw EVariantInvalidOpError(std::string("Invalid variant operation: ") + op + " (" + VarTypeAsText(a.VType()) +
                               ")");
}

bool RealToInt64(double d, std::int64_t& out) {
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
  double r = std::nearbyint(d);  // a half to even
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  out = static_cast<std::int64_t>(r);
  return true;
}

// The value as a 64-bit integer for a conversion to `target` (used in messages).
std::int64_t ToInt64(const Variant& v, TVarType target) {
  switch (CatOf(v)) {
    case Cat::Empty: return 0;
    case Cat::Int: return A::Int(v);
    case Cat::UInt:
      if (A::UInt(v) > std::uint64_t(INT64_MAX)) RangeError(v.VType(), target);
      return std::int64_t(A::UInt(v));
    case Cat::Real:
    case Cat::Date: {
      std::int64_t out;
      if (!RealToInt64(A::Real(v), out)) RangeError(v.VType(), target);
      return out;
    }
    case Cat::Currency: return Currency::FromRaw(A::Int(v)).Round();
    case Cat::Bool: return A::Bool(v) ? -1 : 0;
    case Cat::String: {
      std::int64_t i;
      if (TryStrToInt64(Trim(A::Text(v)), i)) return i;
      double d;
      if (TryStrToFloat(A::Text(v), d)) {
        if (!RealToInt64(d, i)) RangeError(v.VType(), target);
        return i;
      }
      CastError(v.VType(), target);
    }
    case Cat::Bcd:
      try {
        return BcdToInt64(A::Bcd(v));
      } catch (const EBcdOverflowException&) {
        RangeError(v.VType(), target);
      }
    default: CastError(v.VType(), target);
  }
}

std::uint64_t ToUInt64(const Variant& v) {
  if (CatOf(v) == Cat::UInt) return A::UInt(v);
  if (CatOf(v) == Cat::Real && A::Real(v) >= 9223372036854775808.0) {
    double r = std::nearbyint(A::Real(v));
    if (r >= 18446744073709551616.0) RangeError(v.VType(), varUInt64);
    return static_cast<std::uint64_t>(r);
  }
  if (CatOf(v) == Cat::String) {
    std::uint64_t u;
    std::string t = Trim(A::Text(v));
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), u);
    if (ec == std::errc() && end == t.data() + t.size() && !t.empty()) return u;
  }
  std::int64_t i = ToInt64(v, varUInt64);
  if (i < 0) RangeError(v.VType(), varUInt64);
  return std::uint64_t(i);
}

double ToDouble(const Variant& v, TVarType target) {
  switch (CatOf(v)) {
    case Cat::Empty: return 0;
    case Cat::Int: return double(A::Int(v));
    case Cat::UInt: return double(A::UInt(v));
    case Cat::Real:
    case Cat::Date: return A::Real(v);
    case Cat::Currency: return Currency::FromRaw(A::Int(v)).ToDouble();
    case Cat::Bool: return A::Bool(v) ? -1 : 0;
    case Cat::String: {
      double d;
      if (TryStrToFloat(A::Text(v), d)) return d;
      CastError(v.VType(), target);
    }
    case Cat::Bcd: return BcdToDouble(A::Bcd(v));
    default: CastError(v.VType(), target);
  }
}

Currency ToCurrency(const Variant& v) {
  switch (CatOf(v)) {
    case Cat::Empty: return Currency();
    case Cat::Currency: return Currency::FromRaw(A::Int(v));
    case Cat::Bool: return Currency::FromInt(A::Bool(v) ? -1 : 0);
    case Cat::Int:
      if (A::Int(v) > 922337203685477LL || A::Int(v) < -922337203685477LL) RangeError(v.VType(), varCurrency);
      return Currency::FromInt(A::Int(v));
    case Cat::UInt:
      if (A::UInt(v) > 922337203685477ULL) RangeError(v.VType(), varCurrency);
      return Currency::FromInt(std::int64_t(A::UInt(v)));
    case Cat::Real:
    case Cat::Date:
      try {
        return Currency::FromDouble(A::Real(v));
      } catch (const EOverflow&) {
        RangeError(v.VType(), varCurrency);
      }
    case Cat::String: {
      Currency c;
      if (TryStrToCurr(A::Text(v), c)) return c;
      CastError(v.VType(), varCurrency);
    }
    case Cat::Bcd: {
      Currency c;
      if (!BCDToCurr(A::Bcd(v), c)) RangeError(v.VType(), varCurrency);
      return c;
    }
    default: CastError(v.VType(), varCurrency);
  }
}

TBcd ToBcd(const Variant& v) {
  TFormatSettings plain;
  switch (CatOf(v)) {
    case Cat::Empty: return IntegerToBcd(0);
    case Cat::Bcd: return A::Bcd(v);
    case Cat::Int: return IntegerToBcd(A::Int(v));
    case Cat::UInt: return StrToBcd(std::to_string(A::UInt(v)), plain);
    case Cat::Bool: return IntegerToBcd(A::Bool(v) ? -1 : 0);
    case Cat::Real:
    case Cat::Date:
      if (!std::isfinite(A::Real(v))) RangeError(v.VType(), varFMTBcd);
      return DoubleToBcd(A::Real(v));
    case Cat::Currency: return StrToBcd(CurrToStr(Currency::FromRaw(A::Int(v)), plain), plain);
    case Cat::String: {
      TBcd b{};
      if (TryStrToBcd(A::Text(v), b)) return b;
      CastError(v.VType(), varFMTBcd);
    }
    default: CastError(v.VType(), varFMTBcd);
  }
}

bool ToBoolean(const Variant& v) {
  switch (CatOf(v)) {
    case Cat::Empty: return false;
    case Cat::Bool: return A::Bool(v);
    case Cat::Int:
    case Cat::Currency: return A::Int(v) != 0;
    case Cat::UInt: return A::UInt(v) != 0;
    case Cat::Real:
    case Cat::Date: return A::Real(v) != 0;
    case Cat::String: {
      bool b;
      if (TryStrToBool(A::Text(v), b)) return b;
      CastError(v.VType(), varBoolean);
    }
    case Cat::Bcd: return BcdPrecision(A::Bcd(v)) != 0;
    default: CastError(v.VType(), varBoolean);
  }
}

TDateTime ToDate(const Variant& v) {
  if (CatOf(v) == Cat::String) {
    TDateTime d;
    if (TryStrToDateTime(A::Text(v), d)) return d;
    CastError(v.VType(), varDate);
  }
  double d = ToDouble(v, varDate);
  if (!std::isfinite(d)) RangeError(v.VType(), varDate);
  return TDateTime(d);
}

std::string ToText(const Variant& v) {
  switch (CatOf(v)) {
    case Cat::Empty: return {};
    case Cat::String: return A::Text(v);
    case Cat::Int: return IntToStr(A::Int(v));
    case Cat::UInt: return UIntToStr(A::UInt(v));
    case Cat::Real:
      return v.VType() == varSingle ? FloatToStrF(A::Real(v), TFloatFormat::ffGeneral, 7, 0) : FloatToStr(A::Real(v));
    case Cat::Currency: return CurrToStr(Currency::FromRaw(A::Int(v)));
    case Cat::Date: return DateTimeToStr(TDateTime(A::Real(v)));
    case Cat::Bool: return BoolToStr(A::Bool(v), true);
    case Cat::Bcd: return BcdToStr(A::Bcd(v));
    default: CastError(v.VType(), varString);
  }
}

// Integer conversion with the range of the target kind.
Variant ToIntegerKind(const Variant& v, TVarType target) {
  if (target == varUInt64) return Variant(static_cast<unsigned long long>(ToUInt64(v)));
  std::int64_t i = ToInt64(v, target);
  std::int64_t lo = INT64_MIN, hi = INT64_MAX;
  switch (target) {
    case varSmallint: lo = -32768; hi = 32767; break;
    case varInteger: lo = INT32_MIN; hi = INT32_MAX; break;
    case varShortInt: lo = -128; hi = 127; break;
    case varByte: lo = 0; hi = 255; break;
    case varWord: lo = 0; hi = 65535; break;
    case varLongWord: lo = 0; hi = 4294967295LL; break;
    default: break;
  }
  if (i < lo || i > hi) RangeError(v.VType(), target);
  return A::OfType(target, i);
}

const std::vector<std::pair<TVarType, const char*>>& TypeNames() {
  static const std::vector<std::pair<TVarType, const char*>> names = {
      {varEmpty, "Empty"},       {varNull, "Null"},       {varSmallint, "Smallint"}, {varInteger, "Integer"},
      {varSingle, "Single"},     {varDouble, "Double"},   {varCurrency, "Currency"}, {varDate, "Date"},
      {varOleStr, "OleStr"},     {varDispatch, "Dispatch"}, {varError, "Error"},   {varBoolean, "Boolean"},
      {varVariant, "Variant"},   {varUnknown, "Unknown"}, {varShortInt, "ShortInt"}, {varByte, "Byte"},
      {varWord, "Word"},         {varLongWord, "LongWord"}, {varInt64, "Int64"},   {varUInt64, "UInt64"},
      {varStrArg, "StrArg"},     {varString, "String"},   {varAny, "Any"},         {varUString, "UnicodeString"},
      {varFMTBcd, "FMTBcd"},
  };
  return names;
}

}  // namespace

std::string VarTypeAsText(TVarType type) {
  std::string prefix;
  if (type & varArray) prefix += "Array ";
  if (type & varByRef) prefix += "ByRef ";
  TVarType base = type & varTypeMask;
  for (const auto& [code, name] : TypeNames())
    if (code == base) return prefix + name;
  return prefix + "$" + IntToHex(base, 4);
}

// ---- construction --------------------------------------------------------------------------------

Variant::Variant() = default;
Variant::Variant(bool v) : FType(varBoolean) { FBool = v; }
Variant::Variant(signed char v) : FType(varShortInt) { FInt = v; }
Variant::Variant(unsigned char v) : FType(varByte) { FInt = v; }
Variant::Variant(short v) : FType(varSmallint) { FInt = v; }
Variant::Variant(unsigned short v) : FType(varWord) { FInt = v; }
Variant::Variant(int v) : FType(varInteger) { FInt = v; }
Variant::Variant(unsigned v) : FType(varLongWord) { FInt = v; }
Variant::Variant(long v) : FType(varInt64) { FInt = v; }
Variant::Variant(long long v) : FType(varInt64) { FInt = v; }
Variant::Variant(unsigned long v) : FType(varUInt64) { FUInt = v; }
Variant::Variant(unsigned long long v) : FType(varUInt64) { FUInt = v; }
Variant::Variant(float v) : FType(varSingle) { FDouble = v; }
Variant::Variant(double v) : FType(varDouble) { FDouble = v; }
Variant::Variant(Currency v) : FType(varCurrency) { FInt = v.Raw(); }
Variant::Variant(TDateTime v) : FType(varDate) { FDouble = v.Value(); }
Variant::Variant(const TBcd& v) : FType(varFMTBcd), FBcd(v) {
  if (!IsValidBcd(v)) throw EBcdException("Invalid BCD value");
}
Variant::Variant(char v) : FType(varString), FText(1, v) {}
Variant::Variant(const char* v) : FType(varString), FText(v ? v : "") {}
Variant::Variant(std::string_view v) : FType(varString), FText(v) {}
Variant::Variant(const std::string& v) : FType(varString), FText(v) {}
Variant::Variant(std::string&& v) : FType(varString), FText(std::move(v)) {}

Variant::Variant(const Variant& other) { CopyFrom(other); }
Variant::Variant(Variant&& other) noexcept { MoveFrom(other); }

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);  // the copy may throw; this stays as it was
    Clear();
    MoveFrom(copy);
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    Clear();
    MoveFrom(other);
  }
  return *this;
}

Variant::~Variant() = default;

void Variant::Clear() {
  FType = varEmpty;
  FInt = 0;
  FText.clear();
  FArray.reset();
}

void Variant::CopyFrom(const Variant& other) {
  FType = other.FType;
  FUInt = other.FUInt;
  FText = other.FText;
  FBcd = other.FBcd;
  if (other.FArray) FArray = std::make_unique<ArrayData>(*other.FArray);
}

void Variant::MoveFrom(Variant& other) noexcept {
  FType = other.FType;
  FUInt = other.FUInt;
  FText = std::move(other.FText);
  FBcd = other.FBcd;
  FArray = std::move(other.FArray);
  other.FType = varEmpty;
  other.FInt = 0;
  other.FText.clear();
}

Variant Variant::MakeNull() {
  Variant v;
  v.FType = varNull;
  return v;
}

Variant Unassigned() { return Variant(); }
Variant Null() { return Variant::MakeNull(); }

// ---- conversions -------------------------------------------------------------------------------

bool Variant::AsBoolean() const { return ToBoolean(*this); }

std::int32_t Variant::AsInteger() const {
  return static_cast<std::int32_t>(A::Int(ToIntegerKind(*this, varInteger)));
}

std::int64_t Variant::AsInt64() const {
  if (CatOf(*this) == Cat::Null) CastError(FType, varInt64);
  return ToInt64(*this, varInt64);
}

double Variant::AsDouble() const { return ToDouble(*this, varDouble); }
Currency Variant::AsCurrency() const { return ToCurrency(*this); }
TDateTime Variant::AsDateTime() const { return ToDate(*this); }
std::string Variant::AsString() const { return ToText(*this); }
TBcd Variant::AsBcd() const { return ToBcd(*this); }

TVarType VarType(const Variant& v) { return v.VType(); }
bool VarIsType(const Variant& v, TVarType type) { return v.VType() == type; }
bool VarIsEmpty(const Variant& v) { return v.VType() == varEmpty; }
bool VarIsNull(const Variant& v) { return v.VType() == varNull; }
bool VarIsClear(const Variant& v) { return v.VType() == varEmpty; }
bool VarIsArray(const Variant& v) { return v.IsArray(); }
bool VarIsStr(const Variant& v) { return CatOf(v) == Cat::String; }

bool VarIsNumeric(const Variant& v) {
  Cat c = CatOf(v);
  return c == Cat::Int || c == Cat::UInt || c == Cat::Real || c == Cat::Currency || c == Cat::Bcd;
}

bool VarIsOrdinal(const Variant& v) {
  Cat c = CatOf(v);
  return c == Cat::Int || c == Cat::UInt || c == Cat::Bool;
}

bool VarIsFloat(const Variant& v) { return CatOf(v) == Cat::Real; }

std::string VarToStr(const Variant& v) { return VarToStrDef(v, ""); }

std::string VarToStrDef(const Variant& v, std::string_view fallback) {
  if (v.IsNull() || v.IsEmpty()) return std::string(fallback);
  return ToText(v);
}

TDateTime VarToDateTime(const Variant& v) { return ToDate(v); }

Variant VarAsType(const Variant& v, TVarType type) {
  if (type & varByRef) throw EVariantInvalidArgError("Invalid argument");
  if (type & varArray) {
    const Variant::ArrayData* source = A::Array(v);
    if (source == nullptr) CastError(v.VType(), type);
    if (v.VType() == type) return v;
    TVarType element = type & varTypeMask;
    if (CatOf(element) == Cat::Other && element != varVariant) CastError(v.VType(), type);
    auto data = std::make_unique<Variant::ArrayData>();
    data->ElementType = element;
    data->Bounds = source->Bounds;
    data->Items.reserve(source->Items.size());
    for (const Variant& item : source->Items)
      data->Items.push_back(element == varVariant ? item : VarAsType(item, element));
    return A::MakeArray(std::move(data));
  }
  if (v.IsArray()) CastError(v.VType(), type);
  switch (type) {
    case varEmpty: return Variant();
    case varNull: return Null();
    case varVariant: return v;
    default: break;
  }
  if (v.IsNull()) CastError(varNull, type);
  switch (type) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varUInt64: return ToIntegerKind(v, type);
    case varSingle: {
      double d = ToDouble(v, type);
      if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max())) RangeError(v.VType(), type);
      return A::Single(d);
    }
    case varDouble: return Variant(ToDouble(v, type));
    case varCurrency: return Variant(ToCurrency(v));
    case varDate: return Variant(ToDate(v));
    case varBoolean: return Variant(ToBoolean(v));
    case varString:
    case varOleStr:
    case varUString:
    case varStrArg: return Variant(ToText(v));
    case varFMTBcd: return Variant(ToBcd(v));
    default: CastError(v.VType(), type);
  }
}

// ---- comparison --------------------------------------------------------------------------------

namespace {

TVariantRelationship FromOrder(int c) {
  return c < 0 ? TVariantRelationship::vrLessThan
               : (c > 0 ? TVariantRelationship::vrGreaterThan : TVariantRelationship::vrEqual);
}

TVariantRelationship CompareReals(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return TVariantRelationship::vrNotEqual;
  return FromOrder((x > y) - (x < y));
}

// A text beside a value of another kind is read as that kind.
Variant TextAs(const Variant& text, const Variant& other) {
  switch (CatOf(other)) {
    case Cat::Date: return Variant(ToDate(text));
    case Cat::Bool: return Variant(ToBoolean(text));
    case Cat::Bcd: return Variant(ToBcd(text));
    case Cat::Currency: {
      Currency c;
      if (TryStrToCurr(A::Text(text), c)) return Variant(c);
      break;
    }
    default: break;
  }
  std::int64_t i;
  if (TryStrToInt64(Trim(A::Text(text)), i)) return Variant(static_cast<long long>(i));
  return Variant(ToDouble(text, varDouble));
}

// Both are scalars other than Null and String.
TVariantRelationship CompareScalars(const Variant& a, const Variant& b) {
  Cat ca = CatOf(a), cb = CatOf(b);
  if (ca == Cat::Bool && cb == Cat::Bool) return FromOrder(int(A::Bool(a)) - int(A::Bool(b)));
  if (ca == Cat::Bcd || cb == Cat::Bcd) return FromOrder(BcdCompare(ToBcd(a), ToBcd(b)));
  if (ca == Cat::Real || ca == Cat::Date || cb == Cat::Real || cb == Cat::Date)
    return CompareReals(ToDouble(a, varDouble), ToDouble(b, varDouble));
  if (ca == Cat::Currency || cb == Cat::Currency) {
    // Scaled integers compare exactly.
    auto scaled = [](const Variant& v) -> __int128 {
      switch (CatOf(v)) {
        case Cat::Currency: return A::Int(v);
        case Cat::UInt: return (__int128)A::UInt(v) * Currency::Scale;
        case Cat::Bool: return A::Bool(v) ? -Currency::Scale : 0;
        default: return (__int128)A::Int(v) * Currency::Scale;
      }
    };
    __int128 x = scaled(a), y = scaled(b);
    return FromOrder((x > y) - (x < y));
  }
  auto wide = [](const Variant& v) -> __int128 {
    switch (CatOf(v)) {
      case Cat::UInt: return A::UInt(v);
      case Cat::Bool: return A::Bool(v) ? -1 : 0;
      default: return A::Int(v);  // integers; Empty holds 0
    }
  };
  __int128 x = wide(a), y = wide(b);
  return FromOrder((x > y) - (x < y));
}

}  // namespace

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
  Cat ca = CatOf(a), cb = CatOf(b);
  if (ca == Cat::Array || cb == Cat::Array || ca == Cat::Other || cb == Cat::Other) InvalidOp(a, "compare", b);
  if (ca == Cat::Null || cb == Cat::Null) {
    if (ca == cb) return TVariantRelationship::vrEqual;
    return ca == Cat::Null ? TVariantRelationship::vrLessThan : TVariantRelationship::vrGreaterThan;
  }
  if (ca == Cat::String && cb == Cat::String) return FromOrder(AnsiCompareStr(A::Text(a), A::Text(b)));
  if (ca == Cat::String) return cb == Cat::Empty ? FromOrder(A::Text(a).empty() ? 0 : 1) : CompareScalars(TextAs(a, b), b);
  if (cb == Cat::String) return ca == Cat::Empty ? FromOrder(A::Text(b).empty() ? 0 : -1) : CompareScalars(a, TextAs(b, a));
  return CompareScalars(a, b);
}

bool VarSameValue(const Variant& a, const Variant& b) {
  return VarCompareValue(a, b) == TVariantRelationship::vrEqual;
}

bool operator==(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == TVariantRelationship::vrEqual; }
bool operator<(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == TVariantRelationship::vrLessThan; }
bool operator>(const Variant& a, const Variant& b) {
  return VarCompareValue(a, b) == TVariantRelationship::vrGreaterThan;
}
bool operator<=(const Variant& a, const Variant& b) {
  TVariantRelationship r = VarCompareValue(a, b);
  return r == TVariantRelationship::vrEqual || r == TVariantRelationship::vrLessThan;
}
bool operator>=(const Variant& a, const Variant& b) {
  TVariantRelationship r = VarCompareValue(a, b);
  return r == TVariantRelationship::vrEqual || r == TVariantRelationship::vrGreaterThan;
}

// ---- arithmetic ----------------------------------------------------------------------------------

namespace {

enum class Op { Add, Sub, Mul, Div, IntDiv, Mod, And, Or, Xor };

const char* OpName(Op op) {
  switch (op) {
    case Op::Add: return "+";
    case Op::Sub: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::IntDiv: return "div";
    case Op::Mod: return "mod";
    case Op::And: return "and";
    case Op::Or: return "or";
    default: return "xor";
  }
}

// Integer result: Integer when both operands were small kinds and it fits, else Int64.
Variant IntegerResult(__int128 r, bool small) {
  if (r > INT64_MAX || r < INT64_MIN) Overflow();
  if (small && r >= INT32_MIN && r <= INT32_MAX) return Variant(int(r));
  return Variant(static_cast<long long>(r));
}

// The operand as a number for arithmetic: Booleans and Empty become integers, texts numbers.
Variant Numeric(const Variant& v, const Variant& other) {
  switch (CatOf(v)) {
    case Cat::Empty: return Variant(0);
    case Cat::Bool: return Variant(A::Bool(v) ? -1 : 0);
    case Cat::String: {
      Cat co = CatOf(other);
      if (co == Cat::Date || co == Cat::Currency || co == Cat::Bcd) return TextAs(v, other);
      return Variant(ToDouble(v, varDouble));
    }
    default: return v;
  }
}

__int128 WideInt(const Variant& v) {
  return CatOf(v) == Cat::UInt ? (__int128)A::UInt(v) : (__int128)A::Int(v);
}

Variant Arithmetic(const Variant& left, Op op, const Variant& right) {
  Cat cl = CatOf(left), cr = CatOf(right);
  if (cl == Cat::Array || cr == Cat::Array || cl == Cat::Other || cr == Cat::Other) InvalidOp(left, OpName(op), right);
  if (cl == Cat::Null || cr == Cat::Null) return Null();
  if (op == Op::Add && (cl == Cat::String || cl == Cat::Empty) && (cr == Cat::String || cr == Cat::Empty) &&
      (cl == Cat::String || cr == Cat::String))
    return Variant(A::Text(left) + A::Text(right));
  const bool small = IsSmallInt(left.VType()) && IsSmallInt(right.VType());
  Variant a = Numeric(left, right), b = Numeric(right, left);
  Cat ca = CatOf(a), cb = CatOf(b);

  if (op == Op::IntDiv || op == Op::Mod) {
    __int128 x = ca == Cat::UInt ? (__int128)A::UInt(a) : ToInt64(a, varInt64);
    __int128 y = cb == Cat::UInt ? (__int128)A::UInt(b) : ToInt64(b, varInt64);
    if (y == 0) throw EDivByZero("Division by zero");
    return IntegerResult(op == Op::IntDiv ? x / y : x % y, small);
  }

  // Dates: shifting by a number keeps a date; the distance of two dates is a number.
  if (ca == Cat::Date || cb == Cat::Date) {
    double x = ToDouble(a, varDouble), y = ToDouble(b, varDouble);
    switch (op) {
      case Op::Add: return Variant(TDateTime(x + y));
      case Op::Sub: return (ca == Cat::Date && cb == Cat::Date) ? Variant(x - y) : Variant(TDateTime(x - y));
      case Op::Mul: return Variant(x * y);
      default:
        if (y == 0) throw EZeroDivide("Floating point division by zero");
        return Variant(x / y);
    }
  }
  if (ca == Cat::Bcd || cb == Cat::Bcd) {
    TBcd x = ToBcd(a), y = ToBcd(b);
    try {
      switch (op) {
        case Op::Add: return Variant(BcdAdd(x, y));
        case Op::Sub: return Variant(BcdSubtract(x, y));
        case Op::Mul: return Variant(BcdMultiply(x, y));
        default: return Variant(BcdDivide(x, y));
      }
    } catch (const EBcdOverflowException&) {
      Overflow();
    }
  }
  if (ca == Cat::Real || cb == Cat::Real || op == Op::Div) {
    double x = ToDouble(a, varDouble), y = ToDouble(b, varDouble);
    double r;
    switch (op) {
      case Op::Add: r = x + y; break;
      case Op::Sub: r = x - y; break;
      case Op::Mul: r = x * y; break;
      default:
        if (y == 0) throw EZeroDivide("Floating point division by zero");
        r = x / y;
        break;
    }
    if (std::isinf(r) && std::isfinite(x) && std::isfinite(y)) Overflow();
    return Variant(r);
  }
  if (ca == Cat::Currency || cb == Cat::Currency) {
    Currency x = ToCurrency(a), y = ToCurrency(b);
    try {
      switch (op) {
        case Op::Add: return Variant(x + y);
        case Op::Sub: return Variant(x - y);
        default: return Variant(x * y);
      }
    } catch (const EOverflow&) {
      Overflow();
    }
  }
  __int128 x = WideInt(a), y = WideInt(b);
  switch (op) {
    case Op::Add: return IntegerResult(x + y, small);
    case Op::Sub: return IntegerResult(x - y, small);
    default: {
      // Products of two 64-bit values may exceed 128 bits only when both are near 2^64.
      if ((x > 0 ? x : -x) > (__int128)UINT64_MAX || (y > 0 ? y : -y) > (__int128)UINT64_MAX) Overflow();
      __int128 r;
      if (__builtin_mul_overflow(x, y, &r)) Overflow();
      return IntegerResult(r, small);
    }
  }
}

// A text that spells a Boolean takes part in logic as a Boolean.
bool IsBooleanOperand(const Variant& v) {
  if (CatOf(v) == Cat::Bool) return true;
  if (CatOf(v) != Cat::String) return false;
  std::string t = Trim(A::Text(v));
  return SameText(t, "True") || SameText(t, "False");
}

Variant Logic(const Variant& a, Op op, const Variant& b) {
  Cat ca = CatOf(a), cb = CatOf(b);
  if (ca == Cat::Array || cb == Cat::Array || ca == Cat::Other || cb == Cat::Other) InvalidOp(a, OpName(op), b);
  if (ca == Cat::Null || cb == Cat::Null) return Null();
  bool ba = IsBooleanOperand(a) || (ca == Cat::Empty && IsBooleanOperand(b));
  bool bb = IsBooleanOperand(b) || (cb == Cat::Empty && IsBooleanOperand(a));
  if (ba && bb) {
    bool x = ToBoolean(a), y = ToBoolean(b);
    switch (op) {
      case Op::And: return Variant(x && y);
      case Op::Or: return Variant(x || y);
      default: return Variant(x != y);
    }
  }
  const bool small = IsSmallInt(a.VType()) && IsSmallInt(b.VType());
  auto bits = [](const Variant& v) -> std::int64_t {
    if (CatOf(v) == Cat::UInt) return static_cast<std::int64_t>(A::UInt(v));
    if (CatOf(v) == Cat::String) {
      bool flag;
      if (IsBooleanOperand(v) && TryStrToBool(A::Text(v), flag)) return flag ? -1 : 0;
    }
    return ToInt64(v, varInt64);
  };
  std::int64_t x = bits(a), y = bits(b);
  std::int64_t r = op == Op::And ? (x & y) : (op == Op::Or ? (x | y) : (x ^ y));
  if (CatOf(a) == Cat::UInt || CatOf(b) == Cat::UInt) return Variant(static_cast<unsigned long long>(r));
  return IntegerResult(r, small);
}

}  // namespace

Variant VarAdd(const Variant& a, const Variant& b) { return Arithmetic(a, Op::Add, b); }
Variant VarSub(const Variant& a, const Variant& b) { return Arithmetic(a, Op::Sub, b); }
Variant VarMul(const Variant& a, const Variant& b) { return Arithmetic(a, Op::Mul, b); }
Variant VarDiv(const Variant& a, const Variant& b) { return Arithmetic(a, Op::Div, b); }
Variant VarIntDiv(const Variant& a, const Variant& b) { return Arithmetic(a, Op::IntDiv, b); }
Variant VarMod(const Variant& a, const Variant& b) { return Arithmetic(a, Op::Mod, b); }
Variant VarAnd(const Variant& a, const Variant& b) { return Logic(a, Op::And, b); }
Variant VarOr(const Variant& a, const Variant& b) { return Logic(a, Op::Or, b); }
Variant VarXor(const Variant& a, const Variant& b) { return Logic(a, Op::Xor, b); }

Variant VarNeg(const Variant& a) {
  switch (CatOf(a)) {
    case Cat::Null:
    case Cat::Empty: return a;
    case Cat::Int: return IntegerResult(-(__int128)A::Int(a), IsSmallInt(a.VType()));
    case Cat::UInt: return IntegerResult(-(__int128)A::UInt(a), false);
    case Cat::Bool: return Variant(A::Bool(a) ? 1 : 0);
    case Cat::Real: return a.VType() == varSingle ? A::Single(-A::Real(a)) : Variant(-A::Real(a));
    case Cat::Date: return Variant(TDateTime(-A::Real(a)));
    case Cat::Currency:
      if (A::Int(a) == INT64_MIN) Overflow();
      return Variant(Currency::FromRaw(-A::Int(a)));
    case Cat::Bcd: return Variant(BcdNegate(A::Bcd(a)));
    case Cat::String: return Variant(-ToDouble(a, varDouble));
    default: InvalidOp("-", a);
  }
}

Variant VarNot(const Variant& a) {
  switch (CatOf(a)) {
    case Cat::Null: return a;
    case Cat::Bool: return Variant(!A::Bool(a));
    case Cat::Empty: return Variant(-1);
    case Cat::Int: {
      std::int64_t r = ~A::Int(a);
      switch (a.VType()) {
        // Unsigned kinds keep their width.
        case varByte: return A::OfType(varByte, r & 0xFF);
        case varWord: return A::OfType(varWord, r & 0xFFFF);
        case varLongWord: return A::OfType(varLongWord, r & 0xFFFFFFFFLL);
        default: return A::OfType(a.VType(), r);
      }
    }
    case Cat::UInt: return Variant(static_cast<unsigned long long>(~A::UInt(a)));
    case Cat::String:
      if (IsBooleanOperand(a)) return Variant(!ToBoolean(a));
      return IntegerResult(~ToInt64(a, varInt64), false);
    case Cat::Real:
    case Cat::Date:
    case Cat::Currency:
    case Cat::Bcd: return IntegerResult(~ToInt64(a, varInt64), false);
    default: InvalidOp("not", a);
  }
}

Variant operator+(const Variant& a, const Variant& b) { return VarAdd(a, b); }
Variant operator-(const Variant& a, const Variant& b) { return VarSub(a, b); }
Variant operator*(const Variant& a, const Variant& b) { return VarMul(a, b); }
Variant operator/(const Variant& a, const Variant& b) { return VarDiv(a, b); }
Variant operator%(const Variant& a, const Variant& b) { return VarMod(a, b); }
Variant operator&(const Variant& a, const Variant& b) { return VarAnd(a, b); }
Variant operator|(const Variant& a, const Variant& b) { return VarOr(a, b); }
Variant operator^(const Variant& a, const Variant& b) { return VarXor(a, b); }
Variant Variant::operator-() const { return VarNeg(*this); }
Variant Variant::operator!() const { return VarNot(*this); }
Variant Variant::operator~() const { return VarNot(*this); }

// ---- arrays --------------------------------------------------------------------------------------

namespace {

// Most elements one array may hold; a bound pair beyond this is a mistake, not a request.
constexpr std::int64_t kMaxArrayElements = std::int64_t(1) << 24;

[[noreturn]] void CreateError() { throw EVariantArrayCreateError("Error creating variant or safe array"); }

const Variant::ArrayData& ArrayOf(const Variant& v) {
  const Variant::ArrayData* data = A::Array(v);
  if (data == nullptr) throw EVariantNotAnArrayError("Variant of type (" + VarTypeAsText(v.VType()) + ") is not an array");
  return *data;
}

size_t Offset(const Variant::ArrayData& data, std::initializer_list<int> indices) {
  if (indices.size() != data.Bounds.size())
    throw EVariantBadIndexError("Variant or safe array index out of bounds");
  size_t offset = 0;
  size_t i = 0;
  for (int index : indices) {
    auto [low, high] = data.Bounds[i++];
    if (index < low || index > high) throw EVariantBadIndexError("Variant or safe array index out of bounds");
    offset = offset * size_t(high - low + 1) + size_t(index - low);
  }
  return offset;
}

}  // namespace

int Variant::DimCount() const { return int(ArrayOf(*this).Bounds.size()); }

int Variant::LowBound(int dim) const {
  const ArrayData& data = ArrayOf(*this);
  if (dim < 1 || dim > int(data.Bounds.size())) throw EVariantInvalidArgError("Invalid argument");
  return data.Bounds[size_t(dim - 1)].first;
}

int Variant::HighBound(int dim) const {
  const ArrayData& data = ArrayOf(*this);
  if (dim < 1 || dim > int(data.Bounds.size())) throw EVariantInvalidArgError("Invalid argument");
  return data.Bounds[size_t(dim - 1)].second;
}

Variant Variant::GetElement(std::initializer_list<int> indices) const {
  const ArrayData& data = ArrayOf(*this);
  return data.Items[Offset(data, indices)];
}

void Variant::PutElement(std::initializer_list<int> indices, const Variant& value) {
  ArrayOf(*this);
  ArrayData& data = *FArray;
  size_t offset = Offset(data, indices);
  data.Items[offset] = data.ElementType == varVariant ? value : VarAsType(value, data.ElementType);
}

Variant VarArrayCreate(const std::vector<int>& bounds, TVarType elementType) {
  if (bounds.empty() || bounds.size() % 2 != 0 || bounds.size() > 128) CreateError();
  Cat c = CatOf(elementType);
  if (elementType != varVariant && (c == Cat::Other || c == Cat::Empty || c == Cat::Null || c == Cat::Array))
    CreateError();
  auto data = std::make_unique<Variant::ArrayData>();
  data->ElementType = elementType;
  std::int64_t count = 1;
  for (size_t i = 0; i < bounds.size(); i += 2) {
    std::int64_t low = bounds[i], high = bounds[i + 1];
    if (high < low - 1) CreateError();
    count *= (high - low + 1);
    if (count > kMaxArrayElements) CreateError();
    data->Bounds.emplace_back(int(low), int(high));
  }
  Variant initial = elementType == varVariant ? Variant() : VarAsType(Variant(), elementType);
  data->Items.assign(size_t(count), initial);
  return A::MakeArray(std::move(data));
}

Variant VarArrayCreate(std::initializer_list<int> bounds, TVarType elementType) {
  return VarArrayCreate(std::vector<int>(bounds), elementType);
}

Variant VarArrayOf(const std::vector<Variant>& values) {
  Variant v = VarArrayCreate({0, int(values.size()) - 1}, varVariant);
  for (size_t i = 0; i < values.size(); ++i) v.PutElement(int(i), values[i]);
  return v;
}

Variant VarArrayOf(std::initializer_list<Variant> values) { return VarArrayOf(std::vector<Variant>(values)); }

int VarArrayDimCount(const Variant& v) { return v.IsArray() ? v.DimCount() : 0; }
int VarArrayLowBound(const Variant& v, int dim) { return v.LowBound(dim); }
int VarArrayHighBound(const Variant& v, int dim) { return v.HighBound(dim); }
Variant VarArrayGet(const Variant& v, std::initializer_list<int> indices) { return v.GetElement(indices); }
void VarArrayPut(Variant& v, const Variant& value, std::initializer_list<int> indices) { v.PutElement(indices, value); }

}  // namespace host
