#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orvana::json::detail {

// Heap storage that a container moved to when it grew after its parse; destroyed with the arena
// the container lives in.
class Spill {
public:
    Spill() = default;
    Spill(const Spill&) = delete;
    Spill& operator=(const Spill&) = delete;
    virtual ~Spill() = default;

private:
    friend class Arena;
    Spill* m_next = nullptr;
};

// The memory of one parse, or of one container or string made by hand: a chain of blocks filled
// from the front, with one reference count for all of it. Every value that points into the arena
// holds one reference; the last release frees the blocks at once, without visiting what they
// hold. References may be taken and released on any thread; allocate() and adopt() only by the
// one thread that is building or changing the containers in it.
class alignas(16) Arena {
public:
    // An arena holding one reference (the caller's), whose first block has room for about
    // firstBytes.
    [[nodiscard]] static Arena* create(size_t firstBytes);

    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    void ref() noexcept { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            destroy();
    }

    // Room for bytes (rounded up to 8), 8-aligned, uninitialised; it lives as long as the arena.
    [[nodiscard]] void* allocate(size_t bytes) {
        bytes = roundUp8(bytes);
        if (size_t(m_end - m_cursor) >= bytes) {
            std::byte* at = m_cursor;
            m_cursor += bytes;
            return at;
        }
        return allocateSlow(bytes);
    }

    // The spill is destroyed with the arena, before its blocks are freed.
    void adopt(Spill* spill) noexcept;

private:
    struct Block;

    [[nodiscard]] static constexpr size_t roundUp8(size_t bytes) noexcept {
        return (bytes + 7) & ~size_t(7);
    }

    explicit Arena(size_t firstBytes) noexcept;
    ~Arena() = default;
    [[nodiscard]] void* allocateSlow(size_t bytes);
    void destroy() noexcept;

    std::atomic<size_t> m_refs{1};
    std::byte* m_cursor;
    std::byte* m_end;
    size_t m_nextBlock; // the size of the next ordinary block
    Block* m_blocks = nullptr;
    Spill* m_spills = nullptr;
};

} // namespace orvana::json::detail
