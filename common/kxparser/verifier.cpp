// TParseVerifier: evaluation of an expression buffer against the current record.
//
// The buffer may come from any producer, so every offset is checked against the sizes in its
// header before it is followed; a buffer that points outside itself, or loops, raises
// "Incorrectly formed expression" instead of reading stray memory.

#include <cmath>
#include <cstring>
#include <string>

#include "common/kxconst.h"
#include "common/kxparser.h"
#include "common/kxparser/internal.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/currency.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace kx {

using host::Variant;

// A node of the buffer, located, bounds-checked and decoded once per verifier.
struct TParseVerifier::Node {
  std::uint8_t nodeClass = 0;
  std::uint8_t op = 0;
  std::uint16_t operands[5] = {};
  // The nodes evaluated below this one, linked when they first decode: the first and second
  // operand of unary, continue and binary nodes, the two sides of a compare node, the value
  // and the next element of a list element.
  Node* kids[2] = {};
  // Binary nodes: how many binary nodes the chain down the first operands holds from here,
  // once it has been collected without fault; 0 before.
  std::size_t chainLength = 0;
  // Const nodes: the value, once decoded.
  bool decoded = false;
  Variant constant;
  std::uint16_t Operand(int i) const { return operands[i]; }
};

namespace {

// Operand count of each node class the evaluator reads; -1 for classes it does not serve.
int OperandCount(std::uint8_t nodeClass) {
  switch (nodeClass) {
    case nodeUNARY: return 1;
    case nodeBINARY: return 2;
    case nodeCOMPARE: return 4;
    case nodeFIELD: return 2;
    case nodeCONST: return 3;
    case nodeCONTINUE: return 1;
    case nodeLIST: return 5;
    case nodeLISTELEM: return 2;
    default: return -1;
  }
}

bool IsBooleanVariant(const Variant& v) { return v.VType() == host::varBoolean; }

// VariantCompareCase, bound within this file so that the evaluator's calls are direct.
int CompareValues(const Variant& L, const Variant& R, bool CaseSensitive);

// Counts the evaluator's recursion for the duration of one call.
class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : FDepth(depth) { ++FDepth; }
  ~DepthGuard() { --FDepth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& FDepth;
};

// Makes R a plain value.
void SetBoolean(TRetStruct& R, bool Value) {
  R.StType = rstVariant;
  R.Field = nullptr;
  R.List.reset();
  R.Const = nullptr;
  R.v.SetBoolean(Value);
}

void SetValue(TRetStruct& R, Variant&& Value) {
  R.StType = rstVariant;
  R.Field = nullptr;
  R.List.reset();
  R.Const = nullptr;
  R.v = std::move(Value);
}

}  // namespace

// ---- list of list elements ------------------------------------------------------------------

TListStructList::~TListStructList() { Clear(); }

void TListStructList::Clear() {
  for (int i = 0; i < Count(); ++i) delete Get(i);
  host::TList::Clear();
}

// ---- construction ---------------------------------------------------------------------------

TParseVerifier::TParseVerifier(host::TDataSet* DataSet, const std::uint8_t* ParseData)
    : FOwnResolver(MakeDataSetFieldResolver(DataSet)), FDataSet(FOwnResolver.get()), FParseData(ParseData) {}

TParseVerifier::TParseVerifier(TExprFieldResolver& DataSet, const std::uint8_t* ParseData)
    : FDataSet(&DataSet), FParseData(ParseData) {}

TParseVerifier::~TParseVerifier() = default;

void TParseVerifier::Error(const std::string& Message) const { KxDatabaseError(FDataSet->GetComponent(), Message); }

void TParseVerifier::Error(TKxMessage Message) const { Error(Message.Text()); }

void TParseVerifier::ErrorOp(TKxMessage Message, int Number) const {
  KxDatabaseErrorFmt(FDataSet->GetComponent(), Message.Text(), {Number});
}

void TParseVerifier::Damaged() const { Error(SExprIncorrect); }

