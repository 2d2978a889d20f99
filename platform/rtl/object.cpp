#include "platform/rtl/object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>

#include "platform/rtl/classesconsts.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

std::string Demangle(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                               std::free);
  return status == 0 && text ? std::string(text.get()) : std::string(mangled);
}

// "host::db::TField" -> "TField"; template arguments keep their own qualification.
std::string StripNamespaces(const std::string& name) {
  std::size_t end = name.find('<');
  if (end == std::string::npos) end = name.size();
  std::size_t cut = name.rfind("::", end);
  return cut == std::string::npos || cut >= end ? name : name.substr(cut + 2);
}

}  // namespace

std::string TObject::ClassNameOf(const std::type_info& type) {
  // Demangling allocates and is slow; names are asked for on every error and trace line.
  static std::mutex lock;
  static auto* cache = new std::unordered_map<std::type_index, std::string>();
  std::lock_guard<std::mutex> guard(lock);
  auto it = cache->find(std::type_index(type));
  if (it != cache->end()) return it->second;
  std::string name = StripNamespaces(Demangle(type.name()));
  cache->emplace(std::type_index(type), name);
  return name;
}

std::string TObject::ClassName() const { return ClassNameOf(typeid(*this)); }

void RaiseInvalidCast() { throw EInvalidCast(rtlconsts::SInvalidCast); }

void TPersistent::Assign(const TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string sourceName = Source != nullptr ? Source->ClassName() : "nil";
  throw EConvertError(Format(rtlconsts::SAssignError, {sourceName, ClassName()}));
}

std::string TPersistent::GetNamePath() const {
  // A persistent without a name of its own is named by its owner's path and its class.
  TPersistent* owner = GetOwner();
  std::string path = owner != nullptr ? owner->GetNamePath() : std::string();
  return path.empty() ? ClassName() : path + "." + ClassName();
}

}  // namespace host
