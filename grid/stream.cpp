#include "grid/stream.h"

#include <QIODevice>
#include <cstdlib>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "grid/gridtypes.h"

namespace enviozvr::grid {

#if defined(__linux__)
// Capacities are multiples of 128 KiB, so the buffer is mapped directly: growing remaps it
// without copying, and large buffers ask for huge pages, which spares one page fault per
// 4 KiB written.
TMemoryStream::~TMemoryStream() {
    if (data_) munmap(data_, capacity_);
}

void TMemoryStream::grow(size_t needed) {
    const size_t capacity = (needed + kGrowStep - 1) / kGrowStep * kGrowStep;
    if (capacity < needed) throw GridError("Out of memory while expanding memory stream");
    void* p =
        data_ ? mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
              : mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw GridError("Out of memory while expanding memory stream");
    constexpr size_t kHugePage = size_t{2} << 20;
    if (capacity >= kHugePage) madvise(p, capacity, MADV_HUGEPAGE);
    data_ = static_cast<char*>(p);
    capacity_ = capacity;
}
#else
TMemoryStream::~TMemoryStream() { std::free(data_); }

void TMemoryStream::grow(size_t needed) {
    const size_t capacity = (needed + kGrowStep - 1) / kGrowStep * kGrowStep;
    if (capacity < needed) throw GridError("Out of memory while expanding memory stream");
    void* p = std::realloc(data_, capacity);
    if (!p) throw GridError("Out of memory while expanding memory stream");
    data_ = static_cast<char*>(p);
    capacity_ = capacity;
}
#endif

namespace {
constexpr size_t kDeviceBuffer = 65536;
}

DeviceStream::DeviceStream(QIODevice& device) : device_(device) { buffer_.reserve(kDeviceBuffer); }

DeviceStream::~DeviceStream() {
    try {
        flush();
    } catch (...) {
        // A destructor must not throw: a failed run is already unwinding with its own
        // error, and a run that succeeds flushes first and sees any write error there
        // (RunExportToFile does).
    }
}

void DeviceStream::write(const void* data, size_t size) {
    if (buffer_.size() + size > kDeviceBuffer) {
        flush();
        if (size > kDeviceBuffer) {
            if (device_.write(static_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size))
                throw GridError(device_.errorString().toStdString());
            return;
        }
    }
    buffer_.append(static_cast<const char*>(data), size);
}

void DeviceStream::flush() {
    if (buffer_.empty()) return;
    const qint64 n = static_cast<qint64>(buffer_.size());
    const qint64 written = device_.write(buffer_.data(), n);
    buffer_.clear();
    if (written != n) throw GridError(device_.errorString().toStdString());
}

}  // namespace enviozvr::grid