bool TParseVerifier::Verify() {
  if (FParseData == nullptr) return true;
  FTotalSize = Get16(FParseData + 2);
  FLiteralStart = Get16(FParseData + 8);
  if (Get16(FParseData + 6) != CANEXPRSIZE || FLiteralStart < CANEXPRSIZE + 2 || FLiteralStart > FTotalSize)
    Damaged();
  FDepth = 0;
  FChain.clear();
  try {
    TRetStruct& result = Slot(0);
    ProceedNode(FRoot, 0, result);
    if (result.StType != rstVariant) Error(SKxParseBadOperandType);
    const Variant& value = result.Value();
    return IsBooleanVariant(value) ? value.RawBoolean() : value.AsBoolean();
  } catch (const EStopOnContinueOperator&) {
    return false;
  }
}

TRetStruct& TParseVerifier::Slot(int Depth) {
  const auto i = static_cast<std::size_t>(Depth);
  while (FSlots.size() <= i) FSlots.push_back(std::make_unique<TRetStruct>());
  return *FSlots[i];
}

TParseVerifier::Node& TParseVerifier::NodeAt(int Offset) {
  if (Offset >= 0 && static_cast<std::size_t>(Offset) < FNodeIndex.size()) {
    Node* n = FNodeIndex[static_cast<std::size_t>(Offset)];
    if (n != nullptr) return *n;
  }
  return DecodeNode(Offset);
}

// Nothing is kept until every check has passed.
TParseVerifier::Node& TParseVerifier::DecodeNode(int Offset) {
  const std::size_t start = CANEXPRSIZE + static_cast<std::size_t>(Offset);
  if (Offset < 0 || start + CANHDRSIZE > FLiteralStart) Damaged();
  const std::uint8_t nodeClass = FParseData[start];
  const int count = OperandCount(nodeClass);
  if (count < 0) ErrorOp(SKxParseUnknownNodeType, nodeClass);
  if (start + CANHDRSIZE + 2 * static_cast<std::size_t>(count) > FLiteralStart) Damaged();
  auto n = std::make_unique<Node>();
  n->nodeClass = nodeClass;
  n->op = FParseData[start + 1];
  for (int i = 0; i < count; ++i) n->operands[i] = Get16(FParseData + start + CANHDRSIZE + 2 * i);
  if (FNodeIndex.empty()) FNodeIndex.assign(FLiteralStart - CANEXPRSIZE, nullptr);
  Node*& slot = FNodeIndex[static_cast<std::size_t>(Offset)];
  FNodes.push_back(std::move(n));
  slot = FNodes.back().get();
  return *slot;
}

// ---- values ------------------------------------------------------------------------------------

// The value of an operand: its variant, or its field's value read into Temp.
const Variant& TParseVerifier::ValueOf(const TRetStruct& R, Variant& Temp) const {
  switch (R.StType) {
    case rstVariant: return R.Value();
    case rstField: return Temp = R.Field->GetAsVariant();
    default: Error(SKxBadRetStructType);
  }
}

namespace {

Variant ElementValue(const TListStruct& e) { return e.IsVariant ? e.v : e.Field->GetAsVariant(); }

}  // namespace

// ---- nodes -------------------------------------------------------------------------------------

void TParseVerifier::ProceedNode(Node*& Link, int Offset, TRetStruct& Result) {
  DepthGuard guard(FDepth);
  if (FDepth > MaxDepth) Error(SKxExprTooDeep);
  if (Link == nullptr) Link = &NodeAt(Offset);
  Node& n = *Link;
  Result.List.reset();
  Result.Field = nullptr;
  Result.Const = nullptr;
  Result.StType = rstVariant;
  switch (n.nodeClass) {
    case nodeUNARY: ProceedUnaryNode(n, Result); break;
    case nodeBINARY: ProceedBinaryNode(n, Result); break;
    case nodeCOMPARE: ProceedCompareNode(n, Result); break;
    case nodeFIELD: ProceedFieldNode(n, Result); break;
    case nodeCONST: ProceedConstNode(n, Result); break;
    case nodeCONTINUE: ProceedContinueNode(n, Result); break;
    case nodeLIST:
    case nodeLISTELEM: ProceedListNode(n, Result); break;
    default: ErrorOp(SKxParseUnknownNodeType, n.nodeClass);
  }
}

