#pragma once

// How values, strings and containers are laid out in an arena; shared by value.cpp and the
// parser, not by users of the tree.

#include "json/value.h"
#include <span>
#include <type_traits>
#include <vector>

namespace orvana::json::detail {

// A string as stored in an arena: its length, then its code units.
struct StringRep {
    qsizetype length;

    [[nodiscard]] const char16_t* units() const noexcept {
        return reinterpret_cast<const char16_t*>(this + 1);
    }
    [[nodiscard]] char16_t* units() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
    [[nodiscard]] QStringView view() const noexcept { return {units(), length}; }
};

// A container as stored in an arena: one word, then, while it keeps the form a parse gave it,
// its elements. In that form the word is (count << 1) | 1. Once the container was reached through
// dictionary() or collection() it is the address of its Anchor, plus 2; once it changed (or, a
// large parsed dictionary, was indexed) the address of its Extension.
struct Cell {
    uint64_t word;

    [[nodiscard]] bool inPlace() const noexcept { return (word & 1) != 0; }
    [[nodiscard]] bool anchored() const noexcept { return (word & 3) == 2; }
    [[nodiscard]] bool extended() const noexcept { return (word & 3) == 0; }
    [[nodiscard]] size_t count() const noexcept { return size_t(word >> 1); }
    template <typename T> [[nodiscard]] T* inPlaceElements() noexcept {
        return reinterpret_cast<T*>(this + 1);
    }
};

// The bytes a container needs in an arena: the cell and its elements.
template <typename T> constexpr size_t cellBytes(size_t count) noexcept {
    return sizeof(Cell) + count * sizeof(T);
}

using Entry = Dictionary::Entry;

// A member on a parse's scratch stack.
struct RawMember {
    RawValue key;
    RawValue value;
};

// Access to the private representation of Value.
struct ValueAccess {
    using Tag = Value::Tag;

    // Takes over the reference raw stands for, if any.
    [[nodiscard]] static Value adopt(const RawValue& raw) noexcept {
        Value v;
        std::memcpy(v.m_bytes, raw.bytes, sizeof raw.bytes);
        return v;
    }
    // The bits of v, which keep the reference v held; v becomes Empty.
    [[nodiscard]] static RawValue take(Value& v) noexcept {
        RawValue raw = bits(v);
        v.clear();
        return raw;
    }
    [[nodiscard]] static RawValue bits(const Value& v) noexcept {
        RawValue raw;
        std::memcpy(raw.bytes, v.m_bytes, sizeof raw.bytes);
        return raw;
    }
    [[nodiscard]] static Arena* arenaOf(const Value& v) noexcept { return v.arena(); }
    [[nodiscard]] static Arena* arenaOf(const RawValue& raw) noexcept {
        return Value::arenaOf(raw.bytes);
    }
    [[nodiscard]] static Cell* cellOf(const Value& v) noexcept {
        return static_cast<Cell*>(const_cast<void*>(v.object()));
    }
    // The code units of a string, short or stored, read from the bytes of a Value or a RawValue
    // (a short one's view points into them).
    [[nodiscard]] static QStringView textOf(const std::byte* bytes) noexcept {
        if (Value::tagOf(bytes) == Value::kShortString)
            return {reinterpret_cast<const char16_t*>(bytes + 2),
                    qsizetype(uint8_t(bytes[1]) & ~Value::kNullString)};
        return static_cast<const StringRep*>(Value::objectOf(bytes))->view();
    }
    [[nodiscard]] static QStringView stringView(const RawValue& raw) noexcept {
        return textOf(raw.bytes);
    }
    [[nodiscard]] static bool isEmpty(const RawValue& raw) noexcept {
        return Value::tagOf(raw.bytes) == Value::kEmpty;
    }

