// Output streams of the exporters: an abstract byte sink, a memory stream whose capacity
// grows in 128 KiB steps, and a buffered stream over a Qt device (files).
// Single-threaded. Write failures throw GridError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class QIODevice;

namespace enviozvr::grid {

class TStream {
  public:
    virtual ~TStream() = default;
    virtual void write(const void* data, size_t size) = 0;

    void write(std::string_view s) { write(s.data(), s.size()); }
    void writeByte(uint8_t b) { write(&b, 1); }
    void writeU16(uint16_t v) {
        const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        write(b, 2);
    }
    void writeI32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        const uint8_t b[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                              static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
        write(b, 4);
    }
    void writeDouble(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        uint8_t b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(u >> (8 * i));
        write(b, 8);
    }
};

// Bytes held in memory. The capacity is rounded up to a multiple of 131072 bytes whenever
// it has to grow; clear() empties the stream and keeps the capacity. A capacity that cannot
// be obtained raises "Out of memory while expanding memory stream".
class TMemoryStream final : public TStream {
  public:
    static constexpr size_t kGrowStep = 131072;

    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    void write(const void* data, size_t size) override {
        if (size_ + size > capacity_) grow(size_ + size);
        if (size) std::memcpy(data_ + size_, data, size);
        size_ += size;
    }
    using TStream::write;

    const char* data() const { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    std::string_view view() const { return {data_, size_}; }
    std::string bytes() const { return std::string(view()); }
    void clear() { size_ = 0; }

  private:
    void grow(size_t needed);

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Writes through a 64 KiB buffer to an open QIODevice; flush() (also called by the
// destructor, which swallows errors) hands the rest over. A refused write raises a
// GridError with the device's error text.
class DeviceStream final : public TStream {
  public:
    explicit DeviceStream(QIODevice& device);
    ~DeviceStream() override;
    DeviceStream(const DeviceStream&) = delete;
    DeviceStream& operator=(const DeviceStream&) = delete;

    void write(const void* data, size_t size) override;
    using TStream::write;
    void flush();

  private:
    QIODevice& device_;
    std::string buffer_;
};

}  // namespace enviozvr::grid
