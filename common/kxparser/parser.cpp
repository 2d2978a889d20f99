// TExprParser: the tokenizer and the grammar of the filter language.
//
// The text is scanned byte by byte (framework text is UTF-8, so the 8-bit view is the text
// itself); identifiers take whole UTF-8 characters, and cuts never split a character.

#include <cctype>
#include <string>

#include "common/kxconst.h"
#include "common/kxparser.h"
#include "common/kxparser/internal.h"
#include "common/kxtables/errors.h"
#include "platform/db/dbconsts.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace kx {

using host::TFieldType;
using host::Variant;

namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// Bytes $81..$FE start (and continue) a name: in UTF-8 these are the bytes of non-ASCII
// characters.
bool IsHighNameByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool IsRelOp(TExprToken t) {
  switch (t) {
    case etEQ: case etNE: case etGE: case etLE: case etGT: case etLT:
    case etLIKE: case etISNULL: case etISNOTNULL: case etIN:
      return true;
    default:
      return false;
  }
}

bool IsTextType(int t) {
  return t == host::ftString || t == host::ftFixedChar || t == host::ftWideString ||
         t == host::ftMemo || t == host::ftFmtMemo;
}

const char* const kFunctionNames[] = {"UPPER", "LOWER",  "SUBSTRING", "TRIM",    "TRIMLEFT",
                                      "TRIMRIGHT", "YEAR", "MONTH",   "DAY",     "HOUR",
                                      "MINUTE", "SECOND", "GETDATE",  "DATE",    "TIME",
                                      "SUM",    "MIN",    "MAX",      "AVG",     "COUNT"};

bool IsFunctionName(std::string_view name) {
  for (const char* f : kFunctionNames)
    if (host::SameText(name, f)) return true;
  return false;
}

// Counts the nesting of the grammar's recursion for the duration of one call.
class NestingGuard {
 public:
  explicit NestingGuard(int& depth) : FDepth(depth) { ++FDepth; }
  ~NestingGuard() { --FDepth; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  int& FDepth;
};

// Scope of a node from the scopes of two operands.
bool CombineScope(TExprScopeKind l, TExprScopeKind r, TExprScopeKind& result) {
  if ((l == skField && r == skAgg) || (l == skAgg && r == skField)) return false;
  if (l == skConst && r == skConst)
    result = skConst;
  else if (l == skAgg || r == skAgg)
    result = skAgg;
  else
    result = skField;
  return true;
}

}  // namespace

// ---- construction ---------------------------------------------------------------------------

TExprParser::TExprParser(host::TDataSet* DataSet, std::string_view Text, host::TFilterOptions Options,
                         TParserOptions ParserOptions, std::string_view FieldName,
                         host::TBits* DependentFields)
    : FOwnResolver(MakeDataSetFieldResolver(DataSet)),
      FResolver(FOwnResolver.get()),
      FStrTrue(host::STextTrue),
      FStrFalse(host::STextFalse),
      FParserOptions(ParserOptions),
      FFieldName(FieldName),
      FDependentFields(DependentFields) {
  FFilter = std::make_unique<TFilterExpr>(FResolver, Options, ParserOptions, FFieldName, FDependentFields);
  if (!Text.empty()) SetExprParams(Text, Options, ParserOptions, FieldName);
}

TExprParser::TExprParser(TExprFieldResolver& DataSet, std::string_view Text, host::TFilterOptions Options,
                         TParserOptions ParserOptions, std::string_view FieldName,
                         host::TBits* DependentFields)
    : FResolver(&DataSet),
      FStrTrue(host::STextTrue),
      FStrFalse(host::STextFalse),
      FParserOptions(ParserOptions),
      FFieldName(FieldName),
      FDependentFields(DependentFields) {
  FFilter = std::make_unique<TFilterExpr>(FResolver, Options, ParserOptions, FFieldName, FDependentFields);
  if (!Text.empty()) SetExprParams(Text, Options, ParserOptions, FieldName);
}

TExprParser::~TExprParser() = default;

void TExprParser::Error(const std::string& Message) const {
  KxDatabaseError(FResolver->GetComponent(), Message);
}

void TExprParser::Error(TKxMessage Message) const { Error(Message.Text()); }

void TExprParser::Error(host::TDbMessage Message) const { Error(Message.Text()); }

void TExprParser::ErrorFmt(const std::string& Format, const std::string& Arg) const {
  KxDatabaseErrorFmt(FResolver->GetComponent(), Format, {host::FormatArg(Arg)});
}

