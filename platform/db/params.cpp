#include "platform/db/params.h"

#include <cstring>

#include "platform/db/dataset.h"

namespace host {

namespace {

TFieldType TypeOfVariant(const Variant& Value) {
  switch (Value.VType() & varTypeMask) {
    case varSmallint:
    case varShortInt:
    case varByte:
      return ftSmallint;
    case varWord:
      return ftWord;
    case varInteger:
    case varLongWord:
      return ftInteger;
    case varInt64:
    case varUInt64:
      return ftLargeint;
    case varSingle:
    case varDouble:
      return ftFloat;
    case varCurrency:
      return ftCurrency;
    case varFMTBcd:
      return ftBCD;
    case varDate:
      return ftDateTime;
    case varBoolean:
      return ftBoolean;
    case varString:
    case varOleStr:
    case varUString:
      return ftString;
    default:
      return ftUnknown;
  }
}

bool IsNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#' || c >= 0x80;
}

}  // namespace

// ---- TParam -------------------------------------------------------------------------------

TParam::TParam(TCollection* Collection) : TCollectionItem(Collection) {}

TParam::TParam(TParams* Params, TParamType ParamType) : TCollectionItem(Params), FParamType(ParamType) {}

TParams* TParam::GetParams() const { return dynamic_cast<TParams*>(Collection()); }

TDataSet* TParam::GetDataSet() const {
  TParams* params = GetParams();
  return params != nullptr ? params->GetDataSet() : nullptr;
}

void TParam::SetName(const std::string& Value) {
  FName = Value;
  Changed(false);
}

void TParam::TypeError(std::string_view TypeName) const {
  DatabaseErrorFmt(SParamAccessError, {FName, TypeName}, GetDataSet());
}

void TParam::SetDataType(TFieldType Value) {
  if (Value == FDataType) return;
  FDataType = Value;
  if (GetIsNull()) return;
  // Keep the value in the kind the new type stands for; a value that does not convert is lost.
  try {
    switch (Value) {
      case ftString: case ftFixedChar: case ftWideString: case ftMemo: case ftFmtMemo:
        FData = Variant(FData.AsString());
        break;
      case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        FData = Variant(FData.AsInteger());
        break;
      case ftLargeint:
        FData = Variant(static_cast<long long>(FData.AsInt64()));
        break;
      case ftFloat:
        FData = Variant(FData.AsDouble());
        break;
      case ftCurrency: case ftBCD:
        FData = Variant(FData.AsCurrency());
        break;
      case ftBoolean:
        FData = Variant(FData.AsBoolean());
        break;
      case ftDate: case ftTime: case ftDateTime:
        FData = Variant(VarToDateTime(FData));
        break;
      default:
        break;
    }
  } catch (const EVariantError&) {
    FData = Null();
  }
}

void TParam::SetValue(const Variant& Value) {
  FData = Value;
  if (FDataType == ftUnknown) FDataType = TypeOfVariant(Value);
  FBound = true;
}

void TParam::Clear() {
  FData = Null();
  FBound = true;
}

std::string TParam::GetAsString() const { return GetIsNull() ? std::string() : VarToStr(FData); }

void TParam::SetAsString(const std::string& Value) {
  if (FDataType != ftFixedChar && FDataType != ftWideString) FDataType = ftString;
  SetValue(Variant(Value));
}

std::int32_t TParam::GetAsInteger() const { return GetIsNull() ? 0 : FData.AsInteger(); }

void TParam::SetAsInteger(std::int32_t Value) {
  if (FDataType != ftAutoInc) FDataType = ftInteger;
  SetValue(Variant(Value));
}

void TParam::SetAsSmallInt(std::int32_t Value) {
  FDataType = ftSmallint;
  SetValue(Variant(Value));
}

void TParam::SetAsWord(std::int32_t Value) {
  FDataType = ftWord;
  SetValue(Variant(Value));
}

