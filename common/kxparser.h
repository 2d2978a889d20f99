// Kxparser: the filter expression language.
//
// TExprParser reads the text of a dataset filter, a lookup filter, a check constraint or a
// default value into a tree of TExprNode records (owned by a TFilterExpr), checking names
// and types against the dataset's fields, and TFilterExpr writes that tree into one
// contiguous expression buffer. TParseVerifier evaluates such a buffer against the current
// record. TConstraintCollection keeps parsed constraints.
//
// The expression buffer is the contract between producers and consumers (the record-level
// push-down reads it and writes buffers of its own), so its layout is fixed byte for byte:
// all integers little-endian, packed:
//
//   header (10 bytes)   iVer = 2, iTotalSize, iNodes = $FFFF, iNodeStart = 10, iLiteralStart
//   node area           nodes back to back, each tCANHdr + 16-bit operands; node operands
//                       are offsets from the start of the node area, the root is at 0
//   literal area        constant values and NUL-terminated names; literal operands are
//                       offsets from the start of the literal area
//
// Field values are read and written through TExprField/TExprFieldResolver, a small interface
// that a dataset implements through its fields (MakeDataSetFieldResolver) and that tests and
// benchmarks implement over plain records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/kxconst.h"
#include "platform/db/dbconsts.h"
#include "platform/db/dbtypes.h"
#include "platform/rtl/component.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sets.h"
#include "platform/rtl/variant.h"

namespace host {
class TComponent;
class TDataSet;
}  // namespace host

