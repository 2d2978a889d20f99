// TKxDataSet: record and field constraints and default values.
//
// Every expression is parsed once when the cursor opens (BeginConstrains) into one of two
// collections: FParseConstrains holds the checks, FDefaultConstrains the default values. Each
// evaluation builds a fresh evaluator over an item's parsed buffer, so no evaluator outlives
// the parser it reads.
#include "common/kxtables/dataset.h"

#include <exception>

#include "common/kxtables/errors.h"
#include "common/kxtables/filterstate.h"

namespace kx {

using namespace host;

namespace {

// Evaluates an item's parsed expression against the record the dataset shows now.
bool Evaluate(TKxDataSet* DataSet, const TConstraintItem* Item) {
  const TExprParser* parser = Item->GetParser();
  if (parser == nullptr) return true;
  TParseVerifier verifier(DataSet, parser->GetFilterData());
  return verifier.Verify();
}

}  // namespace

bool TKxDataSet::HasConstraints() const {
  if (GetConstraints()->Count() > 0) return true;
  for (TField* field : GetFields()->List()) {
    if (field->HasConstraints()) return true;
  }
  return false;
}

bool TKxDataSet::ConstraintsStored() const { return GetConstraints()->Count() > 0; }

void TKxDataSet::BeginConstrains() {
  const TFilterOptions noPartial{foNoPartialCompare};
  auto addCheck = [&](const std::string& Expression, const std::string& Message) {
    TConstraintItem* item = FParseConstrains->Add();
    item->FieldNum = -1;
    item->Expression = Expression;
    item->ErrorMessage = Message;
    return item;
  };
  // A field's check that does not parse on its own is read again with the field given, so
  // that a text such as "> 0" compares that field.
  auto addFieldCheck = [&](TField* Field, int Index, const std::string& Expression) {
    TConstraintItem* item = addCheck(Expression, Field->GetConstraintErrorMessage());
    try {
      item->SetParser(std::make_unique<TExprParser>(this, Expression, noPartial,
                                                    TParserOptions{poExtSyntax}, "", nullptr));
      return;
    } catch (const Exception&) {
      // Falls back below; the fallback's failure is the one reported.
    }
    item->FieldNum = Index;
    item->SetParser(std::make_unique<TExprParser>(this, Expression, noPartial,
                                                  TParserOptions{poExtSyntax, poFieldNameGiven},
                                                  Field->GetFieldName(), nullptr));
  };

  try {
    FParseConstrains->Clear();
    TCheckConstraints* constraints = GetConstraints();
    for (int i = 0; i < constraints->Count(); ++i) {
      const TCheckConstraint* constraint = constraints->Items(i);
      TConstraintItem* item =
          addCheck(constraint->GetCustomConstraint(), constraint->GetErrorMessage());
      item->SetParser(std::make_unique<TExprParser>(this, item->Expression, noPartial,
                                                    TParserOptions{poExtSyntax}, "", nullptr));
    }

    FDefaultConstrains->Clear();
    const std::vector<TField*>& fields = GetFields()->List();
    for (int index = 0; index < static_cast<int>(fields.size()); ++index) {
      TField* field = fields[static_cast<std::size_t>(index)];
      const TFieldKind kind = field->GetFieldKind();
      if (kind != fkData && kind != fkInternalCalc) continue;
      if (!field->GetDefaultExpression().empty()) {
        TConstraintItem* item = FDefaultConstrains->Add();
        item->FieldNum = index;
        item->Expression = field->GetDefaultExpression();
        item->SetParser(std::make_unique<TExprParser>(this, item->Expression, noPartial,
                                                      TParserOptions{poDefaultExpr},
                                                      field->GetFieldName(), nullptr));
      }
      if (!field->GetImportedConstraint().empty()) {
        addFieldCheck(field, index, field->GetImportedConstraint());
      }
      if (!field->GetCustomConstraint().empty()) {
        addFieldCheck(field, index, field->GetCustomConstraint());
      }
    }
  } catch (...) {
    // Nothing half-prepared stays behind: the open fails with the parser's error.
    FParseConstrains->Clear();
    FDefaultConstrains->Clear();
    throw;
  }
}

void TKxDataSet::EndConstrains() { FParseConstrains->Clear(); }

void TKxDataSet::VerifyConstrains() {
  for (int i = 0; i < FParseConstrains->Count(); ++i) {
    const TConstraintItem* item = FParseConstrains->GetItem(i);
    if (!Evaluate(this, item)) KxDatabaseError(this, item->ErrorMessage);
  }
}

void TKxDataSet::CheckFieldConstrains(int FieldNo, TRecordBuffer ValueBuffer) {
  if (FParseConstrains->Count() == 0) return;
  TKxFilterState state(this, FFilterBuffer, ValueBuffer, &FIsFieldConstrainVerifyState);
  for (int i = 0; i < FParseConstrains->Count(); ++i) {
    const TConstraintItem* item = FParseConstrains->GetItem(i);
    if (item->FieldNum < 0 || item->FieldNum >= GetFieldCount()) continue;
    // The item names its field by position in the field list; the caller by field number.
    // They agree only while the fields stand in record order, so the field itself decides.
    if (GetFields()->Fields(item->FieldNum)->GetFieldNo() != FieldNo) continue;
    if (!Evaluate(this, item)) KxDatabaseError(this, item->ErrorMessage);
  }
}

void TKxDataSet::SetDefaultConstraints(TRecordBuffer Buffer) {
  // Defaults parsed for an earlier open stay in their collection until the next one; they
  // apply only while this open prepared constraints, since the fields may have changed.
  if (!FConstraintLayer || FDefaultConstrains->Count() == 0) return;
  TKxFilterState state(this, FFilterBuffer, Buffer);
  for (int i = 0; i < FDefaultConstrains->Count(); ++i) {
    Evaluate(this, FDefaultConstrains->GetItem(i));
  }
}

}  // namespace kx
