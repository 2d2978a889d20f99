#include "platform/rtl/component.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/rtl/classesconsts.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace host {

// ---------------------------------------------------------------------------------------------
// Registry of live components

namespace {

thread_local bool tDeferInsert = false;

}  // namespace

void detail::DeferNextInsertNotification(bool Value) { tDeferInsert = Value; }

// Components by creation serial: the map's order is the creation order. Never destroyed, so
// that components freed during the program's exit still find it.
struct ComponentRegistry {
  std::mutex Lock;
  std::map<std::uint64_t, TComponent*> Live;
  std::uint64_t NextSerial = 1;

  static ComponentRegistry& Get() {
    static auto* registry = new ComponentRegistry();
    return *registry;
  }

  void Add(TComponent* c) {
    std::lock_guard<std::mutex> guard(Lock);
    c->FSerial = NextSerial++;
    Live.emplace(c->FSerial, c);
  }

  void Remove(TComponent* c) {
    std::lock_guard<std::mutex> guard(Lock);
    Live.erase(c->FSerial);
  }

  bool IsLive(std::uint64_t serial, const TComponent* c) {
    std::lock_guard<std::mutex> guard(Lock);
    auto it = Live.find(serial);
    return it != Live.end() && it->second == c;
  }
};

std::vector<TComponent*> LiveComponents() {
  ComponentRegistry& registry = ComponentRegistry::Get();
  std::lock_guard<std::mutex> guard(registry.Lock);
  std::vector<TComponent*> result;
  result.reserve(registry.Live.size());
  for (const auto& entry : registry.Live) result.push_back(entry.second);
  return result;
}

int LiveComponentCount() {
  ComponentRegistry& registry = ComponentRegistry::Get();
  std::lock_guard<std::mutex> guard(registry.Lock);
  return static_cast<int>(registry.Live.size());
}

bool IsValidIdent(std::string_view Name) {
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (Name.empty() || !alpha(Name[0])) return false;
  return std::all_of(Name.begin() + 1, Name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// ---------------------------------------------------------------------------------------------
// TComponent: construction and destruction

TComponent::TComponent(TComponent* AOwner) {
  const bool deferred = tDeferInsert;
  tDeferInsert = false;
  ComponentRegistry::Get().Add(this);
  if (AOwner == nullptr) return;
  try {
    AOwner->Insert(this);
    if (AOwner->FComponentState.Contains(csDesigning)) SetDesigning(true);
    if (deferred) {
      FInsertPending = true;
    } else {
      AOwner->Notification(this, opInsert);
    }
  } catch (...) {
    // This constructor fails: no destructor will run, so undo what it did.
    if (FOwner != nullptr) FOwner->Remove(this);
    Unregister();
    throw;
  }
}

void* TComponent::operator new(std::size_t Size) { return ::operator new(Size); }

void TComponent::operator delete(void* Memory) noexcept { ::operator delete(Memory); }

void TComponent::operator delete(TComponent* Instance, std::destroying_delete_t) {
  Instance->StartDestruction();
  void* memory = dynamic_cast<void*>(Instance);
  Instance->~TComponent();
  ::operator delete(memory);
}

void TComponent::StartDestruction() {
  if (FDestructionStarted) return;
  FDestructionStarted = true;
  Destroying();
  BeforeDestruction();
  AnnounceRemoval();
}

void TComponent::BeforeDestruction() {}

TComponent::~TComponent() {
  // Without the early step (a component that is a member or a local variable) the removal is
  // announced now, when only the TComponent part is left.
  StartDestruction();
  // Partners that asked for notice while the derived destructors ran.
  RemoveFreeNotifications();
  DestroyComponents();
  if (FOwner != nullptr) FOwner->Remove(this);
  Unregister();
}

void TComponent::AnnounceRemoval() {
  RemoveFreeNotifications();
  if (FOwner != nullptr) {
    // An owner whose tree never heard of the component is not told of its removal either.
    if (!FInsertPending) FOwner->Notification(this, opRemove);
    if (FOwner != nullptr) FOwner->Remove(this);
  }
  Unregister();
}

void TComponent::Unregister() {
  if (FSerial != 0) {
    ComponentRegistry::Get().Remove(this);
    FSerial = 0;
  }
}

void TComponent::Announce() {
  if (!FInsertPending) return;
  FInsertPending = false;
  if (FOwner != nullptr) FOwner->Notification(this, opInsert);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (auto& c : FComponents) c->Destroying();
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* instance = FComponents.back().get();
    // Only components that take part in free notification are announced: the others' removal
    // concerns nobody but the owner, which is going as well.
    if (instance->FComponentState.Contains(csFreeNotification) ||
        FComponentState.ContainsAll({csDesigning, csInline})) {
      RemoveComponent(instance);
    } else {
      Remove(instance);
    }
    delete instance;
  }
}

// ---------------------------------------------------------------------------------------------
// TComponent: the owned list

bool TComponent::Owns(const TComponent* AComponent) const {
  return std::any_of(FComponents.begin(), FComponents.end(),
                     [&](const std::unique_ptr<TComponent>& c) { return c.get() == AComponent; });
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.emplace_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [&](const std::unique_ptr<TComponent>& c) { return c.get() == AComponent; });
  if (it != FComponents.end()) {
    // Ownership goes to the caller (or to a destruction already under way).
    static_cast<void>(it->release());
    FComponents.erase(it);
  }
  if (AComponent->FOwner == this) AComponent->FOwner = nullptr;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount()) {
    throw EListError(Format(rtlconsts::SListIndexError, {Index}));
  }
  return FComponents[Index].get();
}

