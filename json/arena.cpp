#include "json/arena.h"

#include <algorithm>
#include <new>

namespace orvana::json::detail {

namespace {

// Ordinary blocks double from the first one up to kMaxBlock. A request larger than half the next
// block gets a block of its own, so that a long string neither wastes the rest of a block nor
// makes the next one huge.
constexpr size_t kMinBlock = 4096;
constexpr size_t kMaxBlock = size_t(8) << 20;

} // namespace

// A block's header; its bytes follow it, 8-aligned.
struct Arena::Block {
    Block* next;
};

static_assert(alignof(Arena) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
static_assert(sizeof(Arena) % 8 == 0);

Arena* Arena::create(size_t firstBytes) {
    firstBytes = roundUp8(firstBytes);
    void* memory = ::operator new(sizeof(Arena) + firstBytes);
    return new (memory) Arena(firstBytes);
}

Arena::Arena(size_t firstBytes) noexcept
    : m_cursor(reinterpret_cast<std::byte*>(this + 1)), m_end(m_cursor + firstBytes),
      m_nextBlock(std::clamp(firstBytes * 2, kMinBlock, kMaxBlock)) {}

void* Arena::allocateSlow(size_t bytes) {
    const bool own = bytes > m_nextBlock / 2;
    const size_t size = own ? bytes : m_nextBlock;
    auto* block = new (::operator new(sizeof(Block) + size)) Block{m_blocks};
    m_blocks = block;
    auto* start = reinterpret_cast<std::byte*>(block + 1);
    if (own)
        return start;
    m_cursor = start + bytes;
    m_end = start + size;
    m_nextBlock = std::min(m_nextBlock * 2, kMaxBlock);
    return start;
}

void Arena::adopt(Spill* spill) noexcept {
    spill->m_next = m_spills;
    m_spills = spill;
}

void Arena::destroy() noexcept {
    // Spills first: they may hold references into other arenas, never into this one.
    for (Spill* spill = m_spills; spill;) {
        Spill* next = spill->m_next;
        delete spill;
        spill = next;
    }
    for (Block* block = m_blocks; block;) {
        Block* next = block->next;
        ::operator delete(block);
        block = next;
    }
    this->~Arena();
    ::operator delete(this);
}

} // namespace orvana::json::detail
