// Scoped scratch from the tracked memory service.
//
// Every block of run-time size that a routine needs is a Scratch: it is
// requested with its size, tag and request line when constructed, and
// released exactly once with its own release line, either explicitly
// (release(), where the release order is not the reverse of the request
// order) or by the destructor on every other path.  Byte counts are formed
// in 64 bits; a count that does not fit the service's 32-bit size, or a
// negative one, is never requested and leaves the block null, exactly as a
// refused request does.
#pragma once

#include <cstdint>
#include <limits>

#include "zolmemsvc.h"

namespace zol {

// count * elem_bytes in 64 bits, or -1 when it is negative or exceeds the
// service's 32-bit byte count.
constexpr std::int64_t scratch_bytes(std::int64_t count, std::int64_t elem_bytes) {
    if (count < 0 || elem_bytes < 0) return -1;
    if (elem_bytes != 0 && count > std::numeric_limits<std::int32_t>::max() / elem_bytes) return -1;
    return count * elem_bytes;
}

class Scratch {
public:
    Scratch(std::int64_t bytes, const char* tag, std::int32_t request_line,
            std::int32_t release_line) noexcept
        : tag_(tag), release_line_(release_line) {
        if (bytes >= 0 && bytes <= std::numeric_limits<std::int32_t>::max())
            block_ = f_malloc(static_cast<std::int32_t>(bytes), tag, request_line);
    }
    ~Scratch() { release(); }

    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Releases the block now (no-op when null or already released).
    void release() noexcept {
        if (block_ != nullptr) {
            f_free(block_, tag_, release_line_);
            block_ = nullptr;
        }
    }

    explicit operator bool() const noexcept { return block_ != nullptr; }

    template <class T>
    T* as() const noexcept {
        return static_cast<T*>(block_);
    }

private:
    void* block_ = nullptr;
    const char* tag_;
    std::int32_t release_line_;
};

}  // namespace zol
