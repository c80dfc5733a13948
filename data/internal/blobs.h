// Blobs through the client library: read whole, or written from a string in segments.
#pragma once

#include <firebird/Interface.h>

#include <string>

#include "data/internal/fbapi.h"

namespace enviozvr::data::fb {

// The whole contents of the blob `id`, read in the transaction `tx`.
std::string readBlob(Firebird::IAttachment* att, Firebird::ITransaction* tx, ISC_QUAD* id,
                     Status& st);

// Creates a blob holding `data` in the transaction `tx`; returns its id.
ISC_QUAD writeBlob(Firebird::IAttachment* att, Firebird::ITransaction* tx, const std::string& data,
                   Status& st);

}  // namespace enviozvr::data::fb
