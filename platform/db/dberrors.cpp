#include "platform/db/dberrors.h"

#include "platform/rtl/component.h"

namespace host {

void DatabaseError(const std::string& Message, const TComponent* Component) {
  if (Component != nullptr && !Component->Name().empty()) {
    throw EDatabaseError(Component->Name() + ": " + Message);
  }
  throw EDatabaseError(Message);
}

void DatabaseErrorFmt(const std::string& Message, std::initializer_list<FormatArg> Args,
                      const TComponent* Component) {
  DatabaseError(Format(Message, Args), Component);
}

}  // namespace host
