#include "data/internal/blobs.h"

#include <algorithm>

using namespace Firebird;

namespace enviozvr::data::fb {

namespace {

constexpr unsigned kBlobSegment = 32768;

}  // namespace

std::string readBlob(IAttachment* att, ITransaction* tx, ISC_QUAD* id, Status& st) {
    Ref<IBlob> blob(att->openBlob(&st, tx, id, 0, nullptr));
    std::string out;
    char buffer[kBlobSegment];
    for (;;) {
        unsigned got = 0;
        int rc = blob->getSegment(&st, sizeof buffer, buffer, &got);
        if (rc == IStatus::RESULT_NO_DATA) break;
        out.append(buffer, got);
    }
    blob->close(&st);
    blob.release();
    return out;
}

ISC_QUAD writeBlob(IAttachment* att, ITransaction* tx, const std::string& data, Status& st) {
    ISC_QUAD id{};
    Ref<IBlob> blob(att->createBlob(&st, tx, &id, 0, nullptr));
    for (size_t at = 0; at < data.size(); at += kBlobSegment) {
        unsigned n = static_cast<unsigned>(std::min<size_t>(kBlobSegment, data.size() - at));
        blob->putSegment(&st, n, data.data() + at);
    }
    blob->close(&st);
    blob.release();
    return id;
}

}  // namespace enviozvr::data::fb
