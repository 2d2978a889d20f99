// Components and collections.
//
// TComponent: an owner frees the components it owns; a component's removal is announced to its
// owner's tree and to every component that asked for a free notification. Names are valid
// identifiers, unique among the components of one owner (ignoring case).
//
// Life cycle in C++ terms:
// - Create components on the heap. Create<T>(Owner, ...) is the preferred form: the owner's
//   tree hears of the new component (Notification(opInsert)) once it is completely built.
//   `new T(Owner)` works too, but then the notification arrives from inside TComponent's
//   constructor, when the receiver can see only a TComponent (not its final class).
// - `delete` (or a std::unique_ptr) frees a component. Before any destructor runs, while the
//   object is still whole, the component and everything it owns are marked csDestroying, and
//   the removal is announced (to free-notification partners, then to the owner's tree) and the
//   component leaves its owner's list and the registry of live components. Then the
//   destructors run, TComponent's last; it frees the owned components, last first.
// - TComponent must be the first base of a class that has more than one (the memory is given
//   back through the TComponent pointer).
// - A component that is a member or a local variable is destroyed without the early step:
//   the announcements then come from TComponent's destructor. It must have no owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "platform/rtl/object.h"
#include "platform/rtl/sets.h"

namespace host {

enum TOperation { opInsert, opRemove };

enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance,
};
using TComponentState = TSet<TComponentStateItem>;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  ~TComponent() override;

  // Runs the early part of destruction (see above), then the destructors.
  static void operator delete(TComponent* Instance, std::destroying_delete_t);
  // The allocation pair of the class, so that `new` and `delete` are seen to match; the plain
  // delete frees the memory of a component whose constructor failed.
  // Out of line, so that the compiler pairs the class's own functions.
  static void* operator new(std::size_t Size);
  static void operator delete(void* Memory) noexcept;

  // Creates a T owned by AOwner and announces it once it is built.
  template <class T, class... Args>
  static T* Create(TComponent* AOwner, Args&&... args);

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for a bad index.
  TComponent* Components(int Index) const;
  // The position in the owner's list, or -1 without an owner.
  int ComponentIndex() const;
  void SetComponentIndex(int Value);
  // The owned component of that name (ignoring case), or nullptr.
  TComponent* FindComponent(std::string_view AName) const;

  // Takes AComponent into this component's list (from its former owner, if any) and announces
  // it. A component cannot own itself or one of its owners.
  void InsertComponent(TComponent* AComponent);
  // Announces the removal and takes AComponent out of the list; the caller then owns it.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, last first.
  void DestroyComponents();

  const std::string& Name() const { return FName; }
  // A valid identifier, unique among the owner's components, or empty.
  virtual void SetName(const std::string& NewName);
  std::string GetNamePath() const override { return FName; }

  std::intptr_t Tag() const { return FTag; }
  void SetTag(std::intptr_t Value) { FTag = Value; }

  const TComponentState& ComponentState() const { return FComponentState; }
  // Increases with every component created in the process: the order of the live registry.
  std::uint64_t CreationSerial() const { return FSerial; }

  // Asks that AComponent be told (Notification opRemove) when this component is freed, and
  // this component when AComponent is freed. Within one owner the owner's tree already hears
  // of every removal, so no link is kept.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Marks this component and all it owns as being destroyed.
  void Destroying();
  // Design-time state for this component and, with SetChildren, all it owns.
  void SetDesigning(bool Value, bool SetChildren = true);

  // Loading: Loading() marks the start (csLoading), SetReading brackets the property reads,
  // and Loaded() marks the end.
  void Loading() { FComponentState.Include(csLoading); }
  void SetReading(bool Value);
  virtual void Loaded();

  // Called on the owner and passed down its tree when a component is inserted or removed, and
  // on free-notification partners when one of them is freed. Overrides call the base.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  // Checks a rename of AComponent (one of ours, or ourselves when nullptr) from CurName to
  // NewName; raises EComponentError for a name that an owned component already has.
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName);
  // The first virtual call of destruction, made while the object is whole.
  virtual void BeforeDestruction();
  void ChangeName(const std::string& NewName) { FName = NewName; }

 private:
  friend struct ComponentRegistry;
  friend void LoadComponents(std::initializer_list<TComponent*> Roots, const std::function<void()>& SetProperties);
  void EndLoading() { FComponentState -= TComponentState{csLoading, csReading}; }
  void Announce();
  void AnnounceRemoval();
  void RemoveFreeNotifications();
  void Unregister();
  void StartDestruction();
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  bool Owns(const TComponent* AComponent) const;

  TComponent* FOwner = nullptr;
  std::string FName;
  std::intptr_t FTag = 0;
  TComponentState FComponentState;
  std::vector<std::unique_ptr<TComponent>> FComponents;
  // Both sides of every free-notification link keep the other: not owning.
  std::vector<TComponent*> FFreeNotifies;
  bool FDestructionStarted = false;
  bool FInsertPending = false;
  // Key in the registry of live components; increases with every creation.
  std::uint64_t FSerial = 0;
};

