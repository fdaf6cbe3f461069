// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace corvane::media {

// Leaves new elements uninitialised: audio is received or converted straight into the room a
// resize makes, so zeroing it first would only cost a pass over every byte of the join.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        std::allocator_traits<std::allocator<T>>::construct(*static_cast<std::allocator<T>*>(this), p,
                                                            std::forward<Args>(args)...);
    }
};

// Bytes of converted audio on their way to the output.
using PcmBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

}  // namespace corvane::media
