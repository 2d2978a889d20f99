// Components: ownership, notification, names, states, loading; persistents; collections.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/component.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

using Log = std::vector<std::string>;

// Logs what it hears as "<listener>:<insert|remove>:<component>".
class Probe : public TComponent {
 public:
  Probe(TComponent* AOwner, Log* ALog, const std::string& AName = {}) : TComponent(AOwner), FLog(ALog) {
    if (!AName.empty()) SetName(AName);
  }
  ~Probe() override {
    if (FLog != nullptr) {
      FLog->push_back("destroy:" + Name() + (ComponentState().Contains(csDestroying) ? "(destroying)" : ""));
    }
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (FLog != nullptr && AComponent != this) {
      FLog->push_back(Name() + (Operation == opInsert ? ":insert:" : ":remove:") + AComponent->Name());
    }
    if (Operation == opRemove && AComponent == Watched) Watched = nullptr;
  }

  TComponent* Watched = nullptr;

 private:
  Log* FLog;
};

TEST(TComponentTest, OwnerFreesOwnedComponentsLastFirst) {
  Log log;
  auto* form = new Probe(nullptr, &log, "Form1");
  new Probe(form, &log, "A");
  new Probe(form, &log, "B");
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(1)->Name(), "B");
  EXPECT_EQ(form->Components(1)->Owner(), form);
  log.clear();
  delete form;
  EXPECT_EQ(log, (Log{"destroy:Form1(destroying)", "destroy:B(destroying)", "destroy:A(destroying)"}));
}

TEST(TComponentTest, FreeingAnOwnedComponentFirstTellsTheOwnersTree) {
  Log log;
  std::unique_ptr<Probe> form(new Probe(nullptr, &log, "Form1"));
  auto* a = new Probe(form.get(), &log, "A");
  auto* b = new Probe(form.get(), &log, "B");
  b->Watched = a;
  log.clear();
  delete a;
  // Owner first, then its components last to first; the freed one is whole while it hears.
  EXPECT_EQ(log, (Log{"B:remove:A", "Form1:remove:A", "destroy:A(destroying)"}));
  EXPECT_EQ(b->Watched, nullptr);
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(form->FindComponent("a"), nullptr);
}

TEST(TComponentTest, FreeNotificationAcrossOwners) {
  Log log;
  std::unique_ptr<Probe> form1(new Probe(nullptr, &log, "Form1"));
  std::unique_ptr<Probe> form2(new Probe(nullptr, &log, "Form2"));
  auto* source = new Probe(form1.get(), &log, "Source");
  auto* mover = new Probe(form2.get(), &log, "Mover");
  auto* other = new Probe(form2.get(), &log, "Other");
  mover->Watched = source;
  source->FreeNotification(mover);
  EXPECT_TRUE(source->ComponentState().Contains(csFreeNotification));

  log.clear();
  delete source;
  EXPECT_EQ(mover->Watched, nullptr);
  EXPECT_EQ(log, (Log{"Mover:remove:Source", "Form1:remove:Source", "destroy:Source(destroying)"}))
      << "the partner hears, its owner and siblings do not";

  // The link works both ways: freeing the one who asked tells the other.
  auto* target = new Probe(form1.get(), &log, "Target");
  target->FreeNotification(other);
  log.clear();
  delete other;
  EXPECT_EQ(log, (Log{"Target:remove:Other", "Mover:remove:Other", "Form2:remove:Other", "destroy:Other(destroying)"}));

  // A removed link is silent.
  auto* third = new Probe(form2.get(), &log, "Third");
  target->FreeNotification(third);
  target->RemoveFreeNotification(third);
  log.clear();
  delete target;
  EXPECT_EQ(log, (Log{"Form1:remove:Target", "destroy:Target(destroying)"}));
}