std::int64_t TParam::GetAsLargeInt() const { return GetIsNull() ? 0 : FData.AsInt64(); }

void TParam::SetAsLargeInt(std::int64_t Value) {
  FDataType = ftLargeint;
  SetValue(Variant(static_cast<long long>(Value)));
}

double TParam::GetAsFloat() const { return GetIsNull() ? 0.0 : FData.AsDouble(); }

void TParam::SetAsFloat(double Value) {
  FDataType = ftFloat;
  SetValue(Variant(Value));
}

Currency TParam::GetAsCurrency() const { return GetIsNull() ? Currency() : FData.AsCurrency(); }

void TParam::SetAsCurrency(Currency Value) {
  FDataType = ftCurrency;
  SetValue(Variant(Value));
}

TBcd TParam::GetAsBCD() const { return GetIsNull() ? IntegerToBcd(0) : FData.AsBcd(); }

void TParam::SetAsBCD(const TBcd& Value) {
  FDataType = ftBCD;
  SetValue(Variant(Value));
}

bool TParam::GetAsBoolean() const { return !GetIsNull() && FData.AsBoolean(); }

void TParam::SetAsBoolean(bool Value) {
  FDataType = ftBoolean;
  SetValue(Variant(Value));
}

TDateTime TParam::GetAsDateTime() const { return GetIsNull() ? TDateTime() : VarToDateTime(FData); }

void TParam::SetAsDateTime(TDateTime Value) {
  FDataType = ftDateTime;
  SetValue(Variant(Value));
}

void TParam::SetAsDate(TDateTime Value) {
  FDataType = ftDate;
  SetValue(Variant(Value));
}

void TParam::SetAsTime(TDateTime Value) {
  FDataType = ftTime;
  SetValue(Variant(Value));
}

void TParam::SetAsMemo(const std::string& Value) {
  FDataType = ftMemo;
  SetValue(Variant(Value));
}

TBytes TParam::GetAsBytes() const {
  if (GetIsNull()) return {};
  if (FData.IsArray()) {
    TBytes result;
    for (int i = FData.LowBound(1); i <= FData.HighBound(1); ++i) {
      result.push_back(static_cast<std::uint8_t>(FData.GetElement(i).AsInteger()));
    }
    return result;
  }
  const std::string text = FData.AsString();
  return TBytes(text.begin(), text.end());
}

void TParam::SetAsBlob(const TBytes& Value) {
  FDataType = ftBlob;
  SetValue(Variant(std::string(Value.begin(), Value.end())));
}

void TParam::SetAsBytes(const TBytes& Value) {
  if (FDataType != ftVarBytes) FDataType = ftBytes;
  SetValue(Variant(std::string(Value.begin(), Value.end())));
}

int TParam::GetDataSize() const {
  switch (FDataType) {
    case ftUnknown:
      DatabaseErrorFmt(SUnknownFieldType, {FName}, GetDataSet());
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
      return static_cast<int>(GetAsString().size()) + 1;
    case ftBoolean:
    case ftSmallint:
    case ftWord:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      return 8;
    case ftBCD:
      return static_cast<int>(sizeof(TBcd));
    case ftBytes:
      return static_cast<int>(GetAsBytes().size());
    case ftVarBytes:
      return static_cast<int>(GetAsBytes().size()) + 2;
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftParadoxOle:
    case ftDBaseOle:
      return static_cast<int>(GetAsBytes().size());
    default:
      DatabaseErrorFmt(SInvalidFieldType, {FName}, GetDataSet());
  }
}