namespace kx {

// ---- enumerations ---------------------------------------------------------------------------

enum TParserOption : std::uint8_t {
  poExtSyntax,
  poAggregate,
  poDefaultExpr,
  poUseOrigNames,
  poFieldNameGiven,
  poFieldDepend,
};
using TParserOptions = host::TSet<TParserOption>;

enum TExprNodeKind : std::uint8_t { enField, enConst, enOperator, enFunc };

enum TExprScopeKind : std::uint8_t { skField, skAgg, skConst };

enum TExprToken : std::uint8_t {
  etEnd,
  etSymbol,
  etName,
  etLiteral,
  etLParen,
  etRParen,
  etEQ,
  etNE,
  etGE,
  etLE,
  etGT,
  etLT,
  etADD,
  etSUB,
  etMUL,
  etDIV,
  etComma,
  etLIKE,
  etISNULL,
  etISNOTNULL,
  etIN,
};

enum tNODEClass : std::uint8_t {
  nodeNULL = 0,
  nodeUNARY = 1,
  nodeBINARY = 2,
  nodeCOMPARE = 3,
  nodeFIELD = 4,
  nodeCONST = 5,
  nodeTUPLE = 6,
  nodeCONTINUE = 7,
  nodeUDF = 8,
  nodeLIST = 9,
  nodeFUNC = 10,
  nodeLISTELEM = 11,
};

enum tCANOp : std::uint8_t {
  canNOTDEFINED = 0,
  canISBLANK = 1,
  canNOTBLANK = 2,
  canEQ = 3,
  canNE = 4,
  canGT = 5,
  canLT = 6,
  canGE = 7,
  canLE = 8,
  canNOT = 9,
  canAND = 10,
  canOR = 11,
  canTUPLE2 = 12,
  canFIELD2 = 13,
  canCONST2 = 14,
  canMINUS = 15,
  canADD = 16,
  canSUB = 17,
  canMUL = 18,
  canDIV = 19,
  canMOD = 20,
  canREM = 21,
  canSUM = 22,
  canCOUNT = 23,
  canMIN = 24,
  canMAX = 25,
  canAVG = 26,
  canCONT = 27,
  canUDF2 = 28,
  canCONTINUE2 = 29,
  canLIKE = 30,
  canIN = 31,
  canLIST2 = 32,
  canUPPER = 33,
  canLOWER = 34,
  canFUNC2 = 35,
  canLISTELEM2 = 36,
  canASSIGN = 37,
};

// ---- the expression buffer ------------------------------------------------------------------
//
// These records document the layout and let readers overlay it; they are packed, so read and
// write them through memcpy (or the Get16/Put16 helpers) rather than through references.

#pragma pack(push, 1)
struct tCANExpr {
  std::uint16_t iVer;
  std::uint16_t iTotalSize;
  std::uint16_t iNodes;
  std::uint16_t iNodeStart;
  std::uint16_t iLiteralStart;
};
struct tCANHdr {
  std::uint8_t nodeClass;  // tNODEClass
  std::uint8_t canOp;      // tCANOp
};
struct tCANUnary {
  tCANHdr hdr;
  std::uint16_t iOperand1;
};
struct tCANBinary {
  tCANHdr hdr;
  std::uint16_t iOperand1;
  std::uint16_t iOperand2;
};
struct tCANCompare {
  tCANHdr hdr;
  std::uint16_t bCaseInsensitive;
  std::uint16_t iPartialLen;
  std::uint16_t iOperand1;
  std::uint16_t iOperand2;
};
struct tCANField {
  tCANHdr hdr;
  std::uint16_t iFieldNum;
  std::uint16_t iNameOffset;
};
struct tCANConst {
  tCANHdr hdr;
  std::uint16_t iType;
  std::uint16_t iSize;
  std::uint16_t iOffset;
};
struct tCANListElem {
  tCANHdr hdr;
  std::uint16_t iOffset;
  std::uint16_t iNextOffset;
};
struct tCANContinue {
  tCANHdr hdr;
  std::uint16_t iContOperand;
};
struct tCANTuple {
  tCANHdr hdr;
  std::uint16_t iSize;
};
struct tCANFunc {
  tCANHdr hdr;
  std::uint16_t iNameOffset;
  std::uint16_t iElemOffset;
};
struct tCANUdf {
  tCANHdr hdr;
  std::uint16_t iOffSzFuncName;
  std::uint16_t iOperands;
  std::uint16_t iDrvDialect;
  std::uint16_t iOffSzUDF;
};
struct tCANList {
  tCANHdr hdr;
  std::uint16_t iType;
  std::uint16_t iTotalSize;
  std::uint16_t iElemSize;
  std::uint16_t iElems;
  std::uint16_t iOffset;
};
union CANNode {
  tCANHdr canHdr;
  tCANUnary canUnary;
  tCANBinary canBinary;
  tCANCompare canCompare;
  tCANField canField;
  tCANConst canConst;
  tCANListElem canListElem;
  tCANContinue canContinue;
  tCANTuple canTuple;
  tCANFunc canFunc;
  tCANUdf canUdf;
  tCANList canList;
};
#pragma pack(pop)

static_assert(sizeof(tCANExpr) == 10);
static_assert(sizeof(tCANUnary) == 4 && sizeof(tCANBinary) == 6 && sizeof(tCANCompare) == 10);
static_assert(sizeof(tCANField) == 6 && sizeof(tCANConst) == 8 && sizeof(tCANListElem) == 6);
static_assert(sizeof(tCANContinue) == 4 && sizeof(tCANTuple) == 4 && sizeof(tCANFunc) == 6);
static_assert(sizeof(tCANUdf) == 10 && sizeof(tCANList) == 12);

inline constexpr std::uint16_t CANEXPRVERSION = 2;
inline constexpr std::size_t CANEXPRSIZE = sizeof(tCANExpr);
inline constexpr std::size_t CANHDRSIZE = sizeof(tCANHdr);
// Every size and offset of the buffer is a 16-bit field.
inline constexpr std::size_t MaxExprBufSize = 0xFFFF;

// Little-endian 16-bit access to a buffer at any alignment.
inline std::uint16_t Get16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline void Put16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// ---- field types ----------------------------------------------------------------------------

// Field type to node type: every type maps to itself.
extern const host::TFieldType FldTypeMap[host::FieldTypeCount];
// "ftUnknown" to "ftDataSet", for messages.
extern const std::string_view FldTypeStringMap[host::FieldTypeCount];
// The name of a type code for messages; codes outside the table read as "ftUnknown".
std::string_view FieldTypeCodeName(int dataType) noexcept;

bool IsNumeric(int dataType) noexcept;   // ftSmallint ftInteger ftWord ftFloat ftCurrency ftBCD ftAutoInc
bool IsTemporal(int dataType) noexcept;  // ftDate ftTime ftDateTime

// ---- field access -----------------------------------------------------------------------------

// One field of the dataset, as expressions see it: its description and its value in the
// record the dataset currently shows.
class TExprField {
 public:
  virtual ~TExprField() = default;

