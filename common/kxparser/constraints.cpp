// TConstraintCollection: parsed check and default expressions of a dataset.

#include "common/kxparser.h"

namespace kx {

TConstraintItem::TConstraintItem(host::TCollection* Collection) : host::TCollectionItem(Collection) {}

TConstraintItem::~TConstraintItem() = default;

void TConstraintItem::SetParser(std::unique_ptr<TExprParser> Value) { FParser = std::move(Value); }

void TConstraintItem::Assign(const host::TPersistent* Source) {
  // The texts and the field travel; a parsed form belongs to one item only.
  if (const auto* item = dynamic_cast<const TConstraintItem*>(Source)) {
    FieldNum = item->FieldNum;
    Expression = item->Expression;
    ErrorMessage = item->ErrorMessage;
    return;
  }
  host::TCollectionItem::Assign(Source);
}

TConstraintCollection::TConstraintCollection(host::TPersistent* Owner)
    : host::TCollection(host::TCollectionItemClass::Of<TConstraintItem>(), Owner) {}

TConstraintItem* TConstraintCollection::GetItem(int Index) const {
  return host::As<TConstraintItem>(host::TCollection::Items(Index));
}

void TConstraintCollection::SetItem(int Index, const TConstraintItem* Value) {
  host::TCollection::Items(Index)->Assign(Value);
}

TConstraintItem* TConstraintCollection::Add() { return host::As<TConstraintItem>(host::TCollection::Add()); }

TConstraintItem* TConstraintCollection::Insert(int Index) {
  return host::As<TConstraintItem>(host::TCollection::Insert(Index));
}

TConstraintItem* TConstraintCollection::FindItemID(int ID) const {
  return host::As<TConstraintItem>(host::TCollection::FindItemID(ID));
}

}  // namespace kx