void TParseVerifier::ProceedFieldNode(const Node& N, TRetStruct& Result) {
  if (N.op != canFIELD2) ErrorOp(SKxParseUnknownOperType, N.op);
  TExprField* field = FDataSet->GetField(N.Operand(0));
  if (field == nullptr) Damaged();
  Result.StType = rstField;
  Result.Field = field;
}

void TParseVerifier::ProceedConstNode(Node& N, TRetStruct& Result) {
  if (N.op != canCONST2) ErrorOp(SKxParseUnknownOperType, N.op);
  Result.StType = rstVariant;
  Result.Const = &Constant(N);
}

// The buffer does not change while the verifier lives, so a constant decodes the same every
// time; one that fails to decode is not kept and fails again at each evaluation.
const Variant& TParseVerifier::Constant(Node& N) {
  if (!N.decoded) {
    N.constant = DecodeConstant(N);
    N.decoded = true;
  }
  return N.constant;
}

Variant TParseVerifier::DecodeConstant(const Node& N) const {
  const int type = N.Operand(0);
  const std::size_t size = N.Operand(1);
  const std::size_t start = FLiteralStart + N.Operand(2);
  if (start > FTotalSize) Damaged();
  const std::uint8_t* p = FParseData + start;
  auto need = [&](std::size_t n) {
    if (start + n > FTotalSize) Damaged();
  };
  auto little = [&](std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    return v;
  };
  Variant result;
  switch (type) {
    case host::ftString:
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftFixedChar:
    case host::ftWideString: {
      const void* nul = std::memchr(p, 0, FTotalSize - start);
      if (nul == nullptr) Damaged();
      result = Variant(std::string(reinterpret_cast<const char*>(p), static_cast<const std::uint8_t*>(nul) - p));
      break;
    }
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftAutoInc:
    case host::ftLargeint:
    case host::ftWord: {
      const bool word = type == host::ftWord;
      need(size);
      switch (size) {
        case 1:
          // A signed byte reads as a Smallint: every comparison accepts that kind on the left.
          result = word ? Variant(static_cast<unsigned char>(little(1)))
                          : Variant(static_cast<short>(static_cast<std::int8_t>(little(1))));
          break;
        case 2:
          result = word ? Variant(static_cast<unsigned short>(little(2)))
                          : Variant(static_cast<short>(static_cast<std::int16_t>(little(2))));
          break;
        case 4:
          result = Variant(static_cast<std::int32_t>(little(4)));
          break;
        case 8:
          result = Variant(host::IntToStr(static_cast<std::int64_t>(little(8))));
          break;
        default:
          result = Variant(std::int32_t{0});
      }
      break;
    }
    case host::ftBoolean:
      need(1);
      result = Variant(p[0] != 0);
      break;
    case host::ftFloat: {
      need(8);
      double d;
      std::memcpy(&d, p, 8);
      result = Variant(d);
      break;
    }
    case host::ftBCD:
      need(8);
      result = Variant(host::Currency::FromRaw(static_cast<std::int64_t>(little(8))));
      break;
    case host::ftDate:
    case host::ftTime:
    case host::ftDateTime: {
      need(8);
      double d;
      std::memcpy(&d, p, 8);
      result = Variant(host::TDateTime(d));
      break;
    }
    default:
      Error(SKxParseBadDataType);
  }
  return result;
}