  virtual std::string GetFieldName() const = 0;
  virtual host::TFieldType GetDataType() const = 0;
  virtual int GetSize() const = 0;
  // Position in the dataset's field list (the buffer's iFieldNum), from 0.
  virtual int GetIndex() const = 0;
  // The field's number in the record (1 and up for data fields).
  virtual int GetFieldNo() const = 0;
  virtual host::TFieldKind GetFieldKind() const = 0;
  // Where the value comes from: "Table.Field", each part optionally in double quotes.
  virtual std::string GetOrigin() const { return {}; }

  virtual bool IsNull() const = 0;
  // Null for a null field.
  virtual host::Variant GetAsVariant() const = 0;
  virtual std::string GetAsString() const = 0;
  virtual bool GetAsBoolean() const = 0;
  virtual void SetAsVariant(const host::Variant& value) = 0;
};

// The dataset behind an expression: its fields, its OEM translation and the component named
// in error messages.
class TExprFieldResolver {
 public:
  virtual ~TExprFieldResolver() = default;

  // The component errors are raised for (the dataset); may be null.
  virtual host::TComponent* GetComponent() const = 0;
  virtual int GetFieldCount() const = 0;
  // The field at a position of the field list; null outside the list.
  virtual TExprField* GetField(int index) = 0;
  // The field of that name (case ignored); null when there is none.
  virtual TExprField* FindField(std::string_view name) = 0;
  // The field of that name; raises the dataset's "field not found" error when there is none.
  virtual TExprField& FieldByName(std::string_view name);
  // The dataset's OEM translation of field names and text constants; the text unchanged by
  // default.
  virtual std::string Translate(std::string_view text, bool toOem) { (void)toOem; return std::string(text); }
};

// The resolver over a dataset's TField objects; the dataset must outlive it.
std::unique_ptr<TExprFieldResolver> MakeDataSetFieldResolver(host::TDataSet* dataSet);

// ---- parse tree ---------------------------------------------------------------------------------

struct TExprNode {
  TExprNode* FNext = nullptr;  // next node in the owner's list
  TExprNodeKind FKind = enConst;
  bool FPartial = false;
  tCANOp FOperator = canNOTDEFINED;
  host::Variant FData;         // field name, constant value or function name
  TExprNode* FLeft = nullptr;
  TExprNode* FRight = nullptr;
  std::int32_t FDataType = host::ftUnknown;
  std::int32_t FDataSize = 0;
  std::vector<TExprNode*> FArgs;  // IN elements and function arguments (nodes owned by the TFilterExpr)
  TExprScopeKind FScopeKind = skField;
};

// Owns the parse tree and writes it into the expression buffer.
class TFilterExpr {
 public:
  TFilterExpr(TExprFieldResolver* DataSet, host::TFilterOptions Options, TParserOptions ParserOptions,
              std::string FieldName, host::TBits* DependentFields);
  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;
  ~TFilterExpr();

  TExprNode* NewNode(TExprNodeKind Kind, tCANOp Operator, const host::Variant& Data, TExprNode* Left,
                     TExprNode* Right);
  // Serialises the tree under Root; the buffer lives as long as this object.
  const std::uint8_t* GetFilterData(TExprNode* Root);

  // The field an expression names: with poFieldNameGiven the field FieldName, with
  // poUseOrigNames the first field whose Origin names it, else the field of that name.
  // With poFieldDepend the field's bit is set in the dependency set.
  TExprField& GetFieldByName(const std::string& Name);