void TExprParser::ErrorToken(host::TDbMessage Message) const { ErrorFmt(Message.Text(), TokenName()); }

void TExprParser::ErrorTooDeep() const { Error(SKxExprTooDeep); }

void TExprParser::SetExprParams(std::string_view Text, host::TFilterOptions Options,
                                TParserOptions ParserOptions, std::string_view FieldName) {
  // The previous tree and buffer go first, so a failed parse leaves no stale buffer behind.
  FFilterData = nullptr;
  FDataSize = 0;
  FFilter.reset();
  FParserOptions = ParserOptions;
  FFieldName = std::string(FieldName);
  FFilter = std::make_unique<TFilterExpr>(FResolver, Options, ParserOptions, FFieldName, FDependentFields);

  // The text ends at its first NUL, as the 8-bit text the engines receive would.
  const auto nul = Text.find('\0');
  FText = std::string(nul == std::string_view::npos ? Text : Text.substr(0, nul));
  FSourcePtr = 0;
  FTokenPtr = 0;
  FToken = etEnd;
  FPrevToken = etEnd;
  FNumericLit = false;
  FNesting = 0;

  NextToken();
  TExprNode* root = ParseExpr();
  if (FToken != etEnd) Error(SExprTermination);

  if (FParserOptions.Contains(poAggregate)) {
    if (root->FScopeKind != skAgg) Error(SExprNotAgg);
  } else if (root->FScopeKind == skAgg) {
    Error(SExprNoAggFilter);
  }

  if (FParserOptions.Contains(poDefaultExpr)) {
    TExprNode* field = NewFieldNode(FFieldName);
    const int ft = field->FDataType;
    if ((IsTemporal(ft) || ft == host::ftBoolean) && root->FDataType == host::ftString) root->FDataType = ft;
    const int rt = root->FDataType;
    const bool compatible = (IsTemporal(ft) && IsTemporal(rt)) || (IsNumeric(ft) && IsNumeric(rt)) ||
                            (IsTextType(ft) && rt == host::ftString) ||
                            (ft == host::ftBoolean && rt == host::ftBoolean);
    if (!compatible) Error(host::SExprTypeMis);
    root = NewOperator(canASSIGN, field, root);
  }

  if (!FParserOptions.Contains(poAggregate) && !FParserOptions.Contains(poDefaultExpr) &&
      root->FDataType != host::ftBoolean)
    Error(SExprIncorrect);

  FFilterData = FFilter->GetFilterData(root);
  FDataSize = static_cast<int>(FFilter->GetExprBufSize());
}

// ---- tokenizer ------------------------------------------------------------------------------

std::string TExprParser::TokenName() const {
  if (FSourcePtr == FTokenPtr) return host::SExprNothing;
  std::string name;
  name.reserve(FSourcePtr - FTokenPtr + 2);
  name.push_back('\'');
  name.append(FText, FTokenPtr, FSourcePtr - FTokenPtr);
  name.push_back('\'');
  return name;
}

bool TExprParser::TokenSymbolIs(std::string_view S) const {
  return FToken == etSymbol && host::SameText(FTokenString, S);
}

bool TExprParser::NextNonBlankIs(char C) const {
  std::size_t p = FSourcePtr;
  while (IsBlank(static_cast<unsigned char>(At(p)))) ++p;
  return At(p) == C;
}