void TParseVerifier::ProceedListNode(Node& N, TRetStruct& Result) {
  if (N.op != canLIST2 && N.op != canLISTELEM2)
    ErrorOp(SKxParseUnknownOperType, N.op);
  Result.StType = rstList;
  Result.List = std::make_unique<TListStructList>();
  // A chain longer than the node area could hold loops.
  std::size_t steps = (FLiteralStart - CANEXPRSIZE) / (CANHDRSIZE + 4) + 1;
  Node* elem = &N;
  for (;;) {
    if (steps-- == 0) Damaged();
    TRetStruct value;
    ProceedNode(elem->kids[0], elem->Operand(0), value);
    AppendListItem(*Result.List, value);
    const int next = elem->Operand(1);
    if (next == 0) break;
    if (elem->kids[1] == nullptr) elem->kids[1] = &NodeAt(next);
    elem = elem->kids[1];
    if (elem->nodeClass != nodeLISTELEM && elem->nodeClass != nodeLIST) Damaged();
  }
}

void TParseVerifier::AppendListItem(TListStructList& List, TRetStruct& Value) {
  if (Value.StType != rstVariant && Value.StType != rstField) Error(SKxBadRetStructType);
  auto item = std::make_unique<TListStruct>();
  item->IsVariant = Value.StType == rstVariant;
  if (item->IsVariant) item->v = Value.Value();
  item->Field = Value.Field;
  List.Add(item.get());
  item.release();
}

void TParseVerifier::ProceedUnaryNode(Node& N, TRetStruct& Result) {
  TRetStruct& operand = Slot(FDepth);
  ProceedNode(N.kids[0], N.Operand(0), operand);
  ApplyUnary(N, operand, Result);
}

void TParseVerifier::ApplyUnary(const Node& N, TRetStruct& operand, TRetStruct& Result) {
  Result.StType = rstVariant;
  switch (N.op) {
    case canISBLANK:
    case canNOTBLANK: {
      bool blank;
      switch (operand.StType) {
        case rstList: blank = operand.List->Count() == 0; break;
        case rstField: blank = operand.Field->IsNull(); break;
        default: blank = operand.Value().IsEmpty(); break;
      }
      Result.v.SetBoolean(N.op == canISBLANK ? blank : !blank);
      break;
    }
    case canNOT: {
      Variant temp;
      const Variant& value = ValueOf(operand, temp);
      if (IsBooleanVariant(value))
        Result.v.SetBoolean(!value.RawBoolean());
      else
        Result.v = host::VarNot(value);
      break;
    }
    case canFIELD2:
      if (operand.StType != rstField) Error(SKxBadRetStructType);
      Result.StType = rstField;
      Result.Field = operand.Field;
      break;
    case canCONST2:
      if (operand.StType != rstVariant) Error(SKxBadRetStructType);
      Result.v = operand.Value();
      break;
    case canMINUS:
      {
      Variant temp;
      Result.v = host::VarNeg(ValueOf(operand, temp));
      }
      break;
    case canCONTINUE2: {
      bool value;
      if (operand.StType == rstField)
        value = operand.Field->GetAsBoolean();
      else if (operand.StType == rstVariant)
        value = operand.Value().AsBoolean();
      else
        Error(SKxBadRetStructType);
      if (!value) throw EStopOnContinueOperator(nameAndOwnerName(FDataSet->GetComponent()));
      Result.v.SetBoolean(true);
      break;
    }
    case canUPPER:
    case canLOWER: {
      std::string text;
      if (operand.StType == rstField)
        text = operand.Field->GetAsString();
      else if (operand.StType == rstVariant)
        text = operand.Value().AsString();
      else
        Error(SKxBadRetStructType);
      Result.v = Variant(N.op == canUPPER ? host::AnsiUpperCase(text) : host::AnsiLowerCase(text));
      break;
    }
    default:
      ErrorOp(SKxParseUnknownOperType, N.op);
  }
}

void TParseVerifier::ProceedContinueNode(Node& N, TRetStruct& Result) {
  TRetStruct operand;
  ProceedNode(N.kids[0], N.Operand(0), operand);
  ApplyContinue(N, operand, Result);
}

