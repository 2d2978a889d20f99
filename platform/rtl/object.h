// The root of the class hierarchy (TObject), class tests and casts, event types, and
// TPersistent, the base of everything that can be assigned and stored.
#pragma once

#include <functional>
#include <string>
#include <typeinfo>

#include "platform/rtl/exceptions.h"

namespace host {

class TFiler;

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  // The class's own name without namespaces ("TStringList"), as messages and traces show it.
  std::string ClassName() const;
  // The unqualified name of any C++ type.
  static std::string ClassNameOf(const std::type_info& type);

  template <class T>
  bool InheritsFrom() const {
    return dynamic_cast<const T*>(this) != nullptr;
  }
};

// "obj is T": false for nullptr.
template <class T, class U>
bool Is(const U* obj) {
  return dynamic_cast<const T*>(obj) != nullptr;
}

// "obj as T": nullptr stays nullptr; an object of another class raises EInvalidCast.
[[noreturn]] void RaiseInvalidCast();
template <class T, class U>
T* As(U* obj) {
  if (obj == nullptr) return nullptr;
  T* result = dynamic_cast<T*>(obj);
  if (result == nullptr) RaiseInvalidCast();
  return result;
}

// The common event shape: a handler is "assigned" when the std::function is not empty.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
 public:
  // Copies Source into this object. The default asks Source to do it (AssignTo); when neither
  // side knows the other's class, EConvertError "Cannot assign a <Source> to a <this>".
  virtual void Assign(const TPersistent* Source);
  void Assign(const TPersistent& Source) { Assign(&Source); }

  // The persistent that owns this one (a collection's owner component, an item's collection).
  virtual TPersistent* GetOwner() const { return nullptr; }
  // A dotted path that names this object in its owner ("Form1.Table1", "Table1.Constraints").
  virtual std::string GetNamePath() const;

  // Declares data to be stored with the object beyond its ordinary properties.
  virtual void DefineProperties(TFiler* /*Filer*/) {}

 protected:
  // Copies this object into Dest; the default raises the assignment error.
  virtual void AssignTo(TPersistent* Dest) const;
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

}  // namespace host