    [[nodiscard]] static RawValue empty() noexcept { return RawValue{}; }
    [[nodiscard]] static RawValue null() noexcept { return bits(Value::null()); }
    [[nodiscard]] static RawValue boolean(bool b) noexcept { return bits(Value::fromBool(b)); }
    [[nodiscard]] static RawValue number(const Decimal& d) noexcept {
        return bits(Value::fromNumber(d));
    }
    // The number (-1)^negative * (high * 2^64 + low) / 10^scale, whose parts must be in range.
    [[nodiscard]] static RawValue number(bool negative, uint64_t low, uint32_t high,
                                         int scale) noexcept {
        const uint64_t head =
            Value::kNumber | uint64_t(negative) << 8 | uint64_t(scale) << 16 | uint64_t(high) << 32;
        RawValue raw;
        std::memcpy(raw.bytes, &head, sizeof head);
        std::memcpy(raw.bytes + 8, &low, sizeof low);
        return raw;
    }
    // A string of at most kShortUnits code units, held in the value itself. An empty one comes
    // back from toString() as a null QString when null is set.
    [[nodiscard]] static RawValue shortString(QStringView units, bool null = false) noexcept {
        RawValue raw{};
        const uint16_t head = shortStringHead(int(units.size()), null);
        std::memcpy(raw.bytes, &head, sizeof head);
        // At most 7 units: a loop beats a call to memcpy.
        for (qsizetype i = 0; i < units.size(); ++i) {
            const char16_t unit = units.utf16()[i];
            std::memcpy(raw.bytes + 2 + 2 * i, &unit, sizeof unit);
        }
        return raw;
    }
    static constexpr qsizetype kShortUnits = qsizetype(Value::kShortUnits);
    // The first two bytes of a short string of length units, as a little-endian word.
    [[nodiscard]] static constexpr uint16_t shortStringHead(int length, bool null) noexcept {
        const unsigned flags = null && length == 0 ? Value::kNullString : 0;
        return uint16_t(Value::kShortString | (unsigned(length) | flags) << 8);
    }
    [[nodiscard]] static bool fitsShort(qsizetype length) noexcept { return length <= kShortUnits; }
    [[nodiscard]] static bool isShortString(const RawValue& raw) noexcept {
        return Value::tagOf(raw.bytes) == Value::kShortString;
    }
    // Whether two short strings hold the same text (their unused units are zero).
    [[nodiscard]] static bool sameShortText(const RawValue& a, const RawValue& b) noexcept {
        constexpr uint64_t kText = ~(uint64_t(Value::kNullString) << 8);
        uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a.bytes, 8);
        std::memcpy(&a1, a.bytes + 8, 8);
        std::memcpy(&b0, b.bytes, 8);
        std::memcpy(&b1, b.bytes + 8, 8);
        return ((a0 ^ b0) & kText) == 0 && a1 == b1;
    }
    [[nodiscard]] static RawValue string(Arena* arena, const StringRep* rep) noexcept {
        return pointer(Value::kString, arena, rep);
    }
    [[nodiscard]] static RawValue dictionary(Arena* arena, const Cell* cell) noexcept {
        return pointer(Value::kDictionary, arena, cell);
    }
    [[nodiscard]] static RawValue collection(Arena* arena, const Cell* cell) noexcept {
        return pointer(Value::kCollection, arena, cell);
    }

    // A handle at room whose value refers to the container without holding a reference: the
    // handle lives in the container's arena and is never destroyed.
    template <typename Handle>
    [[nodiscard]] static Handle* placeHandle(void* room, const RawValue& self) {
        return new (room) Handle(adopt(self));
    }

private:
    [[nodiscard]] static RawValue pointer(Tag tag, Arena* arena, const void* object) noexcept {
        RawValue raw;
        const uint64_t head = reinterpret_cast<uintptr_t>(arena) | tag;
        const uint64_t address = reinterpret_cast<uintptr_t>(object);
        std::memcpy(raw.bytes, &head, sizeof head);
        std::memcpy(raw.bytes + 8, &address, sizeof address);
        return raw;
    }
};

// A container holding the parsed elements, stored in arena; the elements point into arena or
// nowhere, so they hold no references.
[[nodiscard]] inline Cell* storeCollection(Arena& arena, std::span<const RawValue> items) {
    auto* cell = static_cast<Cell*>(arena.allocate(cellBytes<Value>(items.size())));
    cell->word = (uint64_t(items.size()) << 1) | 1;
    Value* stored = cell->inPlaceElements<Value>();
    for (size_t i = 0; i < items.size(); ++i)
        new (stored + i) Value(ValueAccess::adopt(items[i]));
    return cell;
}

class KeyIndex;
// A dictionary holding the parsed members, stored in arena; index must cover their keys at
// positions 0..size-1 when there are more than KeyIndex::kThreshold of them (else it is unused).
[[nodiscard]] Cell* storeDictionary(Arena& arena, std::span<const RawMember> members,
                                    KeyIndex&& index);

// Room in arena for a string of length code units (filled by the caller).
[[nodiscard]] StringRep* newString(Arena& arena, qsizetype length);

// units as a string value of arena: held in the value when short, else copied into arena.
[[nodiscard]] RawValue makeString(Arena& arena, QStringView units, bool nullIfEmpty = false);

// Hash of a key's code units.
[[nodiscard]] size_t hashKey(QStringView key) noexcept;

// Positions of keys by hash, for dictionaries too large to search member by member: open
// addressing, each slot holding a position + 1 (0 when free). The keys stay where they are;
// keyAt(position) reads them.
class KeyIndex {
public:
    // Below this many members a linear search beats hashing.
    static constexpr size_t kThreshold = 12;

    [[nodiscard]] bool empty() const noexcept { return m_slots.empty(); }
    // Indexes positions 0..count-1.
    template <typename KeyAt> void rebuild(size_t count, KeyAt keyAt);
    // Indexes position, whose key must not be present yet.
    template <typename KeyAt> void insert(size_t position, KeyAt keyAt);
    // Follows a member appended at position count-1: indexes it, or all count of them once the
    // dictionary grows past kThreshold. Inlined: the parser calls it for every member, and for
    // most it only tests two numbers.
    template <typename KeyAt> [[gnu::always_inline]] void added(size_t count, KeyAt keyAt);
    // The position of key, or -1.
    template <typename KeyAt> [[nodiscard]] qsizetype find(QStringView key, KeyAt keyAt) const;
    void clear() noexcept { m_slots.clear(); }

private:
    void place(size_t hash, size_t position) noexcept;