  TExprFieldResolver* GetDataSet() const { return FDataSet; }
  std::size_t GetExprBufSize() const { return FExprBufSize; }

 private:
  // Writing recurses once per nesting level of the expression; the helpers with large
  // temporaries stay out of line so that the recursive frames remain small.
  int PutExprNode(TExprNode* Node, tCANOp ParentOp);
  int PutSpine(TExprNode* Node);
  int PutOperator(TExprNode* Node);
  [[gnu::noinline]] void PushPending(int Offset, TExprNode* Right, tCANOp Op);
  [[gnu::noinline]] int PutFieldRef(TExprNode* Node, tCANOp ParentOp);
  [[gnu::noinline]] int PutFieldTest(TExprNode* Left, TExprNode* Right, tCANOp Op);
  int PutFieldNode(TExprField& Field, const TExprNode* Node);
  [[gnu::noinline]] int PutConstant(TExprNode* Node);
  [[gnu::noinline]] int PutConstStr(std::string_view Text);
  [[gnu::noinline]] int PutConstNode(host::TFieldType Type, const void* Data, std::size_t Size);
  [[gnu::noinline]] int PutNode(tNODEClass NodeClass, tCANOp Op, int OpCount);
  [[gnu::noinline]] int PutData(const void* Data, std::size_t Size);
  [[gnu::noinline]] void SetNodeOp(int Node, int Index, int Data);
  void CheckSize(std::size_t More) const;
  [[noreturn, gnu::noinline]] void Error(const std::string& Message) const;
  [[noreturn, gnu::noinline]] void Error(TKxMessage Message) const;

  TExprFieldResolver* FDataSet;
  host::TFilterOptions FOptions;
  TParserOptions FParserOptions;
  TExprNode* FNodes = nullptr;
  std::vector<std::uint8_t> FExprBuffer;
  std::size_t FExprBufSize = 0;
  std::size_t FExprNodeSize = 0;
  std::size_t FExprDataSize = 0;
  std::string FFieldName;
  host::TBits* FDependentFields;
  // The two areas while they are being written; joined with the header at the end.
  std::vector<std::uint8_t> FNodeArea;
  std::vector<std::uint8_t> FLiteralArea;
  // Binary nodes written whose right operand is still to come (see PutSpine).
  struct Pending {
    int offset;
    TExprNode* right;
    tCANOp op;
  };
  std::vector<Pending> FPending;
};

class TExprParser {
 public:
  // Parses Text at once when it is not empty. DependentFields (not owned) collects the fields
  // the expression reads when poFieldDepend is given.
  TExprParser(host::TDataSet* DataSet, std::string_view Text, host::TFilterOptions Options,
              TParserOptions ParserOptions, std::string_view FieldName, host::TBits* DependentFields);
  // The same over any field resolver; the resolver must outlive the parser.
  TExprParser(TExprFieldResolver& DataSet, std::string_view Text, host::TFilterOptions Options,
              TParserOptions ParserOptions, std::string_view FieldName, host::TBits* DependentFields);
  TExprParser(const TExprParser&) = delete;
  TExprParser& operator=(const TExprParser&) = delete;
  ~TExprParser();

  // Frees the previous tree and buffer, then parses Text into a new buffer.
  void SetExprParams(std::string_view Text, host::TFilterOptions Options, TParserOptions ParserOptions,
                     std::string_view FieldName);

  // The expression buffer (null before the first successful parse) and its size.
  const std::uint8_t* GetFilterData() const { return FFilterData; }
  int GetDataSize() const { return FDataSize; }
  const std::uint8_t* FilterData() const { return FFilterData; }
  int DataSize() const { return FDataSize; }

  // Deepest nesting of parentheses, IN lists and function arguments a text may have.
  static constexpr int MaxNesting = 200;

 private:
  void NextToken();
  std::string TokenName() const;
  bool TokenSymbolIs(std::string_view S) const;
  bool NextNonBlankIs(char C) const;
  char At(std::size_t Index) const { return Index < FText.size() ? FText[Index] : '\0'; }