void TExprParser::NextToken() {
  FPrevToken = FToken;
  FTokenString.clear();
  std::size_t p = FSourcePtr;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(At(i)); };

  while (IsBlank(byte(p))) ++p;
  if (byte(p) == '/' && byte(p + 1) == '*') {
    const std::size_t start = p;
    p += 2;
    for (;;) {
      if (byte(p) == 0) {
        FSourcePtr = FTokenPtr = start;
        ErrorFmt(SExprInvalidChar, "/");
      }
      if (byte(p) == '*' && byte(p + 1) == '/') {
        p += 2;
        break;
      }
      ++p;
    }
    while (IsBlank(byte(p))) ++p;
  }
  FTokenPtr = p;

  const unsigned char c = byte(p);
  if (c == 0) {
    FToken = etEnd;
  } else if (c == '\'') {
    ++p;
    std::string value;
    for (;;) {
      const unsigned char b = byte(p);
      if (b == 0) {
        FSourcePtr = p;
        Error(host::SExprStringError);
      }
      if (b == '\'') {
        if (byte(p + 1) != '\'') {
          ++p;
          break;
        }
        ++p;
      }
      // Only the first MaxLiteralChars bytes count; the rest is read and dropped.
      if (value.size() <= MaxLiteralChars) value.push_back(static_cast<char>(b));
      ++p;
    }
    FTokenString = host::Utf8Truncate(value, MaxLiteralChars);
    FToken = etLiteral;
    FNumericLit = false;
  } else if (c == '-' || IsDigit(c)) {
    if (FPrevToken == etSymbol || FPrevToken == etName || FPrevToken == etLiteral || FPrevToken == etRParen) {
      FToken = etSUB;
      ++p;
    } else {
      const char dec = host::FormatSettings().DecimalSeparator;
      ++p;
      for (;;) {
        const unsigned char b = byte(p);
        if (b == '+' || b == '-' || IsDigit(b) || b == 'E' || b == 'e' || b == static_cast<unsigned char>(dec))
          ++p;
        else
          break;
      }
      // "1, 2" with a decimal comma: the comma before a blank separates list elements.
      if (dec == ',' && byte(p - 1) == ',' && IsBlank(byte(p))) --p;
      FTokenString = FText.substr(FTokenPtr, p - FTokenPtr);
      FToken = etLiteral;
      FNumericLit = true;
    }
  } else if (IsAsciiLetter(c) || c == '_' || IsHighNameByte(c)) {
    auto takeChar = [&](std::size_t i) {
      return IsHighNameByte(byte(i)) ? host::Utf8CharLength(FText, i) : std::size_t{1};
    };
    p += takeChar(p);
    for (;;) {
      const unsigned char b = byte(p);
      if (b == '$' || b == '.' || IsDigit(b) || IsAsciiLetter(b) || b == '[' || b == ']' || b == '_')
        ++p;
      else if (IsHighNameByte(b))
        p += takeChar(p);
      else
        break;
    }
    FTokenString = FText.substr(FTokenPtr, p - FTokenPtr);
    FToken = etSymbol;
    if (host::SameText(FTokenString, "LIKE")) {
      FToken = etLIKE;
    } else if (host::SameText(FTokenString, "IN")) {
      FToken = etIN;
    } else if (host::SameText(FTokenString, "IS")) {
      auto readWord = [&]() {
        while (IsBlank(byte(p))) ++p;
        const std::size_t start = p;
        while (IsAsciiLetter(byte(p))) ++p;
        return FText.substr(start, p - start);
      };
      const std::string word = readWord();
      if (host::SameText(word, "NULL")) {
        FToken = etISNULL;
      } else if (host::SameText(word, "NOT") && host::SameText(readWord(), "NULL")) {
        FToken = etISNOTNULL;
      } else {
        FSourcePtr = p;
        Error(host::SInvalidKeywordUse);
      }
    }
  } else if (c == '[') {
    ++p;
    const std::size_t start = p;
    while (byte(p) != 0 && byte(p) != ']') ++p;
    if (byte(p) == 0) {
      FSourcePtr = p;
      Error(host::SExprNameError);
    }
    FTokenString = FText.substr(start, p - start);
    ++p;
    FToken = etName;
  } else {
    ++p;
    switch (c) {
      case '(': FToken = etLParen; break;
      case ')': FToken = etRParen; break;
      case '*': FToken = etMUL; break;
      case '+': FToken = etADD; break;
      case ',': FToken = etComma; break;
      case '/': FToken = etDIV; break;
      case '=': FToken = etEQ; break;
      case '<':
        if (byte(p) == '=') {
          FToken = etLE;
          ++p;
        } else if (byte(p) == '>') {
          FToken = etNE;
          ++p;
        } else {
          FToken = etLT;
        }
        break;
      case '>':
        if (byte(p) == '=') {
          FToken = etGE;
          ++p;
        } else {
          FToken = etGT;
        }
        break;
      default:
        FSourcePtr = p;
        ErrorFmt(SExprInvalidChar, CharForMessage(c));
    }
  }
  FSourcePtr = p;
}

// ---- grammar --------------------------------------------------------------------------------

TExprNode* TExprParser::NewFieldNode(const std::string& Name) {
  TExprField& field = FFilter->GetFieldByName(Name);
  TExprNode* node = FFilter->NewNode(enField, canNOTDEFINED, Variant(Name), nullptr, nullptr);
  node->FDataType = field.GetDataType();
  node->FDataSize = field.GetSize();
  node->FScopeKind = skField;
  return node;
}