void TParam::GetData(void* Buffer) const {
  if (GetIsNull()) return;
  auto put = [Buffer](const auto& value) { std::memcpy(Buffer, &value, sizeof value); };
  switch (FDataType) {
    case ftUnknown:
      DatabaseErrorFmt(SUnknownFieldType, {FName}, GetDataSet());
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo: {
      const std::string text = GetAsString();
      std::memcpy(Buffer, text.c_str(), text.size() + 1);
      break;
    }
    case ftSmallint:
      put(static_cast<std::int16_t>(GetAsInteger()));
      break;
    case ftWord:
      put(static_cast<std::uint16_t>(GetAsInteger()));
      break;
    case ftBoolean:
      put(static_cast<std::int16_t>(GetAsBoolean() ? -1 : 0));
      break;
    case ftInteger:
    case ftAutoInc:
      put(GetAsInteger());
      break;
    case ftLargeint:
      put(GetAsLargeInt());
      break;
    case ftFloat:
    case ftCurrency:
      put(GetAsFloat());
      break;
    case ftBCD: {
      put(GetAsBCD());
      break;
    }
    case ftDate:
      put(DateTimeToTimeStamp(GetAsDateTime()).Date);
      break;
    case ftTime:
      put(DateTimeToTimeStamp(GetAsDateTime()).Time);
      break;
    case ftDateTime:
      put(TimeStampToMSecs(DateTimeToTimeStamp(GetAsDateTime())));
      break;
    case ftVarBytes: {
      const TBytes bytes = GetAsBytes();
      const std::uint16_t length = static_cast<std::uint16_t>(std::min<std::size_t>(bytes.size(), 0xFFFF));
      std::memcpy(Buffer, &length, sizeof length);
      if (length > 0) std::memcpy(static_cast<std::uint8_t*>(Buffer) + 2, bytes.data(), length);
      break;
    }
    case ftBytes:
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftParadoxOle:
    case ftDBaseOle: {
      const TBytes bytes = GetAsBytes();
      if (!bytes.empty()) std::memcpy(Buffer, bytes.data(), bytes.size());
      break;
    }
    default:
      DatabaseErrorFmt(SInvalidFieldType, {FName}, GetDataSet());
  }
}

void TParam::SetData(const void* Buffer) {
  if (Buffer == nullptr) {
    Clear();
    return;
  }
  auto get = [Buffer](auto& value) { std::memcpy(&value, Buffer, sizeof value); };
  switch (FDataType) {
    case ftUnknown:
      DatabaseErrorFmt(SUnknownFieldType, {FName}, GetDataSet());
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
      SetValue(Variant(std::string(static_cast<const char*>(Buffer))));
      break;
    case ftSmallint: {
      std::int16_t v;
      get(v);
      SetValue(Variant(static_cast<int>(v)));
      break;
    }
    case ftWord: {
      std::uint16_t v;
      get(v);
      SetValue(Variant(static_cast<int>(v)));
      break;
    }
    case ftBoolean: {
      std::int16_t v;
      get(v);
      SetValue(Variant(v != 0));
      break;
    }
    case ftInteger:
    case ftAutoInc: {
      std::int32_t v;
      get(v);
      SetValue(Variant(v));
      break;
    }
    case ftLargeint: {
      std::int64_t v;
      get(v);
      SetValue(Variant(static_cast<long long>(v)));
      break;
    }
    case ftFloat: {
      double v;
      get(v);
      SetValue(Variant(v));
      break;
    }
    case ftCurrency: {
      double v;
      get(v);
      SetValue(Variant(Currency::FromDouble(v)));
      break;
    }
    case ftBCD: {
      TBcd v;
      get(v);
      SetValue(Variant(v));
      break;
    }
    case ftDate: {
      TTimeStamp stamp;
      get(stamp.Date);
      stamp.Time = 0;
      SetValue(Variant(TimeStampToDateTime(stamp)));
      break;
    }
    case ftTime: {
      TTimeStamp stamp;
      get(stamp.Time);
      stamp.Date = DateDelta;
      SetValue(Variant(TimeStampToDateTime(stamp)));
      break;
    }
    case ftDateTime: {
      double v;
      get(v);
      SetValue(Variant(TimeStampToDateTime(MSecsToTimeStamp(v))));
      break;
    }
    case ftVarBytes: {
      std::uint16_t length;
      std::memcpy(&length, Buffer, sizeof length);
      SetValue(Variant(std::string(static_cast<const char*>(Buffer) + 2, length)));
      break;
    }
    case ftBytes:
      SetValue(Variant(std::string(static_cast<const char*>(Buffer), static_cast<std::size_t>(std::max(0, FSize)))));
      break;
    default:
      DatabaseErrorFmt(SInvalidFieldType, {FName}, GetDataSet());
  }
}

