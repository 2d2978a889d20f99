#include "engines/mgi/internal.h"

#ifndef KX_MGI_START_STATUS
#define KX_MGI_START_STATUS 0
#endif

namespace kxmgi {

// The normal build starts with 0; a test build of the loader's failure path answers with the
// status it is compiled with.
std::uint16_t startStatus() { return KX_MGI_START_STATUS; }

}  // namespace kxmgi