void TParseVerifier::ApplyContinue(const Node& N, TRetStruct& operand, TRetStruct& Result) {
  auto truth = [&]() -> bool {
    if (operand.StType == rstField) return operand.Field->GetAsBoolean();
    if (operand.StType == rstVariant) return operand.Value().AsBoolean();
    Error(SKxBadRetStructType);
  };
  bool fails = false;
  switch (N.op) {
    case canISBLANK:
      fails = operand.StType == rstList    ? true
              : operand.StType == rstField ? !operand.Field->IsNull()
                                           : !operand.Value().IsEmpty();
      break;
    case canNOTBLANK:
      fails = operand.StType == rstList    ? operand.List == nullptr
              : operand.StType == rstField ? operand.Field->IsNull()
                                           : operand.Value().IsEmpty();
      break;
    case canNOT:
      fails = truth();
      break;
    case canFIELD2:
      if (operand.StType != rstField) Error(SKxBadRetStructType);
      fails = !truth();
      break;
    case canCONST2:
      if (operand.StType != rstVariant) Error(SKxBadRetStructType);
      fails = !truth();
      break;
    case canCONTINUE2:
      fails = !truth();
      break;
    default:
      ErrorOp(SKxParseUnknownOperType, N.op);
  }
  if (fails) throw EStopOnContinueOperator(nameAndOwnerName(FDataSet->GetComponent()));
  Result.StType = rstVariant;
  Result.v.SetBoolean(true);
}

// Binary nodes. A chain of binary nodes down the first operands (a OR b OR c ..., x + y + z)
// is walked with a loop, deepest first, so the stack does not grow with its length; only the
// second operands recurse.
void TParseVerifier::ProceedBinaryNode(Node& N, TRetStruct& Result) {
  const std::size_t base = FChain.size();
  CollectChain(N);
  try {
    // Result carries the value of the chain so far.
    Node& deepest = *FChain.back();
    ProceedNode(deepest.kids[0], deepest.Operand(0), Result);
    TRetStruct& right = Slot(FDepth);
    while (FChain.size() > base) {
      Node& node = *FChain.back();
      FChain.pop_back();
      const auto op = static_cast<tCANOp>(node.op);
      if (ShortCircuit(op, Result)) continue;
      ProceedNode(node.kids[1], node.Operand(1), right);
      ApplyBinary(op, Result, right, Result);
    }
  } catch (host::Exception& e) {
    AppendClause(e);
    throw;
  }
}

// Pushes N and the binary nodes down its first operands onto FChain, deepest last. The first
// time, each node below is decoded and checked and a chain too long for the node area (one
// that loops) is refused; once a chain has been collected whole, its length is kept and later
// records follow the links alone.
void TParseVerifier::CollectChain(Node& N) {
  const std::size_t base = FChain.size();
  if (N.chainLength != 0) {
    Node* node = &N;
    for (std::size_t i = N.chainLength; i > 0; --i) {
      FChain.push_back(node);
      node = node->kids[0];
    }
    return;
  }
  const std::size_t limit = base + (FLiteralStart - CANEXPRSIZE) / (CANHDRSIZE + 4) + 1;
  FChain.push_back(&N);
  for (;;) {
    Node& above = *FChain.back();
    if (above.kids[0] == nullptr) above.kids[0] = &NodeAt(above.Operand(0));
    Node& below = *above.kids[0];
    if (below.nodeClass != nodeBINARY) break;
    if (FChain.size() >= limit) Damaged();
    FChain.push_back(&below);
  }
  // Every node of the chain heads the rest of it.
  for (std::size_t i = base; i < FChain.size(); ++i) FChain[i]->chainLength = FChain.size() - i;
}