TExprNode* TExprParser::NewConstNode(const Variant& Value, TFieldType Type) {
  TExprNode* node = FFilter->NewNode(enConst, canNOTDEFINED, Value, nullptr, nullptr);
  node->FDataType = Type;
  node->FScopeKind = skConst;
  return node;
}

TExprNode* TExprParser::NewOperator(tCANOp Operator, TExprNode* Left, TExprNode* Right) {
  return FFilter->NewNode(enOperator, Operator, Variant(), Left, Right);
}

// A symbol standing for a value: NULL, the true and false words, or a field.
TExprNode* TExprParser::NewSymbolNode() {
  if (TokenSymbolIs("NULL")) return NewConstNode(host::Null(), host::ftUnknown);
  if (host::AnsiSameText(FTokenString, FStrTrue)) return NewConstNode(Variant(true), host::ftBoolean);
  if (host::AnsiSameText(FTokenString, FStrFalse)) return NewConstNode(Variant(false), host::ftBoolean);
  return NewFieldNode(FTokenString);
}

TExprNode* TExprParser::NewLiteralNode() {
  return NewConstNode(Variant(FTokenString), FNumericLit ? host::ftFloat : host::ftString);
}

void TExprParser::GetScopeKind(TExprNode* Root, TExprNode* Left, TExprNode* Right) {
  if (Left == nullptr && Right == nullptr) return;
  if (Left == nullptr || Right == nullptr) {
    Root->FScopeKind = (Left != nullptr ? Left : Right)->FScopeKind;
    return;
  }
  if (!CombineScope(Left->FScopeKind, Right->FScopeKind, Root->FScopeKind)) Error(host::SExprBadScope);
}

// The scope of an IN node (its left operand and its elements) or of a function (its
// arguments), combined pairwise by the rules of GetScopeKind. No operands: constant.
void TExprParser::GetScopeKindOfArgs(TExprNode* Root, bool StartWithLeft) {
  bool have = false;
  TExprScopeKind acc = skConst;
  auto add = [&](TExprScopeKind s) {
    if (!have) {
      acc = s;
      have = true;
    } else if (!CombineScope(acc, s, acc)) {
      Error(host::SExprBadScope);
    }
  };
  if (StartWithLeft && Root->FLeft != nullptr) add(Root->FLeft->FScopeKind);
  for (TExprNode* arg : Root->FArgs) add(arg->FScopeKind);
  Root->FScopeKind = acc;
}

void TExprParser::TypeCheckArithOp(TExprNode* Node) {
  TExprNode* left = Node->FLeft;
  TExprNode* right = Node->FRight;
  const int l = left->FDataType;
  const int r = right->FDataType;
  const tCANOp op = Node->FOperator;
  if (IsNumeric(l) && IsNumeric(r)) {
    Node->FDataType = host::ftFloat;
  } else if (l == host::ftString && r == host::ftString && op == canADD) {
    Node->FDataType = host::ftString;
  } else if (IsTemporal(l) && IsNumeric(r) && op == canADD) {
    Node->FDataType = host::ftDateTime;
  } else if (IsTemporal(l) && IsNumeric(r) && op == canSUB) {
    Node->FDataType = l;
  } else if (IsTemporal(l) && IsTemporal(r) && op == canSUB) {
    Node->FDataType = host::ftFloat;
  } else if (l == host::ftString && IsTemporal(r) && op == canSUB) {
    left->FDataType = r;
    Node->FDataType = host::ftFloat;
  } else if (l == host::ftString && left->FKind == enConst && IsNumeric(r)) {
    // A date written as text, shifted by a number of days.
    left->FDataType = host::ftDateTime;
    Node->FDataType = (op == canADD || op == canSUB) ? host::ftDateTime : host::ftFloat;
  } else {
    Error(host::SExprTypeMis);
  }
}