int TComponent::ComponentIndex() const {
  if (FOwner == nullptr) return -1;
  const auto& list = FOwner->FComponents;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TComponent::SetComponentIndex(int Value) {
  if (FOwner == nullptr) return;
  int current = ComponentIndex();
  if (current < 0) return;
  auto& list = FOwner->FComponents;
  int count = static_cast<int>(list.size());
  Value = std::clamp(Value, 0, count - 1);
  if (Value == current) return;
  std::unique_ptr<TComponent> self = std::move(list[current]);
  list.erase(list.begin() + current);
  list.insert(list.begin() + Value, std::move(self));
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (const auto& c : FComponents) {
    if (SameText(c->FName, AName)) return c.get();
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr) throw EComponentError(rtlconsts::SNilComponent);
  if (AComponent->FOwner == this) return;
  for (const TComponent* owner = this; owner != nullptr; owner = owner->FOwner) {
    if (owner == AComponent) throw EComponentError(Format(rtlconsts::SOwnerCycle, {AComponent->FName}));
  }
  // The rename check looks only at our own components' renames: a newcomer's name is checked
  // here, before it leaves its former owner.
  if (FindComponent(AComponent->FName) != nullptr) {
    throw EComponentError(Format(rtlconsts::SDuplicateName, {AComponent->FName}));
  }
  ValidateRename(AComponent, std::string(), AComponent->FName);
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  AComponent->FInsertPending = false;
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr) throw EComponentError(rtlconsts::SNilComponent);
  if (AComponent->FOwner != this) {
    throw EComponentError(Format(rtlconsts::SNotOwned, {AComponent->FName, FName}));
  }
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

// ---------------------------------------------------------------------------------------------
// TComponent: names, state, notification

void TComponent::SetName(const std::string& NewName) {
  if (FName == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName)) {
    throw EComponentError(Format(rtlconsts::SInvalidName, {NewName}));
  }
  if (FOwner != nullptr) {
    FOwner->ValidateRename(this, FName, NewName);
  } else {
    ValidateRename(nullptr, FName, NewName);
  }
  ChangeName(NewName);
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName) {
  // A change of case only is not a clash with oneself.
  if (AComponent != nullptr && !SameText(CurName, NewName) && AComponent->FOwner == this &&
      FindComponent(NewName) != nullptr) {
    throw EComponentError(Format(rtlconsts::SDuplicateName, {NewName}));
  }
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value) {
    FComponentState.Include(csDesigning);
  } else {
    FComponentState.Exclude(csDesigning);
  }
  if (SetChildren) {
    for (auto& c : FComponents) c->SetDesigning(Value, true);
  }
}

void TComponent::SetReading(bool Value) {
  if (Value) {
    FComponentState.Include(csReading);
  } else {
    FComponentState.Exclude(csReading);
  }
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // Last to first; a receiver may free components, so the index is kept within the list.
  int i = ComponentCount() - 1;
  while (i >= 0) {
    FComponents[i]->Notification(AComponent, Operation);
    --i;
    if (i >= ComponentCount()) i = ComponentCount() - 1;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (FOwner == nullptr || AComponent->FOwner != FOwner) {
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
      FFreeNotifies.push_back(AComponent);
    }
    auto& theirs = AComponent->FFreeNotifies;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
    AComponent->FComponentState.Include(csFreeNotification);
  }
  FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  std::erase(FFreeNotifies, AComponent);
  std::erase(AComponent->FFreeNotifies, this);
}

void TComponent::RemoveFreeNotifications() {
  while (!FFreeNotifies.empty()) {
    TComponent* partner = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    // The partner forgets us before it hears of it, whether or not its override calls ours.
    std::erase(partner->FFreeNotifies, this);
    partner->Notification(this, opRemove);
  }
}

// ---------------------------------------------------------------------------------------------
// Loading

namespace {

void CollectTree(TComponent* c, std::vector<TComponent*>& out) {
  if (std::find(out.begin(), out.end(), c) != out.end()) return;
  out.push_back(c);
  for (int i = 0; i < c->ComponentCount(); ++i) CollectTree(c->Components(i), out);
}

}  // namespace