namespace detail {
// Tells the next TComponent constructor on this thread to leave the insert notification to
// TComponent::Create.
void DeferNextInsertNotification(bool Value);
}  // namespace detail

template <class T, class... Args>
T* TComponent::Create(TComponent* AOwner, Args&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>, "Create makes components");
  detail::DeferNextInsertNotification(true);
  T* instance = nullptr;
  try {
    instance = new T(AOwner, std::forward<Args>(args)...);
  } catch (...) {
    detail::DeferNextInsertNotification(false);
    throw;
  }
  try {
    static_cast<TComponent*>(instance)->Announce();
  } catch (...) {
    // Refused by the owner's tree: the component is not kept.
    delete instance;
    throw;
  }
  return instance;
}

// Every live component, in creation order (a snapshot).
std::vector<TComponent*> LiveComponents();
int LiveComponentCount();
// The first live component of class T (in creation order) for which Match is true.
template <class T, class Pred>
T* FindLiveComponent(Pred Match) {
  for (TComponent* c : LiveComponents()) {
    if (T* t = dynamic_cast<T*>(c); t != nullptr && Match(t)) return t;
  }
  return nullptr;
}

// True when Name is an identifier: a letter or "_", then letters, digits and "_" (ASCII).
bool IsValidIdent(std::string_view Name);

// Loads components the way a stored form is read: each component and everything it owns is
// marked csLoading and csReading; SetProperties runs; csReading is cleared and Loaded is called
// on each (the given ones first, then the ones they own, in list order). When SetProperties
// raises, the loading marks are removed without Loaded and the exception passes on.
void LoadComponents(std::initializer_list<TComponent*> Roots, const std::function<void()>& SetProperties);

class TCollection;

// An item of a TCollection. Creating it with a collection adds it there; destroying it takes
// it out.
class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* Collection);
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  // Moves the item into another collection (nullptr: out of any; the caller then owns it).
  void SetCollection(TCollection* Value);
  // Unique within the collection and never reused by it.
  int ID() const { return FID; }
  int Index() const;
  virtual void SetIndex(int Value);
  virtual std::string DisplayName() const;
  TPersistent* GetOwner() const override;
  std::string GetNamePath() const override;

 protected:
  // Tells the collection that this item (or, with AllItems, the whole collection) changed.
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

// Makes an item of a given class in a collection: the collection's "item class".
struct TCollectionItemClass {
  TCollectionItem* (*Create)(TCollection* Collection) = nullptr;
  const std::type_info* Type = nullptr;

  template <class T>
  static TCollectionItemClass Of() {
    static_assert(std::is_base_of_v<TCollectionItem, T>, "an item class derives from TCollectionItem");
    return {[](TCollection* c) -> TCollectionItem* { return new T(c); }, &typeid(T)};
  }
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An owned, ordered list of items of one class. It owns its items.
class TCollection : public TPersistent {
 public:
  explicit TCollection(TCollectionItemClass ItemClass, TPersistent* Owner = nullptr);
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;
  ~TCollection() override;

  // A new item of the item class, added at the end.
  TCollectionItem* Add();
  // A new item at Index (0 to Count).
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for a bad index.
  TCollectionItem* Items(int Index) const;
  // The item with that ID, or nullptr.
  TCollectionItem* FindItemID(int ID) const;
  const TCollectionItemClass& ItemClass() const { return FItemClass; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  TPersistent* GetOwner() const override { return FOwner; }
  // Copies the items of another collection, one new item per source item through the item's
  // Assign.
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

  // Items(Index) cast to T; an item of another class raises EInvalidCast.
  template <class T>
  T* ItemAs(int Index) const {
    return As<T>(Items(Index));
  }

 protected:
  // Called when Item (or, for nullptr, the collection as a whole) changed, outside updates.
  virtual void Update(TCollectionItem* /*Item*/) {}
  virtual void Notify(TCollectionItem* /*Item*/, TCollectionNotification /*Action*/) {}
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  // Takes Item out of the list and hands back its ownership.
  std::unique_ptr<TCollectionItem> RemoveItem(TCollectionItem* Item);
  void MoveItem(TCollectionItem* Item, int NewIndex);
  int IndexOfItem(const TCollectionItem* Item) const;

  TCollectionItemClass FItemClass;
  TPersistent* FOwner;
  std::vector<std::unique_ptr<TCollectionItem>> FItems;
  int FUpdateCount = 0;
  int FNextID = 0;
};

}  // namespace host
