#include "repair/read_buffer.h"

#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// Large pages make the first touch of a big buffer far cheaper where the system offers them.
constexpr std::size_t kLargePage = std::size_t(2) << 20;

}  // namespace

void ReadBuffer::Free::operator()(std::uint8_t* p) const { std::free(p); }

void ReadBuffer::resize(std::size_t size) {
    data_.reset();
    size_ = 0;
    if (size == 0) return;
    const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
    void* memory = size >= kLargePage ? std::aligned_alloc(kLargePage, rounded) : std::malloc(size);
    if (!memory) throw std::bad_alloc();
#ifdef __linux__
    if (size >= kLargePage) madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    data_.reset(static_cast<std::uint8_t*>(memory));
    size_ = size;
}