  TExprNode* ParseExpr();
  TExprNode* ParseExpr2();
  TExprNode* ParseExpr3();
  TExprNode* ParseExpr4();
  TExprNode* ParseExpr5();
  TExprNode* ParseExpr6();
  TExprNode* ParseExpr7();
  TExprNode* ParseFunction();
  void ParseArgList(TExprNode* Node, bool AllowEmpty);
  [[gnu::noinline]] void AddArg(TExprNode* Node, TExprNode* Arg);
  [[gnu::noinline]] TExprNode* NewFunctionNode();
  [[gnu::noinline]] bool TypeFunctionStar(TExprNode* Node);
  [[gnu::noinline]] void TypeFunction(TExprNode* Node);
  [[gnu::noinline]] void TypeCheckComparison(TExprNode* Node);
  [[gnu::noinline]] void TypeCheckIn(TExprNode* Node);
  // Node makers and error raisers stay out of line: the grammar recurses once per nesting
  // level, and their temporaries would otherwise sit in every recursive frame.
  [[gnu::noinline]] TExprNode* NewFieldNode(const std::string& Name);
  [[gnu::noinline]] TExprNode* NewConstNode(const host::Variant& Value, host::TFieldType Type);
  [[gnu::noinline]] TExprNode* NewOperator(tCANOp Operator, TExprNode* Left, TExprNode* Right);
  [[gnu::noinline]] TExprNode* NewSymbolNode();
  [[gnu::noinline]] TExprNode* NewLiteralNode();
  [[gnu::noinline]] void GetScopeKind(TExprNode* Root, TExprNode* Left, TExprNode* Right);
  void GetScopeKindOfArgs(TExprNode* Root, bool StartWithLeft);
  [[gnu::noinline]] void TypeCheckArithOp(TExprNode* Node);

  [[noreturn, gnu::noinline]] void Error(const std::string& Message) const;
  [[noreturn, gnu::noinline]] void Error(TKxMessage Message) const;
  [[noreturn, gnu::noinline]] void Error(host::TDbMessage Message) const;
  [[noreturn, gnu::noinline]] void ErrorFmt(const std::string& Format, const std::string& Arg) const;
  // Message with the current token's name.
  [[noreturn, gnu::noinline]] void ErrorToken(host::TDbMessage Message) const;
  [[noreturn, gnu::noinline]] void ErrorTooDeep() const;

  std::unique_ptr<TExprFieldResolver> FOwnResolver;
  TExprFieldResolver* FResolver;

  std::unique_ptr<TFilterExpr> FFilter;
  std::string FText;
  std::size_t FSourcePtr = 0;
  std::size_t FTokenPtr = 0;
  std::string FTokenString;
  std::string FStrTrue;
  std::string FStrFalse;
  TExprToken FToken = etEnd;
  TExprToken FPrevToken = etEnd;
  const std::uint8_t* FFilterData = nullptr;
  bool FNumericLit = false;
  int FDataSize = 0;
  TParserOptions FParserOptions;
  std::string FFieldName;
  host::TBits* FDependentFields;
  int FNesting = 0;
};

// ---- evaluator ----------------------------------------------------------------------------------

enum TRetStructType : std::uint8_t { rstVariant = 0, rstField = 1, rstList = 2 };

struct TListStruct {
  bool IsVariant = false;
  host::Variant v;
  TExprField* Field = nullptr;
};

// A list of TListStruct pointers; it disposes of its elements.
class TListStructList : public host::TList {
 public:
  TListStructList() = default;
  ~TListStructList() override;
  TListStruct* Get(int Index) const { return static_cast<TListStruct*>(host::TList::Get(Index)); }
  void Put(int Index, TListStruct* Item) { host::TList::Put(Index, Item); }
  TListStruct* Items(int Index) const { return Get(Index); }
  void Clear() override;
};

struct TRetStruct {
  TRetStructType StType = rstVariant;
  host::Variant v;
  TExprField* Field = nullptr;
  std::unique_ptr<TListStructList> List;
  // A constant of the buffer as the verifier keeps it, standing in for v so that constants
  // are not copied for every record; null when v holds the value.
  const host::Variant* Const = nullptr;
  // The value of an rstVariant result.
  const host::Variant& Value() const { return Const != nullptr ? *Const : v; }
};

// Raised inside an evaluation when a continue condition fails; Verify turns it into False.
class EStopOnContinueOperator : public host::EAbort {
 public:
  using EAbort::EAbort;
  std::unique_ptr<host::Exception> Clone() const override { return std::make_unique<EStopOnContinueOperator>(*this); }
  [[noreturn]] void Raise() const override { throw EStopOnContinueOperator(*this); }
};

class TParseVerifier {
 public:
  // ParseData may be null (everything passes). The buffer is not copied: its owner must
  // outlive the verifier and leave it unchanged (nodes and constants are decoded once).
  TParseVerifier(host::TDataSet* DataSet, const std::uint8_t* ParseData);
  TParseVerifier(TExprFieldResolver& DataSet, const std::uint8_t* ParseData);
  TParseVerifier(const TParseVerifier&) = delete;
  TParseVerifier& operator=(const TParseVerifier&) = delete;
  ~TParseVerifier();