void TParam::SetBlobData(const void* Buffer, int Size) {
  if (FDataType != ftMemo && FDataType != ftFmtMemo && FDataType != ftGraphic) FDataType = ftBlob;
  SetValue(Variant(std::string(static_cast<const char*>(Buffer), static_cast<std::size_t>(std::max(0, Size)))));
}

void TParam::AssignField(TField* Field) {
  if (Field == nullptr) return;
  AssignFieldValue(Field, Field->GetAsVariant());
  FName = Field->GetFieldName();
}

void TParam::AssignFieldValue(TField* Field, const Variant& Value) {
  if (Field == nullptr) return;
  FDataType = Field->GetDataType() == ftAutoInc ? ftInteger : Field->GetDataType();
  FSize = Field->GetSize();
  if (auto* bcd = dynamic_cast<TBCDField*>(Field)) {
    FPrecision = bcd->GetPrecision();
    FNumericScale = bcd->GetSize();
  }
  if (Value.IsNull() || Value.IsEmpty()) {
    Clear();
  } else {
    SetValue(Value);
  }
}

void TParam::AssignTo(TPersistent* Dest) const {
  if (auto* field = dynamic_cast<TField*>(Dest)) {
    field->SetAsVariant(FData);
    return;
  }
  TPersistent::AssignTo(Dest);
}

void TParam::Assign(const TPersistent* Source) {
  if (const auto* param = dynamic_cast<const TParam*>(Source)) {
    FName = param->FName;
    FDataType = param->FDataType;
    FParamType = param->FParamType;
    FData = param->FData;
    FBound = param->FBound;
    FSize = param->FSize;
    FPrecision = param->FPrecision;
    FNumericScale = param->FNumericScale;
    Changed(false);
    return;
  }
  if (auto* field = dynamic_cast<const TField*>(Source)) {
    AssignField(const_cast<TField*>(field));
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TParams ------------------------------------------------------------------------------

TParams::TParams(TPersistent* Owner) : TCollection(TCollectionItemClass::Of<TParam>(), Owner) {}

TParam* TParams::Items(int Index) const { return static_cast<TParam*>(TCollection::Items(Index)); }

TDataSet* TParams::GetDataSet() const { return dynamic_cast<TDataSet*>(GetOwner()); }

TParam* TParams::CreateParam(TFieldType FldType, const std::string& ParamName, TParamType ParamType) {
  TParam* param = AddParameter();
  param->SetName(ParamName);
  param->SetDataType(FldType);
  param->SetParamType(ParamType);
  return param;
}

TParam* TParams::FindParam(std::string_view Value) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameFieldName(Items(i)->GetName(), Value)) return Items(i);
  }
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view Value) const {
  TParam* param = FindParam(Value);
  if (param == nullptr) DatabaseErrorFmt(SParameterNotFound, {Value}, GetDataSet());
  return param;
}

void TParams::GetParamList(std::vector<TParam*>& List, std::string_view ParamNames) const {
  for (const std::string& name : SplitFieldNames(ParamNames)) List.push_back(ParamByName(name));
}

Variant TParams::GetParamValues(std::string_view ParamNames) const {
  std::vector<TParam*> params;
  GetParamList(params, ParamNames);
  if (params.size() == 1) return params[0]->GetValue();
  std::vector<Variant> values;
  for (TParam* param : params) values.push_back(param->GetValue());
  return VarArrayOf(values);
}

