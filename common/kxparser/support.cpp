// Field-type tables, the default field lookup and the character shown in messages.

#include <cstdio>
#include <string>

#include "common/kxparser.h"
#include "common/kxparser/internal.h"
#include "platform/db/dbconsts.h"
#include "platform/db/dberrors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/strings.h"

namespace kx {

using namespace host;

const TFieldType FldTypeMap[FieldTypeCount] = {
    ftUnknown,   ftString,   ftSmallint, ftInteger,    ftWord,       ftBoolean,   ftFloat,
    ftCurrency,  ftBCD,      ftDate,     ftTime,       ftDateTime,   ftBytes,     ftVarBytes,
    ftAutoInc,   ftBlob,     ftMemo,     ftGraphic,    ftFmtMemo,    ftParadoxOle, ftDBaseOle,
    ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint,  ftADT,       ftArray,
    ftReference, ftDataSet,
};

const std::string_view FldTypeStringMap[FieldTypeCount] = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",    "ftWord",     "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",       "ftTime",     "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",       "ftMemo",     "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",  "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",      "ftReference", "ftDataSet",
};

std::string_view FieldTypeCodeName(int dataType) noexcept {
  if (dataType < 0 || dataType >= FieldTypeCount) return FldTypeStringMap[ftUnknown];
  return FldTypeStringMap[dataType];
}

bool IsNumeric(int dataType) noexcept {
  switch (dataType) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat:
    case ftCurrency: case ftBCD: case ftAutoInc:
      return true;
    default:
      return false;
  }
}

bool IsTemporal(int dataType) noexcept {
  return dataType == ftDate || dataType == ftTime || dataType == ftDateTime;
}

TExprField& TExprFieldResolver::FieldByName(std::string_view name) {
  if (TExprField* f = FindField(name)) return *f;
  // The framework's wording: "<dataset>: Field 'X' not found".
  std::string message = Format(static_cast<std::string>(SFieldNotFound), {name});
  if (TComponent* c = GetComponent(); c != nullptr && !c->Name().empty())
    message = c->Name() + ": " + message;
  throw EDatabaseError(message);
}

std::string CharForMessage(unsigned char c) {
  if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  char buf[8];
  std::snprintf(buf, sizeof buf, "#$%02X", c);
  return buf;
}

}  // namespace kx