    std::vector<uint32_t> m_slots; // a power of two, at most half full
    size_t m_used = 0;
};

template <typename KeyAt> void KeyIndex::rebuild(size_t count, KeyAt keyAt) {
    size_t size = 16;
    while (size < count * 2 + 2)
        size *= 2;
    m_slots.assign(size, 0);
    m_used = 0;
    for (size_t i = 0; i < count; ++i)
        place(hashKey(keyAt(i)), i);
}

template <typename KeyAt> void KeyIndex::insert(size_t position, KeyAt keyAt) {
    if ((m_used + 1) * 2 > m_slots.size()) {
        rebuild(position + 1, keyAt);
        return;
    }
    place(hashKey(keyAt(position)), position);
}

template <typename KeyAt> inline void KeyIndex::added(size_t count, KeyAt keyAt) {
    if (!empty())
        insert(count - 1, keyAt);
    else if (count > kThreshold)
        rebuild(count, keyAt);
}

template <typename KeyAt> qsizetype KeyIndex::find(QStringView key, KeyAt keyAt) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t at = hashKey(key) & mask;; at = (at + 1) & mask) {
        const uint32_t slot = m_slots[at];
        if (slot == 0)
            return -1;
        if (keyAt(slot - 1) == key)
            return qsizetype(slot - 1);
    }
}

template <typename T>
using HandleOf = std::conditional_t<std::is_same_v<T, Entry>, Dictionary, Collection>;

// The handle of a container that dictionary() or collection() reached, which every later call
// shares, and the word its cell held before. In the arena; never destroyed.
template <typename T> struct Anchor {
    HandleOf<T> handle;
    uint64_t word;
};

// What a container gains when it is first changed, or (a large parsed dictionary) indexed: the
// place of its elements, still where the parse stored them or heap storage of its own once it
// changed, and its index. Destroyed with the arena. An element pointing into the container's own
// arena holds no reference (so a container may hold itself or its parents); one pointing into
// another arena holds one.
template <typename T> class Extension final : public Spill {
public:
    using Handle = HandleOf<T>;

    // Takes over the elements the cell holds in place (it must not be extended yet), where they
    // stay until the first change, and its handle if it has one.
    Extension(Arena* owner, Cell* cell) noexcept;
    ~Extension() override;

    [[nodiscard]] std::span<T> elements() noexcept { return {m_data, m_size}; }
    [[nodiscard]] std::span<const T> elements() const noexcept { return {m_data, m_size}; }
    [[nodiscard]] KeyIndex& index() noexcept { return m_index; }
    [[nodiscard]] const KeyIndex& index() const noexcept { return m_index; }
    // Made on first use.
    [[nodiscard]] Handle& handle();

    // Takes the members of a large dictionary as a parse stored them (they hold no references).
    void takeParsed(std::span<const RawMember> parsed) requires std::is_same_v<T, Entry>;
    // Appends value, settling its reference as described above.
    void append(Value&& value) requires std::is_same_v<T, Value>;
    // Appends a member whose key is held in the value or stored in this container's arena.
    void appendMember(const RawValue& key, Value&& value) requires std::is_same_v<T, Entry>;
    // Replaces the value of the element at position.
    void replaceValue(size_t position, Value&& value);
    void clear() noexcept;

private:
    [[nodiscard]] static Value& valueOf(T& element) noexcept {
        if constexpr (std::is_same_v<T, Entry>)
            return element.value;
        else
            return element;
    }
    // Moves the elements to heap storage of their own, as every change needs first.
    void own();
    void reserve(size_t capacity);
    void makeRoom();
    void settle(Value& value) noexcept;
    void unsettle(Value& value) noexcept;

    Arena* m_owner;
    Cell* m_cell;
    T* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;      // 0 while the elements are still where the parse stored them
    size_t m_foreign = 0;       // elements holding a reference into another arena
    KeyIndex m_index;           // dictionaries past KeyIndex::kThreshold
    Handle* m_handle = nullptr; // in the arena
};

template <typename T> [[nodiscard]] Anchor<T>* anchorOf(const Cell* cell) noexcept {
    return reinterpret_cast<Anchor<T>*>(cell->word & ~uint64_t(3));
}

// The elements of a container, wherever they are.
template <typename T> [[nodiscard]] std::span<T> elementsOf(Cell* cell) noexcept {
    if (cell->inPlace())
        return {cell->inPlaceElements<T>(), cell->count()};
    if (cell->anchored())
        return {cell->inPlaceElements<T>(), size_t(anchorOf<T>(cell)->word >> 1)};
    return reinterpret_cast<Extension<T>*>(cell->word)->elements();
}

// The container's extension, made when it has none yet.
template <typename T> Extension<T>& extensionOf(Arena* arena, Cell* cell);

// The container's handle, made when it has none yet.
template <typename T> HandleOf<T>& handleOf(Arena* arena, Cell* cell);

} // namespace orvana::json::detail