// AND with a false Boolean on the left is False, OR with a true one True, without the right
// side being evaluated.
bool TParseVerifier::ShortCircuit(tCANOp Op, TRetStruct& Left) const {
  if (Left.StType != rstVariant || !IsBooleanVariant(Left.Value())) return false;
  const bool value = Left.Value().RawBoolean();
  return (Op == canAND && !value) || (Op == canOR && value);
}

// The dataset's component clause, once.
void TParseVerifier::AppendClause(host::Exception& E) const {
  const std::string clause = nameAndOwnerName(FDataSet->GetComponent());
  if (!clause.empty() && E.Message().find(clause) == std::string::npos)
    E.SetMessage(E.Message() + maybePeriod(E.Message()) + clause);
}

// Result may be Left itself: everything is read from the operands before Result is written.
void TParseVerifier::ApplyBinary(tCANOp Op, TRetStruct& Left, TRetStruct& Right, TRetStruct& Result) {
  if (Op == canASSIGN) {
    if (Left.StType == rstField && Right.StType == rstVariant)
      Left.Field->SetAsVariant(Right.Value());
    else if (Right.StType == rstField && Left.StType == rstVariant)
      Right.Field->SetAsVariant(Left.Value());
    else
      Error(SKxBadRetStructType);
    SetBoolean(Result, true);
  } else if (Left.StType == rstList || Right.StType == rstList) {
    if (Op == canSUM || Op == canMIN || Op == canMAX || Op == canAVG)
      SetValue(Result, ProcessListAggregate(Op, Left, Right));
    else
      SetBoolean(Result, ProcessLists(Op, Left, Right));
  } else if (Left.StType == rstField) {
    // A field's value is read straight into a local (no temporary to move); the left side
    // is read before the right one.
    const Variant l = Left.Field->GetAsVariant();
    if (Right.StType == rstField) {
      const Variant r = Right.Field->GetAsVariant();
      ApplyValues(Op, l, r, Result);
    } else {
      ApplyValues(Op, l, Right.Value(), Result);
    }
  } else if (Right.StType == rstField) {
    const Variant r = Right.Field->GetAsVariant();
    ApplyValues(Op, Left.Value(), r, Result);
  } else {
    ApplyValues(Op, Left.Value(), Right.Value(), Result);
  }
}

// L or R may be Result's own value: it is written last.
void TParseVerifier::ApplyValues(tCANOp Op, const Variant& l, const Variant& r, TRetStruct& Result) {
  switch (Op) {
    case canEQ: case canNE: case canGT: case canLT: case canGE: case canLE: {
      const int c = CompareValues(l, r, true);
      bool b;
      switch (Op) {
        case canEQ: b = c == 0; break;
        case canNE: b = c != 0 && c != -100; break;
        case canGT: b = c == 1; break;
        case canLT: b = c == -1; break;
        case canGE: b = c == 0 || c == 1; break;
        default: b = c == 0 || c == -1; break;
      }
      SetBoolean(Result, b);
      break;
    }
    case canIN: SetBoolean(Result, false); break;
    case canAND:
    case canOR:
      // Two Booleans give what VarAnd and VarOr would; anything else takes their way.
      if (IsBooleanVariant(l) && IsBooleanVariant(r))
        SetBoolean(Result, Op == canAND ? l.RawBoolean() && r.RawBoolean() : l.RawBoolean() || r.RawBoolean());
      else
        SetValue(Result, Op == canAND ? host::VarAnd(l, r) : host::VarOr(l, r));
      break;
    default:
      SetValue(Result, Arithmetic(Op, l, r));
      break;
  }
}

Variant TParseVerifier::Arithmetic(tCANOp Op, const Variant& l, const Variant& r) const {
  Variant out;
  switch (Op) {
    case canADD:
    case canSUM: out = host::VarAdd(l, r); break;
    case canSUB: out = host::VarSub(l, r); break;
    case canMUL: out = host::VarMul(l, r); break;
    case canDIV: out = host::VarDiv(l, r); break;
    case canMOD: {
      const Variant q = host::VarDiv(l, r);
      out = q.IsNull() ? q : Variant(std::fabs(q.AsDouble()));
      break;
    }
    case canREM: out = host::VarMod(l, r); break;
    case canMIN:
    case canMAX: {
      const double x = l.AsDouble();
      const double y = r.AsDouble();
      out = Variant(Op == canMIN ? std::min(x, y) : std::max(x, y));
      break;
    }
    case canAVG: out = host::VarDiv(host::VarAdd(l, r), Variant(2)); break;
    default:
      ErrorOp(SKxParseUnknownOperType, Op);
  }
  return out;
}

