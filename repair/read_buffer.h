#pragma once
// The scan's read buffer. Its bytes start undefined: a zero-filled 100 MB buffer would touch every
// page before the first read, whatever the size of the file. Only bytes a read delivered are used.
#include <cstddef>
#include <cstdint>
#include <memory>

class ReadBuffer {
public:
    // Replaces the buffer by one of `size` bytes, contents undefined.
    void resize(std::size_t size);
    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_ = 0;
};
