// The edit states of a cached result set and the hooks on its failed edits.
//
// Browse is the resting state; insert and edit hold one row being changed, which a post
// records in the change log and a cancel drops. Moving off a row posts it when a value was
// set, and cancels it otherwise.
#pragma once

#include <functional>

#include "data/errors.h"

namespace enviozvr::data {

enum TDataAction { daFail, daAbort, daRetry };

enum class DataSetState { Inactive, Browse, Insert, Edit };

class CachedResultSet;
// Hook on a failed post, edit or delete of a cached set.
using DataSetErrorHook =
    std::function<void(CachedResultSet& dataSet, const DataError& error, TDataAction& action)>;

}  // namespace enviozvr::data
