// The dataset framework in one include.
#pragma once

#include "platform/db/connection.h"
#include "platform/db/datalink.h"
#include "platform/db/dbcommon.h"
#include "platform/db/dataset.h"
#include "platform/db/dbconsts.h"
#include "platform/db/dberrors.h"
#include "platform/db/dbtypes.h"
#include "platform/db/defs.h"
#include "platform/db/fields.h"
#include "platform/db/params.h"