void TParams::SetParamValues(std::string_view ParamNames, const Variant& Value) {
  const std::vector<std::string> names = SplitFieldNames(ParamNames);
  auto setAll = [this](const std::string& name, const Variant& value) {
    bool found = false;
    for (int i = 0; i < Count(); ++i) {
      if (SameFieldName(Items(i)->GetName(), name)) {
        Items(i)->SetValue(value);
        found = true;
      }
    }
    if (!found) DatabaseErrorFmt(SParameterNotFound, {name}, GetDataSet());
  };
  if (names.size() == 1 && !Value.IsArray()) {
    setAll(names[0], Value);
    return;
  }
  if (!Value.IsArray() || Value.HighBound(1) - Value.LowBound(1) + 1 != static_cast<int>(names.size())) {
    DatabaseErrorFmt(SParameterNotFound, {ParamNames}, GetDataSet());
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    setAll(names[i], Value.GetElement(Value.LowBound(1) + static_cast<int>(i)));
  }
}

void TParams::AssignValues(const TParams* Value) {
  if (Value == nullptr) return;
  for (int i = 0; i < Value->Count(); ++i) {
    const TParam* source = Value->Items(i);
    for (int j = 0; j < Count(); ++j) {
      if (SameFieldName(Items(j)->GetName(), source->GetName())) Items(j)->Assign(source);
    }
  }
}

bool TParams::IsEqual(const TParams* Value) const {
  if (Value == nullptr || Value->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* a = Items(i);
    const TParam* b = Value->Items(i);
    if (a->GetName() != b->GetName() || a->GetDataType() != b->GetDataType() ||
        a->GetParamType() != b->GetParamType() || a->GetBound() != b->GetBound() ||
        a->GetIsNull() != b->GetIsNull()) {
      return false;
    }
    if (!a->GetIsNull() && !VarSameValue(a->GetValue(), b->GetValue())) return false;
  }
  return true;
}

std::string TParams::ParseSQL(const std::string& SQL, bool DoCreate) {
  std::string result;
  result.reserve(SQL.size());
  const std::size_t n = SQL.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = SQL[i];
    if (c == '\'' || c == '"' || c == '`') {
      // A literal or a quoted identifier, with doubled quotes inside.
      std::size_t j = i + 1;
      while (j < n) {
        if (SQL[j] == c) {
          if (j + 1 < n && SQL[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      const std::size_t end = j < n ? j + 1 : n;
      result.append(SQL, i, end - i);
      i = end;
    } else if (c == '-' && i + 1 < n && SQL[i + 1] == '-') {
      const std::size_t end = std::min(n, SQL.find('\n', i) == std::string::npos ? n : SQL.find('\n', i) + 1);
      result.append(SQL, i, end - i);
      i = end;
    } else if (c == '/' && i + 1 < n && SQL[i + 1] == '*') {
      const std::size_t close = SQL.find("*/", i + 2);
      const std::size_t end = close == std::string::npos ? n : close + 2;
      result.append(SQL, i, end - i);
      i = end;
    } else if (c == ':' && i + 1 < n && SQL[i + 1] == ':') {
      result += ':';
      i += 2;
    } else if (c == ':' && i + 1 < n && SQL[i + 1] == '"') {
      const std::size_t close = SQL.find('"', i + 2);
      if (close == std::string::npos) {
        result.append(SQL, i, n - i);
        break;
      }
      const std::string name = SQL.substr(i + 2, close - i - 2);
      result += '?';
      if (DoCreate) CreateParam(ftUnknown, name, ptUnknown);
      i = close + 1;
    } else if (c == ':' && i + 1 < n && IsNameChar(static_cast<unsigned char>(SQL[i + 1]))) {
      std::size_t j = i + 1;
      while (j < n && IsNameChar(static_cast<unsigned char>(SQL[j]))) ++j;
      result += '?';
      if (DoCreate) CreateParam(ftUnknown, SQL.substr(i + 1, j - i - 1), ptUnknown);
      i = j;
    } else {
      result += c;
      ++i;
    }
  }
  return result;
}

}  // namespace host
