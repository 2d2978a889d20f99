// The field resolver over a dataset: expressions read and write the dataset's TField objects,
// so they see whatever record the dataset's state shows (the filter buffer while filtering,
// the edit buffer while posting).

#include <unordered_map>
#include <vector>

#include "common/kxparser.h"
#include "platform/db/dataset.h"
#include "platform/db/fields.h"

namespace kx {

namespace {

class TDataSetExprField : public TExprField {
 public:
  explicit TDataSetExprField(host::TField* Field) : FField(Field) {}

  host::TField* Field() const { return FField; }

  std::string GetFieldName() const override { return FField->GetFieldName(); }
  host::TFieldType GetDataType() const override { return FField->GetDataType(); }
  int GetSize() const override { return FField->GetSize(); }
  int GetIndex() const override { return FField->GetIndex(); }
  int GetFieldNo() const override { return FField->GetFieldNo(); }
  host::TFieldKind GetFieldKind() const override { return FField->GetFieldKind(); }
  std::string GetOrigin() const override { return FField->GetOrigin(); }

  bool IsNull() const override { return FField->GetIsNull(); }
  host::Variant GetAsVariant() const override { return FField->GetAsVariant(); }
  std::string GetAsString() const override { return FField->GetAsString(); }
  bool GetAsBoolean() const override { return FField->GetAsBoolean(); }
  void SetAsVariant(const host::Variant& value) override { FField->SetAsVariant(value); }

 private:
  host::TField* FField;
};

class TDataSetFieldResolver : public TExprFieldResolver {
 public:
  explicit TDataSetFieldResolver(host::TDataSet* DataSet) : FDataSet(DataSet) {}

  host::TComponent* GetComponent() const override { return FDataSet; }
  int GetFieldCount() const override { return FDataSet ? FDataSet->GetFieldCount() : 0; }

  // Asked for every field node of every record: the wrapper last used at a position is
  // taken again while the dataset still has the same field there.
  TExprField* GetField(int index) override {
    if (index < 0 || index >= GetFieldCount()) return nullptr;
    host::TField* field = FDataSet->GetFields()->Fields(index);
    const auto i = static_cast<std::size_t>(index);
    if (i < FByIndex.size() && FByIndex[i] != nullptr && FByIndex[i]->Field() == field) return FByIndex[i];
    TDataSetExprField* wrapper = Wrap(field);
    if (FByIndex.size() <= i) FByIndex.resize(i + 1, nullptr);
    FByIndex[i] = wrapper;
    return wrapper;
  }
  TExprField* FindField(std::string_view name) override {
    return FDataSet ? Wrap(FDataSet->FindField(name)) : nullptr;
  }
  // The framework's own lookup, with its own "field not found" error.
  TExprField& FieldByName(std::string_view name) override {
    if (!FDataSet) return TExprFieldResolver::FieldByName(name);
    return *Wrap(FDataSet->FieldByName(name));
  }

  std::string Translate(std::string_view text, bool toOem) override {
    if (!FDataSet) return std::string(text);
    // Room for a translation that grows the text (an OEM character may take several bytes of
    // UTF-8); the result is cut at its reported length.
    const std::string source(text);
    std::vector<char> dest(source.size() * 4 + 16, '\0');
    int length = FDataSet->Translate(source.c_str(), dest.data(), toOem);
    if (length < 0) length = 0;
    const auto size = std::min(static_cast<std::size_t>(length), dest.size() - 1);
    return std::string(dest.data(), size);
  }

 private:
  TDataSetExprField* Wrap(host::TField* field) {
    if (field == nullptr) return nullptr;
    auto& slot = FFields[field];
    if (!slot) slot = std::make_unique<TDataSetExprField>(field);
    return slot.get();
  }

  host::TDataSet* FDataSet;
  std::unordered_map<host::TField*, std::unique_ptr<TDataSetExprField>> FFields;
  // Wrappers by position (owned by FFields).
  std::vector<TDataSetExprField*> FByIndex;
};

}  // namespace

std::unique_ptr<TExprFieldResolver> MakeDataSetFieldResolver(host::TDataSet* dataSet) {
  return std::make_unique<TDataSetFieldResolver>(dataSet);
}

}  // namespace kx
