// TFilterExpr: owner of the parse tree and writer of the expression buffer.
//
// Nodes are written in pre-order (a node, then its left operand, then its right operand) and
// literals in the order they are met. The node area and the literal area are built apart
// and joined behind the header at the end, which gives the same bytes as growing one buffer
// and moving the literals up for every node, without the quadratic copying.

#include <cmath>
#include <cstring>
#include <string>

#include "common/kxconst.h"
#include "common/kxparser.h"
#include "common/kxparser/internal.h"
#include "common/kxtables/errors.h"
#include "platform/db/dbconsts.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/datetime.h"
#include "platform/rtl/strings.h"

namespace kx {

using host::TFieldType;
using host::Variant;

namespace {

bool IsComparison(tCANOp op) { return op >= canEQ && op <= canLE; }

tCANOp Mirror(tCANOp op) {
  switch (op) {
    case canGT: return canLT;
    case canLT: return canGT;
    case canGE: return canLE;
    case canLE: return canGE;
    default: return op;
  }
}

// Operators written as a plain nodeBINARY with their two operands.
bool IsBinaryOperator(tCANOp op) {
  switch (op) {
    case canEQ: case canNE: case canGT: case canLT: case canGE: case canLE:
    case canAND: case canOR: case canADD: case canSUB: case canMUL: case canDIV:
    case canLIKE: case canASSIGN:
      return true;
    default:
      return false;
  }
}

// Text constants: the buffer keeps them as ftString whatever text type the field has.
bool IsTextConstType(int t) {
  return t == host::ftString || t == host::ftMemo || t == host::ftFixedChar || t == host::ftWideString ||
         t == host::ftFmtMemo;
}

// Types whose constants may be shortened into a partial or caseless compare node.
bool IsCompareTextType(int t) {
  return t == host::ftString || t == host::ftFixedChar || t == host::ftWideString;
}

}  // namespace

TFilterExpr::TFilterExpr(TExprFieldResolver* DataSet, host::TFilterOptions Options, TParserOptions ParserOptions,
                         std::string FieldName, host::TBits* DependentFields)
    : FDataSet(DataSet),
      FOptions(Options),
      FParserOptions(ParserOptions),
      FFieldName(std::move(FieldName)),
      FDependentFields(DependentFields) {}

TFilterExpr::~TFilterExpr() {
  // The list, not the tree, owns the nodes: freeing walks it, so no depth of tree can
  // exhaust the stack.
  while (FNodes != nullptr) {
    TExprNode* next = FNodes->FNext;
    delete FNodes;
    FNodes = next;
  }
}

TExprNode* TFilterExpr::NewNode(TExprNodeKind Kind, tCANOp Operator, const Variant& Data, TExprNode* Left,
                                TExprNode* Right) {
  auto* node = new TExprNode;
  node->FNext = FNodes;
  FNodes = node;
  node->FKind = Kind;
  node->FOperator = Operator;
  node->FData = Data;
  node->FLeft = Left;
  node->FRight = Right;
  return node;
}

void TFilterExpr::Error(const std::string& Message) const { KxDatabaseError(FDataSet->GetComponent(), Message); }

void TFilterExpr::Error(TKxMessage Message) const { Error(Message.Text()); }

TExprField& TFilterExpr::GetFieldByName(const std::string& Name) {
  TExprField* field = nullptr;
  if (FParserOptions.Contains(poFieldNameGiven)) {
    field = &FDataSet->FieldByName(FFieldName);
  } else if (FParserOptions.Contains(poUseOrigNames)) {
    // Origin "Table.Field" (each part optionally in double quotes) names the field when its
    // last part equals the name, or its last two parts equal "Table.Field".
    auto unquote = [](std::string s) {
      if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
      return s;
    };
    auto split = [&](const std::string& origin) {
      std::vector<std::string> parts;
      std::size_t start = 0;
      bool quoted = false;
      for (std::size_t i = 0; i <= origin.size(); ++i) {
        if (i < origin.size() && origin[i] == '"') quoted = !quoted;
        if (i == origin.size() || (origin[i] == '.' && !quoted)) {
          parts.push_back(unquote(origin.substr(start, i - start)));
          start = i + 1;
        }
      }
      return parts;
    };
    const std::vector<std::string> wanted = split(Name);
    for (int i = 0; i < FDataSet->GetFieldCount() && field == nullptr; ++i) {
      TExprField* f = FDataSet->GetField(i);
      if (f == nullptr) continue;
      const std::vector<std::string> parts = split(f->GetOrigin());
      if (parts.empty() || parts.back().empty()) continue;
      bool match = host::AnsiSameText(parts.back(), wanted.back());
      if (match && wanted.size() >= 2)
        match = parts.size() >= 2 && host::AnsiSameText(parts[parts.size() - 2], wanted[wanted.size() - 2]);
      if (match) field = f;
    }
    if (field == nullptr) field = &FDataSet->FieldByName(Name);
  } else {
    field = &FDataSet->FieldByName(Name);
  }
  if (FParserOptions.Contains(poFieldDepend) && FDependentFields != nullptr && field->GetFieldNo() >= 1)
    FDependentFields->SetBits(field->GetFieldNo() - 1, true);
  return *field;
}

// ---- buffer primitives ----------------------------------------------------------------------

void TFilterExpr::CheckSize(std::size_t More) const {
  if (CANEXPRSIZE + FNodeArea.size() + FLiteralArea.size() + More > MaxExprBufSize) Error(SKxExprTooLarge);
}

int TFilterExpr::PutNode(tNODEClass NodeClass, tCANOp Op, int OpCount) {
  const std::size_t size = CANHDRSIZE + 2 * static_cast<std::size_t>(OpCount);
  CheckSize(size);
  const int offset = static_cast<int>(FNodeArea.size());
  FNodeArea.resize(FNodeArea.size() + size, 0);
  FNodeArea[offset] = NodeClass;
  FNodeArea[offset + 1] = Op;
  FExprNodeSize = FNodeArea.size();
  return offset;
}

int TFilterExpr::PutData(const void* Data, std::size_t Size) {
  CheckSize(Size);
  const int offset = static_cast<int>(FLiteralArea.size());
  const auto* bytes = static_cast<const std::uint8_t*>(Data);
  FLiteralArea.insert(FLiteralArea.end(), bytes, bytes + Size);
  FExprDataSize = FLiteralArea.size();
  return offset;
}

void TFilterExpr::SetNodeOp(int Node, int Index, int Data) {
  Put16(&FNodeArea[static_cast<std::size_t>(Node) + CANHDRSIZE + 2 * static_cast<std::size_t>(Index)],
        static_cast<std::uint16_t>(Data));
}

const std::uint8_t* TFilterExpr::GetFilterData(TExprNode* Root) {
  FNodeArea.clear();
  FLiteralArea.clear();
  FPending.clear();
  FExprBuffer.clear();
  FExprNodeSize = FExprDataSize = 0;
  PutExprNode(Root, canNOTDEFINED);

  FExprBufSize = CANEXPRSIZE + FNodeArea.size() + FLiteralArea.size();
  FExprBuffer.resize(FExprBufSize);
  std::uint8_t* p = FExprBuffer.data();
  Put16(p + 0, CANEXPRVERSION);
  Put16(p + 2, static_cast<std::uint16_t>(FExprBufSize));
  Put16(p + 4, 0xFFFF);
  Put16(p + 6, static_cast<std::uint16_t>(CANEXPRSIZE));
  Put16(p + 8, static_cast<std::uint16_t>(CANEXPRSIZE + FNodeArea.size()));
  if (!FNodeArea.empty()) std::memcpy(p + CANEXPRSIZE, FNodeArea.data(), FNodeArea.size());
  if (!FLiteralArea.empty())
    std::memcpy(p + CANEXPRSIZE + FNodeArea.size(), FLiteralArea.data(), FLiteralArea.size());
  FNodeArea.clear();
  FNodeArea.shrink_to_fit();
  FLiteralArea.clear();
  FLiteralArea.shrink_to_fit();
  return FExprBuffer.data();
}

// ---- nodes ------------------------------------------------------------------------------------

int TFilterExpr::PutExprNode(TExprNode* Node, tCANOp ParentOp) {
  switch (Node->FKind) {
    case enField:
      return PutFieldRef(Node, ParentOp);
    case enConst:
      return PutConstant(Node);
    case enOperator:
      return PutSpine(Node);
    case enFunc:
    default:
      Error(SExprNoFunctions);
  }
}

int TFilterExpr::PutFieldRef(TExprNode* Node, tCANOp ParentOp) {
  TExprField& field = GetFieldByName(Node->FData.AsString());
  const host::TFieldKind kind = field.GetFieldKind();
  if (kind != host::fkData && kind != host::fkInternalCalc)
    KxDatabaseErrorFmt(FDataSet->GetComponent(), SExprBadField, {field.GetFieldName()});
  // A Boolean field standing alone as a condition means "field <> False".
  if (field.GetDataType() == host::ftBoolean &&
      (ParentOp == canNOTDEFINED || ParentOp == canNOT || ParentOp == canAND || ParentOp == canOR)) {
    const int result = PutNode(nodeBINARY, canNE, 2);
    SetNodeOp(result, 0, PutFieldNode(field, Node));
    const std::uint8_t falseValue[2] = {0, 0};
    SetNodeOp(result, 1, PutConstNode(host::ftBoolean, falseValue, 2));
    return result;
  }
  return PutFieldNode(field, Node);
}

int TFilterExpr::PutFieldNode(TExprField& Field, const TExprNode* Node) {
  const std::string written = FParserOptions.Contains(poFieldNameGiven) ? FFieldName : Node->FData.AsString();
  std::string name = FDataSet->Translate(written, true);
  if (name.size() > MaxNameBytes || name.find('\0') != std::string::npos)
    KxDatabaseErrorFmt(FDataSet->GetComponent(), SKxExprNameTooLong.Text(),
                       {host::Utf8Truncate(written, MaxNameBytes) + "..."});
  const int result = PutNode(nodeFIELD, canFIELD2, 2);
  SetNodeOp(result, 0, Field.GetIndex());
  name.push_back('\0');
  SetNodeOp(result, 1, PutData(name.data(), name.size()));
  return result;
}

// Operators. A chain of binary operators down the left operands (a OR b OR c ..., x + y + z
// ...) is written without recursion: the chain's nodes first, top down, then from the bottom
// up each node's right operand. This is the pre-order of the recursive definition, and keeps
// the stack flat however long the chain is; only parentheses nest the recursion, and the
// parser bounds those.
int TFilterExpr::PutSpine(TExprNode* Node) {
  // The chain's pending right operands live on FPending (shared by all levels of recursion,
  // each level using the entries above its base) rather than in this frame.
  const std::size_t base = FPending.size();
  TExprNode* n = Node;
  int operand;
  for (;;) {
    tCANOp op = n->FOperator;
    if (!IsBinaryOperator(op)) {
      operand = PutOperator(n);
      break;
    }
    TExprNode* left = n->FLeft;
    TExprNode* right = n->FRight;
    if (IsComparison(op) && right->FKind == enField && left->FKind != enField) {
      std::swap(left, right);
      op = Mirror(op);
    }
    if (left->FKind == enField && right->FKind == enConst && (op == canEQ || op == canNE || op == canLIKE)) {
      operand = PutFieldTest(left, right, op);
      if (operand >= 0) break;
    }
    PushPending(PutNode(nodeBINARY, op, 2), right, op);
    if (left->FKind != enOperator) {
      operand = PutExprNode(left, op);
      break;
    }
    n = left;
  }
  while (FPending.size() > base) {
    const Pending p = FPending.back();
    FPending.pop_back();
    SetNodeOp(p.offset, 0, operand);
    SetNodeOp(p.offset, 1, PutExprNode(p.right, p.op));
    operand = p.offset;
  }
  return operand;
}

void TFilterExpr::PushPending(int Offset, TExprNode* Right, tCANOp Op) { FPending.push_back({Offset, Right, Op}); }

// A field compared with a constant by =, <> or LIKE: a Null constant makes a null test, and
// text with an asterisk (partial) or under case-insensitive options a compare node. -1 when
// the comparison stays an ordinary binary node.
int TFilterExpr::PutFieldTest(TExprNode* Left, TExprNode* Right, tCANOp Op) {
  if (Right->FData.IsNull()) {
    if (Op == canLIKE) KxDatabaseError(FDataSet->GetComponent(), host::SExprBadNullTest);
    const tCANOp test = Op == canEQ ? canISBLANK : canNOTBLANK;
    const int result = PutNode(nodeUNARY, test, 1);
    SetNodeOp(result, 0, PutExprNode(Left, test));
    return result;
  }
  if (!IsCompareTextType(Right->FDataType)) return -1;
  std::string text = Right->FData.AsString();
  if (text.empty()) return -1;
  const bool caseless = FOptions.Contains(host::foCaseInsensitive);
  std::size_t partial = 0;
  if (!FOptions.Contains(host::foNoPartialCompare) && host::Utf8Length(text) >= 2 &&
      (text.back() == '*' || text.back() == '%')) {
    text.pop_back();
    partial = host::Utf8Length(text);
  }
  if (!caseless && partial == 0) return -1;
  const int result = PutNode(nodeCOMPARE, Op, 4);
  SetNodeOp(result, 0, caseless ? 1 : 0);
  SetNodeOp(result, 1, static_cast<int>(partial));
  SetNodeOp(result, 2, PutExprNode(Left, Op));
  SetNodeOp(result, 3, PutConstStr(text));
  return result;
}

// Unary operators and IN.
int TFilterExpr::PutOperator(TExprNode* Node) {
  switch (Node->FOperator) {
    case canNOT:
    case canISBLANK:
    case canNOTBLANK: {
      const int result = PutNode(nodeUNARY, Node->FOperator, 1);
      SetNodeOp(result, 0, PutExprNode(Node->FLeft, Node->FOperator));
      return result;
    }
    case canIN: {
      const int result = PutNode(nodeBINARY, canIN, 2);
      SetNodeOp(result, 0, PutExprNode(Node->FLeft, canIN));
      int previous = -1;
      for (TExprNode* arg : Node->FArgs) {
        const int elem = PutNode(nodeLISTELEM, canLISTELEM2, 2);
        SetNodeOp(elem, 0, PutExprNode(arg, canLISTELEM2));
        if (previous < 0)
          SetNodeOp(result, 1, elem);
        else
          SetNodeOp(previous, 1, elem);
        previous = elem;
      }
      return result;
    }
    default:
      Error(SExprIncorrect);
  }
}

// ---- constants --------------------------------------------------------------------------------

int TFilterExpr::PutConstNode(TFieldType Type, const void* Data, std::size_t Size) {
  const int result = PutNode(nodeCONST, canCONST2, 3);
  SetNodeOp(result, 0, Type);
  SetNodeOp(result, 1, static_cast<int>(Size));
  SetNodeOp(result, 2, PutData(Data, Size));
  return result;
}

int TFilterExpr::PutConstStr(std::string_view Text) {
  std::string value = FDataSet->Translate(host::Utf8Truncate(Text, MaxConstChars), true);
  // A translation may not lengthen the text past the limit, nor hide a NUL in it.
  value = host::Utf8Truncate(value.substr(0, value.find('\0')), MaxConstChars);
  value.push_back('\0');
  return PutConstNode(host::ftString, value.data(), value.size());
}

int TFilterExpr::PutConstant(TExprNode* Node) {
  const int type = Node->FDataType;
  const Variant& data = Node->FData;
  auto bad = [&]() -> int {
    KxDatabaseErrorFmt(FDataSet->GetComponent(), SExprBadConst, {FieldTypeCodeName(type)});
  };
  // Conversions fail by exception; any failure is the constant's fault.
  if (data.IsNull() || data.IsEmpty()) return bad();

  if (IsTextConstType(type)) {
    std::string text;
    try {
      text = data.AsString();
    } catch (const host::Exception&) {
      return bad();
    }
    return PutConstStr(text);
  }

  switch (type) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc: {
      std::int64_t value = 0;
      try {
        value = data.AsInt64();
      } catch (const host::Exception&) {
        return bad();
      }
      if (type == host::ftSmallint || type == host::ftWord) {
        if ((type == host::ftSmallint && (value < -32768 || value > 32767)) ||
            (type == host::ftWord && (value < 0 || value > 65535)))
          KxDatabaseError(FDataSet->GetComponent(), host::SExprRangeError);
        std::uint8_t bytes[2];
        Put16(bytes, static_cast<std::uint16_t>(value));
        return PutConstNode(static_cast<TFieldType>(type), bytes, 2);
      }
      if (value < INT32_MIN || value > INT32_MAX) return bad();
      const auto v32 = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v32), static_cast<std::uint8_t>(v32 >> 8),
                                     static_cast<std::uint8_t>(v32 >> 16), static_cast<std::uint8_t>(v32 >> 24)};
      return PutConstNode(static_cast<TFieldType>(type), bytes, 4);
    }
    case host::ftBoolean: {
      bool value = false;
      try {
        value = data.AsBoolean();
      } catch (const host::Exception&) {
        return bad();
      }
      const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value ? 1 : 0), 0};
      return PutConstNode(host::ftBoolean, bytes, 2);
    }
    case host::ftFloat:
    case host::ftCurrency: {
      // A currency field's constant is kept as a double: the buffer has no currency
      // constant, and currency values compare exactly against doubles of four decimals.
      double value = 0;
      try {
        value = data.AsDouble();
      } catch (const host::Exception&) {
        return bad();
      }
      if (!std::isfinite(value)) return bad();
      std::uint8_t bytes[8];
      std::memcpy(bytes, &value, 8);
      return PutConstNode(host::ftFloat, bytes, 8);
    }
    case host::ftBCD: {
      std::int64_t raw = 0;
      try {
        raw = data.AsCurrency().Raw();
      } catch (const host::Exception&) {
        return bad();
      }
      std::uint8_t bytes[8];
      for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(raw) >> (8 * i));
      return PutConstNode(host::ftBCD, bytes, 8);
    }
    case host::ftDate:
    case host::ftTime:
    case host::ftDateTime: {
      double value = 0;
      try {
        if (host::VarIsStr(data)) {
          const std::string text = data.AsString();
          value = type == host::ftDate   ? host::StrToDate(text)
                  : type == host::ftTime ? host::StrToTime(text)
                                         : host::StrToDateTime(text);
        } else {
          value = data.AsDateTime();
        }
      } catch (const host::Exception&) {
        return bad();
      }
      if (!std::isfinite(value)) return bad();
      std::uint8_t bytes[8];
      std::memcpy(bytes, &value, 8);
      return PutConstNode(static_cast<TFieldType>(type), bytes, 8);
    }
    default:
      return bad();
  }
}

}  // namespace kx