  // Whether the current record satisfies the expression.
  bool Verify();

  // Deepest recursion an evaluation may take; deeper (damaged) buffers raise. What the parser
  // writes stays near two levels per level of nesting, so at most about 400.
  static constexpr int MaxDepth = 500;

 private:
  // The evaluation's own functions are hidden from other libraries, so that the calls
  // between them are direct and can be inlined.
  struct Node;
  // The node at Offset, decoded and checked on first use and kept from then on; a node that
  // fails to decode is not kept, so it fails again at each evaluation.
  [[gnu::visibility("hidden")]] Node& NodeAt(int Offset);
  [[gnu::noinline, gnu::visibility("hidden")]] Node& DecodeNode(int Offset);
  // Evaluates the node at Offset; Link is where its parent keeps it once decoded.
  [[gnu::visibility("hidden")]] void ProceedNode(Node*& Link, int Offset, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedUnaryNode(Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedBinaryNode(Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedCompareNode(Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedFieldNode(const Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedConstNode(Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedContinueNode(Node& N, TRetStruct& Result);
  [[gnu::visibility("hidden")]] void ProceedListNode(Node& N, TRetStruct& Result);
  // The recursive handlers only evaluate operands; what they do with them is out of line, so
  // that each level of nesting costs little stack.
  [[gnu::noinline, gnu::visibility("hidden")]] void ApplyBinary(tCANOp Op, TRetStruct& Left, TRetStruct& Right, TRetStruct& Result);
  [[gnu::noinline, gnu::visibility("hidden")]] void ApplyUnary(const Node& N, TRetStruct& Operand, TRetStruct& Result);
  [[gnu::noinline, gnu::visibility("hidden")]] void ApplyContinue(const Node& N, TRetStruct& Operand, TRetStruct& Result);
  [[gnu::noinline, gnu::visibility("hidden")]] void ApplyCompare(const Node& N, TRetStruct& Left, TRetStruct& Right, TRetStruct& Result);
  [[gnu::noinline, gnu::visibility("hidden")]] void AppendListItem(TListStructList& List, TRetStruct& Value);
  [[gnu::noinline, gnu::visibility("hidden")]] void AppendClause(host::Exception& E) const;
  [[gnu::noinline, gnu::visibility("hidden")]] void CollectChain(Node& N);
  [[gnu::noinline, gnu::visibility("hidden")]] bool ShortCircuit(tCANOp Op, TRetStruct& Left) const;
  [[gnu::visibility("hidden")]] bool ProcessLists(tCANOp Op, TRetStruct& Left, TRetStruct& Right);
  [[gnu::visibility("hidden")]] host::Variant ProcessListAggregate(tCANOp Op, TRetStruct& Left, TRetStruct& Right);
  [[gnu::visibility("hidden")]] const host::Variant& ValueOf(const TRetStruct& R, host::Variant& Temp) const;
  [[gnu::visibility("hidden")]] void ApplyValues(tCANOp Op, const host::Variant& L, const host::Variant& R, TRetStruct& Result);
  [[gnu::noinline, gnu::visibility("hidden")]] host::Variant Arithmetic(tCANOp Op, const host::Variant& L, const host::Variant& R) const;
  // The constant of a const node, decoded on first use and kept.
  [[gnu::visibility("hidden")]] const host::Variant& Constant(Node& N);
  [[gnu::noinline, gnu::visibility("hidden")]] host::Variant DecodeConstant(const Node& N) const;
  // Result storage reused from record to record: one per recursion depth (an evaluation has
  // at most one frame at each depth).
  [[gnu::visibility("hidden")]] TRetStruct& Slot(int Depth);
  [[noreturn, gnu::noinline]] void Error(const std::string& Message) const;
  [[noreturn, gnu::noinline]] void Error(TKxMessage Message) const;
  [[noreturn, gnu::noinline]] void ErrorOp(TKxMessage Message, int Number) const;
  [[noreturn, gnu::noinline]] void Damaged() const;

  std::unique_ptr<TExprFieldResolver> FOwnResolver;
  TExprFieldResolver* FDataSet;
  const std::uint8_t* FParseData;
  std::size_t FTotalSize = 0;
  std::size_t FLiteralStart = 0;
  int FDepth = 0;
  // Binary nodes of the chains being evaluated (see ProceedBinaryNode).
  std::vector<Node*> FChain;
  // Decoded nodes, each allocated once so that the links between them stay valid, and for
  // each byte of the node area the node decoded there (null for none yet).
  std::vector<std::unique_ptr<Node>> FNodes;
  std::vector<Node*> FNodeIndex;
  Node* FRoot = nullptr;
  std::vector<std::unique_ptr<TRetStruct>> FSlots;
};

// Compares two values: 0 equal, 1 L greater, -1 L smaller, -100 undefined (a Null side or an
// Empty L). Text is compared by the user locale.
int VariantCompare(const host::Variant& L, const host::Variant& R);
int VariantCompareCase(const host::Variant& L, const host::Variant& R, bool CaseSensitive);

// ---- constraints ----------------------------------------------------------------------------

// A check or default expression with its parsed form.
class TConstraintItem : public host::TCollectionItem {
 public:
  explicit TConstraintItem(host::TCollection* Collection);
  ~TConstraintItem() override;

  // The field's index in the dataset's field list, or -1 for a check of the whole record.
  std::int32_t FieldNum = 0;
  std::string Expression;
  // The message of the exception raised when the check fails; empty for defaults.
  std::string ErrorMessage;

  // The parsed expression, owned by the item and freed with it; may be null.
  TExprParser* GetParser() const { return FParser.get(); }
  void SetParser(std::unique_ptr<TExprParser> Value);
  TExprParser* Parser() const { return FParser.get(); }

  // Copies FieldNum, Expression and ErrorMessage of another constraint item (not its parser).
  void Assign(const host::TPersistent* Source) override;
  using host::TPersistent::Assign;

 private:
  std::unique_ptr<TExprParser> FParser;
};

// The dataset's collection of TConstraintItem. The typed accessors cast with a check, so an
// item of another class raises EInvalidCast.
class TConstraintCollection : public host::TCollection {
 public:
  explicit TConstraintCollection(host::TPersistent* Owner = nullptr);

  TConstraintItem* GetItem(int Index) const;
  // Items[Index] takes Value's texts and field (TConstraintItem::Assign).
  void SetItem(int Index, const TConstraintItem* Value);
  TConstraintItem* Items(int Index) const { return GetItem(Index); }
  TConstraintItem* operator[](int Index) const { return GetItem(Index); }

  TConstraintItem* Add();
  TConstraintItem* Insert(int Index);
  // Null when no item has that ID.
  TConstraintItem* FindItemID(int ID) const;
};

}  // namespace kx