TExprNode* TExprParser::ParseExpr() {
  NestingGuard guard(FNesting);
  if (FNesting > MaxNesting) ErrorTooDeep();
  TExprNode* left = ParseExpr2();
  while (TokenSymbolIs("OR")) {
    NextToken();
    TExprNode* right = ParseExpr2();
    TExprNode* node = NewOperator(canOR, left, right);
    node->FDataType = host::ftBoolean;
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

TExprNode* TExprParser::ParseExpr2() {
  TExprNode* left = ParseExpr3();
  while (TokenSymbolIs("AND")) {
    NextToken();
    TExprNode* right = ParseExpr3();
    TExprNode* node = NewOperator(canAND, left, right);
    node->FDataType = host::ftBoolean;
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

TExprNode* TExprParser::ParseExpr3() {
  if (TokenSymbolIs("NOT")) {
    NextToken();
    TExprNode* operand = ParseExpr4();
    TExprNode* node = NewOperator(canNOT, operand, nullptr);
    node->FDataType = host::ftBoolean;
    GetScopeKind(node, operand, nullptr);
    return node;
  }
  return ParseExpr4();
}

TExprNode* TExprParser::ParseExpr4() {
  TExprNode* left;
  // A field check may leave out its field ("> 5"): the field is the one the check belongs to.
  if (FParserOptions.Contains(poFieldNameGiven) && IsRelOp(FToken))
    left = NewFieldNode(FFieldName);
  else
    left = ParseExpr5();

  tCANOp op;
  switch (FToken) {
    case etEQ: op = canEQ; break;
    case etNE: op = canNE; break;
    case etGE: op = canGE; break;
    case etLE: op = canLE; break;
    case etGT: op = canGT; break;
    case etLT: op = canLT; break;
    case etLIKE: op = canLIKE; break;
    case etISNULL: op = canISBLANK; break;
    case etISNOTNULL: op = canNOTBLANK; break;
    case etIN: op = canIN; break;
    default: return left;
  }
  NextToken();

  TExprNode* node;
  if (op == canISBLANK || op == canNOTBLANK) {
    node = NewOperator(op, left, nullptr);
    GetScopeKind(node, left, nullptr);
  } else if (op == canIN) {
    if (FToken != etLParen) ErrorToken(host::SExprNoLParen);
    NextToken();
    if (FToken == etRParen) Error(host::SExprEmptyInList);
    node = NewOperator(canIN, left, nullptr);
    ParseArgList(node, false);
    TypeCheckIn(node);
  } else {
    TExprNode* right = ParseExpr5();
    node = NewOperator(op, left, right);
    TypeCheckComparison(node);
  }
  node->FDataType = host::ftBoolean;
  return node;
}

// The operands of a comparison: a constant takes the type of the field it is compared with,
// binary values compare with nothing (LIKE on a BLOB reads it as text), and text facing a
// date, time or date-time becomes that type.
void TExprParser::TypeCheckComparison(TExprNode* Node) {
  TExprNode* left = Node->FLeft;
  TExprNode* right = Node->FRight;
  if (left->FKind == enField && right->FKind == enConst) {
    right->FDataType = left->FDataType;
    right->FDataSize = left->FDataSize;
  } else if (right->FKind == enField && left->FKind == enConst) {
    left->FDataType = right->FDataType;
    left->FDataSize = right->FDataSize;
  }
  auto isBinary = [](int t) { return t == host::ftBytes || t == host::ftBlob; };
  if (Node->FOperator == canLIKE && left->FDataType == host::ftBlob) {
    if (right->FKind == enConst) right->FDataType = host::ftString;
  } else if (isBinary(left->FDataType) || isBinary(right->FDataType)) {
    Error(host::SExprTypeMis);
  }
  if (left->FDataType == host::ftString && IsTemporal(right->FDataType))
    left->FDataType = right->FDataType;
  else if (right->FDataType == host::ftString && IsTemporal(left->FDataType))
    right->FDataType = left->FDataType;
  GetScopeKind(Node, left, right);
}

TExprNode* TExprParser::ParseExpr5() {
  TExprNode* left = ParseExpr6();
  while (FToken == etADD || FToken == etSUB) {
    if (!FParserOptions.Contains(poExtSyntax)) Error(SExprNoArith);
    const tCANOp op = FToken == etADD ? canADD : canSUB;
    NextToken();
    TExprNode* right = ParseExpr6();
    TExprNode* node = NewOperator(op, left, right);
    TypeCheckArithOp(node);
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

TExprNode* TExprParser::ParseExpr6() {
  TExprNode* left = ParseExpr7();
  while (FToken == etMUL || FToken == etDIV) {
    if (!FParserOptions.Contains(poExtSyntax)) Error(SExprNoArith);
    const tCANOp op = FToken == etMUL ? canMUL : canDIV;
    NextToken();
    TExprNode* right = ParseExpr7();
    TExprNode* node = NewOperator(op, left, right);
    TypeCheckArithOp(node);
    GetScopeKind(node, left, right);
    left = node;
  }
  return left;
}

// IN: a date, time or date-time on the left types every element.
void TExprParser::TypeCheckIn(TExprNode* Node) {
  if (IsTemporal(Node->FLeft->FDataType))
    for (TExprNode* arg : Node->FArgs) arg->FDataType = Node->FLeft->FDataType;
  GetScopeKindOfArgs(Node, true);
}

// Elements of an IN list or arguments of a function, after the "(": full expressions
// separated by "," and closed by ")".
void TExprParser::ParseArgList(TExprNode* Node, bool AllowEmpty) {
  NestingGuard guard(FNesting);
  if (FNesting > MaxNesting) ErrorTooDeep();
  if (AllowEmpty && FToken == etRParen) {
    NextToken();
    return;
  }
  for (;;) {
    AddArg(Node, ParseExpr());
    if (FToken == etComma) {
      NextToken();
      if (FToken == etEnd) ErrorToken(host::SExprNoRParen);
      continue;
    }
    if (FToken == etRParen) {
      NextToken();
      return;
    }
    ErrorToken(host::SExprNoRParenOrComma);
  }
}

void TExprParser::AddArg(TExprNode* Node, TExprNode* Arg) { Node->FArgs.push_back(Arg); }

// A function call, from its name (the current token) to its ")".
TExprNode* TExprParser::ParseFunction() {
  TExprNode* node = NewFunctionNode();
  NextToken();  // the "("
  NextToken();
  if (TypeFunctionStar(node)) {
    NextToken();
    if (FToken != etRParen) ErrorToken(host::SExprNoRParen);
    NextToken();
  } else {
    ParseArgList(node, true);
  }
  TypeFunction(node);
  return node;
}

TExprNode* TExprParser::NewFunctionNode() {
  return FFilter->NewNode(enFunc, canNOTDEFINED, Variant(host::UpperCase(FTokenString)), nullptr, nullptr);
}

// "COUNT" followed by "*" is COUNT(*).
bool TExprParser::TypeFunctionStar(TExprNode* Node) {
  if (FToken != etMUL || Node->FData.AsString() != "COUNT") return false;
  Node->FData = Variant("COUNT(*)");
  return true;
}

// The arity, result type and scope of a function.
void TExprParser::TypeFunction(TExprNode* node) {
  const std::string Name = node->FData.AsString();
  if (node->FArgs.empty() && Name != "COUNT(*)" && Name != "GETDATE") Error(host::SExprTypeMis);
  GetScopeKindOfArgs(node, false);
  if (Name == "SUM" || Name == "AVG") {
    node->FDataType = host::ftFloat;
    node->FScopeKind = skAgg;
  } else if (Name == "MIN" || Name == "MAX") {
    node->FDataType = node->FArgs.front()->FDataType;
    node->FScopeKind = skAgg;
  } else if (Name == "COUNT" || Name == "COUNT(*)") {
    node->FDataType = host::ftInteger;
    node->FScopeKind = skAgg;
  } else if (Name == "YEAR" || Name == "MONTH" || Name == "DAY" || Name == "HOUR" || Name == "MINUTE" ||
             Name == "SECOND") {
    node->FDataType = host::ftInteger;
  } else if (Name == "GETDATE") {
    node->FDataType = host::ftDateTime;
    node->FScopeKind = skConst;
  } else if (Name == "DATE") {
    node->FDataType = host::ftDate;
  } else if (Name == "TIME") {
    node->FDataType = host::ftTime;
  } else {
    node->FDataType = host::ftString;
  }
}

TExprNode* TExprParser::ParseExpr7() {
  switch (FToken) {
    case etSymbol: {
      if (FParserOptions.Contains(poExtSyntax) && NextNonBlankIs('(') && IsFunctionName(FTokenString))
        return ParseFunction();
      TExprNode* node = NewSymbolNode();
      NextToken();
      return node;
    }
    case etName: {
      TExprNode* node = NewFieldNode(FTokenString);
      NextToken();
      return node;
    }
    case etLiteral: {
      TExprNode* node = NewLiteralNode();
      NextToken();
      return node;
    }
    case etLParen: {
      NextToken();
      TExprNode* node = ParseExpr();
      if (FToken != etRParen) ErrorToken(host::SExprNoRParen);
      NextToken();
      return node;
    }
    default:
      ErrorToken(host::SExprExpected);
  }
}

}  // namespace kx