bool TParseVerifier::ProcessLists(tCANOp Op, TRetStruct& Left, TRetStruct& Right) {
  const bool bothLists = Left.StType == rstList && Right.StType == rstList;
  switch (Op) {
    case canEQ: {
      if (!bothLists || Left.List->Count() != Right.List->Count()) return false;
      for (int i = 0; i < Left.List->Count(); ++i)
        if (CompareValues(ElementValue(*Left.List->Get(i)), ElementValue(*Right.List->Get(i)), true) != 0) return false;
      return true;
    }
    case canNE: {
      if (!bothLists || Left.List->Count() != Right.List->Count()) return true;
      for (int i = 0; i < Left.List->Count(); ++i) {
        const int c = CompareValues(ElementValue(*Left.List->Get(i)), ElementValue(*Right.List->Get(i)), true);
        if (c == 0 || c == -100) return false;
      }
      return true;
    }
    case canIN: {
      TRetStruct& list = Right.StType == rstList ? Right : Left;
      TRetStruct& other = Right.StType == rstList ? Left : Right;
      if (other.StType == rstList) Error(SKxBadRetStructType);
      Variant temp;
      const Variant& value = ValueOf(other, temp);
      for (int i = 0; i < list.List->Count(); ++i)
        if (CompareValues(value, ElementValue(*list.List->Get(i)), true) == 0) return true;
      return false;
    }
    default:
      Error(SKxBadRetStructType);
  }
}

Variant TParseVerifier::ProcessListAggregate(tCANOp Op, TRetStruct& Left, TRetStruct& Right) {
  std::vector<Variant> values;
  for (TRetStruct* side : {&Left, &Right}) {
    if (side->StType == rstList) {
      for (int i = 0; i < side->List->Count(); ++i) values.push_back(ElementValue(*side->List->Get(i)));
    } else {
      Variant temp;
      values.push_back(ValueOf(*side, temp));
    }
  }
  if (Op == canMIN || Op == canMAX || Op == canAVG) {
    if (values.empty()) Error(SKxResultUndefine);
  }
  if (Op == canMIN || Op == canMAX) {
    double best = values.front().AsDouble();
    for (const Variant& v : values) {
      const double d = v.AsDouble();
      if (Op == canMIN ? d < best : d > best) best = d;
    }
    return Variant(best);
  }
  Variant sum = Variant(std::int32_t{0});
  for (const Variant& v : values) sum = host::VarAdd(sum, v);
  if (Op == canAVG) return host::VarDiv(sum, Variant(static_cast<std::int32_t>(values.size())));
  return sum;
}

void TParseVerifier::ProceedCompareNode(Node& N, TRetStruct& Result) {
  if (N.op != canEQ && N.op != canNE && N.op != canLIKE)
    ErrorOp(SKxParseUnknownOperType, N.op);
  TRetStruct left;
  TRetStruct right;
  ProceedNode(N.kids[0], N.Operand(2), left);
  ProceedNode(N.kids[1], N.Operand(3), right);
  ApplyCompare(N, left, right, Result);
}

