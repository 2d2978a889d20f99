// Kxtables: the engine-independent core of the library. This header gathers the unit's parts;
// include it, or the part you need from common/kxtables/.
#pragma once

#include "common/kxconst.h"
#include "common/kxtables/errors.h"
#include "common/kxtables/trace.h"
#include "common/kxtables/session.h"
#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/blobstream.h"
#include "common/kxtables/indexdefs.h"