TEST(TComponentTest, FreeingBothPartnersInEitherOrderIsSafe) {
  for (bool firstGoesFirst : {true, false}) {
    auto* a = new TComponent(nullptr);
    auto* b = new TComponent(nullptr);
    a->FreeNotification(b);
    if (firstGoesFirst) {
      delete a;
      delete b;
    } else {
      delete b;
      delete a;
    }
  }
  // A partner that lives on a stack frame: the late path also unlinks.
  auto* heap = new TComponent(nullptr);
  {
    TComponent local(nullptr);
    local.FreeNotification(heap);
  }
  delete heap;
}

// Sees its inserted components' real class only when they come through Create.
class ClassSpotter : public TComponent {
 public:
  using TComponent::TComponent;
  std::vector<bool> SawProbe;
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opInsert) SawProbe.push_back(Is<Probe>(AComponent));
  }
};

TEST(TComponentTest, CreateAnnouncesTheFinishedComponent) {
  ClassSpotter owner(nullptr);
  Log log;
  auto* viaCreate = TComponent::Create<Probe>(&owner, &log, std::string("Made"));
  auto* viaNew = new Probe(&owner, &log);
  EXPECT_EQ(owner.SawProbe, (std::vector<bool>{true, false}));
  EXPECT_EQ(viaCreate->Name(), "Made");
  delete viaNew;
  delete viaCreate;
}

class Refuser : public TComponent {
 public:
  using TComponent::TComponent;
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opInsert && AComponent != this) throw EComponentError("refused");
  }
};

TEST(TComponentTest, AComponentRefusedOnInsertIsNotKept) {
  Refuser owner(nullptr);
  int live = LiveComponentCount();
  EXPECT_THROW(TComponent::Create<TComponent>(&owner), EComponentError);
  EXPECT_THROW(new TComponent(&owner), EComponentError);
  EXPECT_EQ(owner.ComponentCount(), 0);
  EXPECT_EQ(LiveComponentCount(), live);
}

// Closes itself while whole, the way a dataset must before its derived parts are gone.
class Closer : public TComponent {
 public:
  Closer(TComponent* AOwner, Log* ALog) : TComponent(AOwner), FLog(ALog) {}
  ~Closer() override { FLog->push_back(std::string("~Closer owner=") + (Owner() ? "set" : "none")); }
  virtual std::string Kind() const { return "closer"; }

 protected:
  void BeforeDestruction() override {
    FLog->push_back("before:" + Kind() + (ComponentState().Contains(csDestroying) ? ":destroying" : ""));
  }

 private:
  Log* FLog;
};

class SpecialCloser : public Closer {
 public:
  using Closer::Closer;
  std::string Kind() const override { return "special"; }
};