void LoadComponents(std::initializer_list<TComponent*> Roots, const std::function<void()>& SetProperties) {
  struct Entry {
    TComponent* Component;
    std::uint64_t Serial;
  };
  std::vector<TComponent*> tree;
  for (TComponent* root : Roots) {
    if (root != nullptr) CollectTree(root, tree);
  }
  // The property code may free some of them: each is touched afterwards only while it lives.
  std::vector<Entry> entries;
  ComponentRegistry& registry = ComponentRegistry::Get();
  for (TComponent* c : tree) {
    entries.push_back({c, c->FSerial});
    c->Loading();
    c->SetReading(true);
  }
  try {
    if (SetProperties) SetProperties();
  } catch (...) {
    for (const Entry& e : entries) {
      if (registry.IsLive(e.Serial, e.Component)) e.Component->EndLoading();
    }
    throw;
  }
  for (const Entry& e : entries) {
    if (registry.IsLive(e.Serial, e.Component)) e.Component->SetReading(false);
  }
  // Every component gets its Loaded even when an earlier one raised; the first error is passed on.
  std::exception_ptr first;
  for (const Entry& e : entries) {
    if (!registry.IsLive(e.Serial, e.Component)) continue;
    try {
      e.Component->Loaded();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
    if (registry.IsLive(e.Serial, e.Component)) e.Component->EndLoading();
  }
  if (first) std::rethrow_exception(first);
}

// ---------------------------------------------------------------------------------------------
// TCollectionItem

TCollectionItem::TCollectionItem(TCollection* Collection) {
  if (Collection == nullptr) return;
  try {
    Collection->InsertItem(this);
  } catch (...) {
    // No destructor will run for this object: take it back out of the list.
    if (FCollection != nullptr) static_cast<void>(FCollection->RemoveItem(this).release());
    throw;
  }
}

TCollectionItem::~TCollectionItem() {
  if (FCollection != nullptr) {
    TCollection* collection = FCollection;
    // This object is already being freed: the list gives up its ownership.
    static_cast<void>(collection->RemoveItem(this).release());
    collection->Changed();
  }
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Value == FCollection) return;
  if (FCollection != nullptr) {
    TCollection* old = FCollection;
    std::unique_ptr<TCollectionItem> self = old->RemoveItem(this);
    // Ownership passes to the new collection (or to the caller, for nullptr).
    static_cast<void>(self.release());
    old->Changed();
  }
  if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const { return FCollection != nullptr ? FCollection->IndexOfItem(this) : -1; }

void TCollectionItem::SetIndex(int Value) {
  if (FCollection == nullptr) return;
  FCollection->MoveItem(this, Value);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }

TPersistent* TCollectionItem::GetOwner() const { return FCollection; }

std::string TCollectionItem::GetNamePath() const {
  if (FCollection == nullptr) return ClassName();
  return FCollection->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection != nullptr && FCollection->FUpdateCount == 0) FCollection->Update(AllItems ? nullptr : this);
}

// ---------------------------------------------------------------------------------------------
// TCollection

TCollection::TCollection(TCollectionItemClass ItemClass, TPersistent* Owner)
    : FItemClass(ItemClass), FOwner(Owner) {}

TCollection::~TCollection() {
  // No Update or Notify from here: the collection is no longer whole.
  FUpdateCount = 1;
  while (!FItems.empty()) {
    std::unique_ptr<TCollectionItem> item = std::move(FItems.back());
    FItems.pop_back();
    item->FCollection = nullptr;
  }
}

TCollectionItem* TCollection::Add() {
  if (FItemClass.Create == nullptr) throw EInvalidOperation(rtlconsts::SNoItemClass);
  return FItemClass.Create(this);
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count()) throw EListError(Format(rtlconsts::SListIndexError, {Index}));
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) {
  TCollectionItem* item = Items(Index);
  Notify(item, cnDeleting);
  // The item's destructor takes it out of the list.
  delete item;
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  try {
    while (!FItems.empty()) delete FItems.back().get();
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format(rtlconsts::SListIndexError, {Index}));
  return FItems[Index].get();
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (const auto& item : FItems) {
    if (item->FID == ID) return item.get();
  }
  return nullptr;
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate() {
  if (FUpdateCount == 0) return;
  --FUpdateCount;
  Changed();
}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::Assign(const TPersistent* Source) {
  if (const auto* source = dynamic_cast<const TCollection*>(Source)) {
    if (source == this) return;
    BeginUpdate();
    try {
      Clear();
      for (const auto& item : source->FItems) Add()->Assign(item.get());
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.emplace_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Notify(Item, cnAdded);
  Changed();
}

std::unique_ptr<TCollectionItem> TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  int index = IndexOfItem(Item);
  std::unique_ptr<TCollectionItem> owned;
  if (index >= 0) {
    owned = std::move(FItems[index]);
    FItems.erase(FItems.begin() + index);
  }
  Item->FCollection = nullptr;
  return owned;
}

void TCollection::MoveItem(TCollectionItem* Item, int NewIndex) {
  int current = IndexOfItem(Item);
  if (current < 0 || current == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= Count()) throw EListError(Format(rtlconsts::SListIndexError, {NewIndex}));
  std::unique_ptr<TCollectionItem> owned = std::move(FItems[current]);
  FItems.erase(FItems.begin() + current);
  FItems.insert(FItems.begin() + NewIndex, std::move(owned));
  Item->Changed(true);
}

int TCollection::IndexOfItem(const TCollectionItem* Item) const {
  for (std::size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i].get() == Item) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace host