void TParseVerifier::ApplyCompare(const Node& N, TRetStruct& left, TRetStruct& right, TRetStruct& Result) {
  const bool caseless = N.Operand(0) != 0;
  const std::size_t partial = N.Operand(1);

  auto text = [&](const TRetStruct& r) -> std::string {
    if (r.StType == rstField) return r.Field->GetAsString();
    if (r.StType == rstVariant) return r.Value().AsString();
    Error(SKxBadRetStructType);
  };
  auto matches = [&](std::string l, std::string r) {
    if (partial > 0) {
      l = host::Utf8Copy(l, 0, partial);
      r = host::Utf8Copy(r, 0, partial);
    }
    if (caseless) {
      l = host::AnsiLowerCase(l);
      r = host::AnsiLowerCase(r);
    }
    // Identical bytes are equal under every collation.
    return l == r || host::AnsiCompareStr(l, r) == 0;
  };

  bool match;
  if (left.StType == rstList) {
    if (right.StType != rstList) Error(SKxBadRetStructType);
    match = left.List->Count() == right.List->Count();
    for (int i = 0; match && i < left.List->Count(); ++i) {
      const TListStruct& a = *left.List->Get(i);
      const TListStruct& b = *right.List->Get(i);
      match = matches(a.IsVariant ? a.v.AsString() : a.Field->GetAsString(),
                      b.IsVariant ? b.v.AsString() : b.Field->GetAsString());
    }
  } else {
    match = matches(text(left), text(right));
  }
  Result.StType = rstVariant;
  Result.v.SetBoolean(N.op == canNE ? !match : match);
}

// ---- comparison of values ---------------------------------------------------------------------

int VariantCompare(const Variant& L, const Variant& R) { return CompareValues(L, R, true); }

int VariantCompareCase(const Variant& L, const Variant& R, bool CaseSensitive) {
  return CompareValues(L, R, CaseSensitive);
}

namespace {

int CompareValues(const Variant& L, const Variant& R, bool CaseSensitive) {
  auto sign = [](auto a, auto b) { return a == b ? 0 : (a > b ? 1 : -1); };
  // Two values of the same simple kind compare directly, as the general way below would
  // compare them (a NaN is smaller than everything, as there).
  if (L.VType() == R.VType()) {
    switch (L.VType()) {
      case host::varSmallint:
      case host::varInteger:
      case host::varByte:
      case host::varWord:
      case host::varCurrency: return sign(L.RawInt(), R.RawInt());
      case host::varSingle:
      case host::varDouble:
      case host::varDate: return sign(L.RawReal(), R.RawReal());
      case host::varBoolean: return sign(int{L.RawBoolean()}, int{R.RawBoolean()});
      case host::varString:
        // Identical bytes are equal under every collation, with or without case.
        if (L.RawText() == R.RawText()) return 0;
        return sign(CaseSensitive ? host::AnsiCompareStr(L.RawText(), R.RawText())
                                  : host::AnsiCompareText(L.RawText(), R.RawText()),
                    0);
      default: break;
    }
  }
  if (R.IsNull() || L.IsEmpty() || L.IsNull()) return -100;
  switch (L.VType()) {
    case host::varSmallint:
    case host::varInteger:
    case host::varByte:
    case host::varWord:
    case host::varSingle:
    case host::varDouble:
    case host::varCurrency:
    case host::varBoolean: {
      // The right side in the left side's type, then equal, else greater, else smaller.
      const host::TVariantRelationship rel = R.VType() == L.VType()
                                                 ? host::VarCompareValue(L, R)
                                                 : host::VarCompareValue(L, host::VarAsType(R, L.VType()));
      return rel == host::TVariantRelationship::vrEqual ? 0 : (rel == host::TVariantRelationship::vrGreaterThan ? 1 : -1);
    }
    case host::varDate:
      return sign(L.AsDouble(), R.AsDouble());
    case host::varString: {
      const std::string r = R.AsString();
      if (L.RawText() == r) return 0;
      const int c = CaseSensitive ? host::AnsiCompareStr(L.RawText(), r) : host::AnsiCompareText(L.RawText(), r);
      return sign(c, 0);
    }
    default:
      throw host::Exception(static_cast<std::string>(SKxBadVariantType));
  }
}

}  // namespace

}  // namespace kx
