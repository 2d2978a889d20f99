#include "platform/rtl/exceptions.h"

namespace host {

void Abort() { throw EAbort("Operation aborted"); }

}  // namespace host