TEST(TComponentTest, BeforeDestructionRunsWhileTheObjectIsWhole) {
  Log log;
  TComponent owner(nullptr);
  delete new SpecialCloser(&owner, &log);
  std::unique_ptr<Closer> held(new SpecialCloser(&owner, &log));
  held.reset();
  EXPECT_EQ(log, (Log{"before:special:destroying", "~Closer owner=none", "before:special:destroying",
                      "~Closer owner=none"}));
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(TComponentTest, Names) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  auto* b = new TComponent(&form);
  a->SetName("Table1");
  b->SetName("");  // several unnamed components are fine
  new TComponent(&form);

  struct Case {
    std::string name;
    std::string message;
  };
  std::vector<Case> bad = {
      {"table1", "A component named table1 already exists"},
      {"1Table", "'1Table' is not a valid component name"},
      {"My Table", "'My Table' is not a valid component name"},
      {"Tábla", "'Tábla' is not a valid component name"},
  };
  for (const Case& c : bad) {
    try {
      b->SetName(c.name);
      ADD_FAILURE() << c.name;
    } catch (const EComponentError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(b->Name(), "") << "a refused name is not taken";
  }
  a->SetName("TABLE1");  // a change of case is no clash with itself
  EXPECT_EQ(form.FindComponent("table1"), a);
  b->SetName("_Query_2");
  EXPECT_EQ(form.FindComponent("_QUERY_2"), b);

  // Moving a component to an owner that already has the name.
  TComponent other(nullptr);
  auto* clash = new TComponent(&other);
  clash->SetName("Table1");
  EXPECT_THROW(form.InsertComponent(clash), EComponentError);
  EXPECT_EQ(clash->Owner(), &other);
}

TEST(TComponentTest, InsertAndRemoveComponent) {
  Log log;
  std::unique_ptr<Probe> form1(new Probe(nullptr, &log, "Form1"));
  std::unique_ptr<Probe> form2(new Probe(nullptr, &log, "Form2"));
  auto* c = new Probe(form1.get(), &log, "C");
  log.clear();
  form2->InsertComponent(c);
  EXPECT_EQ(log, (Log{"Form1:remove:C", "Form2:insert:C"}));
  EXPECT_EQ(c->Owner(), form2.get());
  EXPECT_EQ(form1->ComponentCount(), 0);

  EXPECT_THROW(c->InsertComponent(form2.get()), EComponentError) << "an owner cannot be owned by its component";
  EXPECT_THROW(c->InsertComponent(c), EComponentError);
  EXPECT_THROW(form1->RemoveComponent(c), EComponentError) << "not form1's";
  EXPECT_THROW(form1->InsertComponent(nullptr), EComponentError);

  form2->RemoveComponent(c);
  EXPECT_EQ(c->Owner(), nullptr);
  delete c;  // the caller owns it now
}

TEST(TComponentTest, ComponentIndexAndBounds) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  auto* b = new TComponent(&form);
  auto* c = new TComponent(&form);
  c->SetComponentIndex(0);
  EXPECT_EQ(form.Components(0), c);
  EXPECT_EQ(a->ComponentIndex(), 1);
  b->SetComponentIndex(99);  // clamped
  EXPECT_EQ(b->ComponentIndex(), 2);
  EXPECT_EQ(form.ComponentIndex(), -1);
  try {
    form.Components(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
}

TEST(TComponentTest, DesigningAndDestroyingReachOwnedComponents) {
  TComponent form(nullptr);
  form.SetDesigning(true);
  auto* inserted = new TComponent(&form);
  EXPECT_TRUE(inserted->ComponentState().Contains(csDesigning)) << "inherited from the owner";
  form.SetDesigning(false);
  EXPECT_FALSE(inserted->ComponentState().Contains(csDesigning));
  auto* grandchild = new TComponent(inserted);
  form.Destroying();
  EXPECT_TRUE(grandchild->ComponentState().Contains(csDestroying));
}

// Records the states seen while properties are set and when Loaded runs.
class Loadable : public TComponent {
 public:
  using TComponent::TComponent;
  bool Active = false;
  bool StreamedActive = false;
  std::vector<std::string> Seen;
  bool FailInLoaded = false;

  void SetActive(bool Value) {
    if (ComponentState().Contains(csReading)) {
      StreamedActive = Value;  // applied in Loaded
    } else {
      Active = Value;
    }
  }
  void Loaded() override {
    TComponent::Loaded();
    Seen.push_back(std::string("loaded:") + (ComponentState().Contains(csLoading) ? "loading" : "done"));
    if (FailInLoaded) throw EComponentError("cannot activate " + Name());
    if (StreamedActive) Active = true;
  }
};

TEST(LoadComponentsTest, PropertiesThenLoaded) {
  Loadable form(nullptr);
  form.SetName("Form1");
  auto* child = new Loadable(&form);
  LoadComponents({&form}, [&] {
    EXPECT_TRUE(form.ComponentState().ContainsAll({csLoading, csReading}));
    EXPECT_TRUE(child->ComponentState().ContainsAll({csLoading, csReading}));
    child->SetActive(true);
    EXPECT_FALSE(child->Active) << "deferred while reading";
  });
  EXPECT_TRUE(child->Active);
  EXPECT_EQ(form.Seen, (std::vector<std::string>{"loaded:done"}));
  EXPECT_FALSE(child->ComponentState().ContainsAny({csLoading, csReading}));
}

TEST(LoadComponentsTest, FailuresEndTheLoadingState) {
  Loadable a(nullptr), b(nullptr);
  EXPECT_THROW(LoadComponents({&a, &b}, [] { throw EConvertError("bad property"); }), EConvertError);
  EXPECT_TRUE(a.Seen.empty()) << "no Loaded after a failed read";
  EXPECT_FALSE(a.ComponentState().ContainsAny({csLoading, csReading}));

  a.FailInLoaded = true;
  b.StreamedActive = true;
  try {
    LoadComponents({&a, &b}, nullptr);
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "cannot activate ");
  }
  EXPECT_TRUE(b.Active) << "the others are still loaded";
  EXPECT_FALSE(a.ComponentState().Contains(csLoading));
}

TEST(LoadComponentsTest, AComponentFreedWhileReadingIsLeftAlone) {
  Loadable form(nullptr);
  auto* doomed = new Loadable(&form);
  LoadComponents({&form}, [&] { delete doomed; });
  EXPECT_EQ(form.Seen.size(), 1u);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(ComponentRegistryTest, LiveComponentsInCreationOrder) {
  TComponent first(nullptr);
  auto second = std::make_unique<Probe>(nullptr, nullptr, "Second");
  TComponent third(nullptr);
  std::vector<TComponent*> live = LiveComponents();
  auto pos = [&](TComponent* c) { return std::find(live.begin(), live.end(), c) - live.begin(); };
  EXPECT_LT(pos(&first), pos(second.get()));
  EXPECT_LT(pos(second.get()), pos(&third));
  EXPECT_EQ(FindLiveComponent<Probe>([](Probe* p) { return p->Name() == "Second"; }), second.get());
  second.reset();
  EXPECT_EQ(FindLiveComponent<Probe>([](Probe* p) { return p->Name() == "Second"; }), nullptr);
}

// ---------------------------------------------------------------------------------------------
// TPersistent

class Point : public TPersistent {
 public:
  int X = 0;
  void Assign(const TPersistent* Source) override {
    if (const auto* p = dynamic_cast<const Point*>(Source)) {
      X = p->X;
      return;
    }
    TPersistent::Assign(Source);
  }
};
class Label : public TPersistent {};

TEST(TPersistentTest, AssignBetweenUnrelatedClassesRaises) {
  Point a, b;
  a.X = 5;
  b.Assign(&a);
  EXPECT_EQ(b.X, 5);
  Label label;
  struct Case {
    TPersistent* dest;
    const TPersistent* source;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{{&b, &label, "Cannot assign a Label to a Point"},
                                         {&label, &a, "Cannot assign a Point to a Label"},
                                         {&b, nullptr, "Cannot assign a nil to a Point"}}) {
    try {
      c.dest->Assign(c.source);
      ADD_FAILURE() << c.message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(label.ClassName(), "Label");
  EXPECT_THROW(As<Point>(static_cast<TPersistent*>(&label)), EInvalidCast);
  EXPECT_EQ(As<Point>(static_cast<TPersistent*>(nullptr)), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Collections

class Column : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  std::string Title;
  void Assign(const TPersistent* Source) override {
    if (const auto* c = dynamic_cast<const Column*>(Source)) {
      Title = c->Title;
      return;
    }
    TCollectionItem::Assign(Source);
  }
};
class OtherItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
};

// Counts updates, the way a grid redraws.
class Columns : public TCollection {
 public:
  Columns() : TCollection(TCollectionItemClass::Of<Column>()) {}
  int WholeUpdates = 0;
  int ItemUpdates = 0;
  std::vector<TCollectionNotification> Notes;

 protected:
  void Update(TCollectionItem* Item) override { ++(Item == nullptr ? WholeUpdates : ItemUpdates); }
  void Notify(TCollectionItem*, TCollectionNotification Action) override { Notes.push_back(Action); }
};

TEST(TCollectionTest, IdsAreNeverReusedAndIndexesFollowOrder) {
  Columns cols;
  auto* a = cols.Add();
  auto* b = cols.Add();
  auto* c = cols.Insert(0);
  EXPECT_EQ(a->ID(), 0);
  EXPECT_EQ(b->ID(), 1);
  EXPECT_EQ(c->ID(), 2);
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(a->Index(), 1);

  cols.Delete(1);  // a
  auto* d = cols.Add();
  EXPECT_EQ(d->ID(), 3);
  EXPECT_EQ(cols.FindItemID(0), nullptr);
  EXPECT_EQ(cols.FindItemID(1), b);

  d->SetIndex(0);
  EXPECT_EQ(cols.Items(0), d);
  EXPECT_THROW(d->SetIndex(3), EListError);

  delete b;  // an item freed directly leaves its collection
  EXPECT_EQ(cols.Count(), 2);
  EXPECT_EQ(cols.FindItemID(1), nullptr);
}

TEST(TCollectionTest, BoundsAndCasts) {
  Columns cols;
  cols.Add();
  new OtherItem(&cols);
  EXPECT_NE(cols.ItemAs<Column>(0), nullptr);
  EXPECT_THROW(cols.ItemAs<Column>(1), EInvalidCast);
  for (auto call : std::vector<std::function<void()>>{[&] { cols.Items(2); }, [&] { cols.Delete(-1); },
                                                      [&] { cols.Insert(3); }}) {
    try {
      call();
      ADD_FAILURE();
    } catch (const EListError& e) {
      EXPECT_NE(e.Message().find("List index out of bounds"), std::string::npos);
    }
  }
  EXPECT_EQ(cols.Count(), 2);
  TCollection classless(TCollectionItemClass{});
  EXPECT_THROW(classless.Add(), EInvalidOperation);
}

TEST(TCollectionTest, UpdatesAndNotifications) {
  Columns cols;
  cols.Add();
  EXPECT_EQ(cols.WholeUpdates, 1);
  EXPECT_EQ(cols.Notes, (std::vector<TCollectionNotification>{cnAdded}));

  cols.WholeUpdates = 0;
  cols.Notes.clear();
  cols.BeginUpdate();
  cols.Add();
  cols.Add();
  cols.Delete(0);
  EXPECT_EQ(cols.WholeUpdates, 0);
  cols.EndUpdate();
  EXPECT_EQ(cols.WholeUpdates, 1) << "one update at the end";
  EXPECT_EQ(cols.Notes, (std::vector<TCollectionNotification>{cnAdded, cnAdded, cnDeleting, cnExtracting}));

  cols.WholeUpdates = 0;
  cols.Clear();
  EXPECT_EQ(cols.Count(), 0);
  EXPECT_EQ(cols.WholeUpdates, 1);
}

TEST(TCollectionTest, AssignAndMoveBetweenCollections) {
  Columns source;
  static_cast<Column*>(source.Add())->Title = "Name";
  static_cast<Column*>(source.Add())->Title = "City";
  Columns target;
  target.Add();
  target.Assign(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target.ItemAs<Column>(1)->Title, "City");

  TCollectionItem* moving = source.Items(0);
  moving->SetCollection(&target);
  EXPECT_EQ(source.Count(), 1);
  EXPECT_EQ(target.Count(), 3);
  EXPECT_EQ(moving->Collection(), &target);
  EXPECT_EQ(moving->ID(), 3) << "a new ID in the new collection";

  moving->SetCollection(nullptr);
  EXPECT_EQ(moving->Collection(), nullptr);
  EXPECT_EQ(target.Count(), 2);
  delete moving;

  Columns other;
  new OtherItem(&other);
  EXPECT_THROW(target.Assign(other), EConvertError) << "items of unrelated classes";
}

}  // namespace
}  // namespace host
