#pragma once

#include "json/arena.h"
#include "json/decimal.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>
#include <utility>

namespace orvana::json {

class Dictionary;
class Collection;

namespace detail {

struct ValueAccess;

inline constexpr size_t kValueBytes = 16;

// The bits of a Value without the reference they may stand for: what a parse keeps on its
// scratch stacks before a container is stored.
struct RawValue {
    alignas(8) std::byte bytes[kValueBytes];
};

} // namespace detail

// One JSON value: Empty, Null, Boolean, String (UTF-16 code units), Number (exact Decimal),
// Dictionary or Collection. A default-constructed Value is Empty. The accessors of one kind throw
// orvana::Error TypeMismatch "Type mismatch" when the value holds another kind.
//
// Strings and containers live in an arena: the one of the parse that read them, or a small one of
// their own when made by hand. A Value that holds a string or a container holds one reference to
// its arena, so holding any part of a big parse, however small, keeps the whole parse's memory;
// releasing the last value of a parse frees all of it in one step. Containers are shared by
// reference: a container reached through two values is the same container. Values may be copied
// and released on any thread; the containers they reach are used by one thread at a time.
class Value {
public:
    enum class Kind { Empty, Null, Boolean, String, Number, Dictionary, Collection };

    Value() noexcept = default;
    Value(const Value& other) noexcept {
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        if (detail::Arena* a = arena())
            a->ref();
    }
    Value(Value&& other) noexcept {
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        other.clear();
    }
    // The old value is released last: it may own the container that holds other.
    Value& operator=(const Value& other) noexcept {
        Value copy(other);
        swap(copy);
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        Value taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~Value() {
        if (detail::Arena* a = arena())
            a->release();
    }

    [[nodiscard]] static Value null() noexcept { return Value(kNull); }
    [[nodiscard]] static Value fromBool(bool value) noexcept {
        Value v(kBoolean);
        v.m_bytes[8] = std::byte(value ? 1 : 0);
        return v;
    }
    // Copies the code units (into the value itself when they are few); a null QString comes back
    // from toString() as a null QString.
    [[nodiscard]] static Value fromString(QString value);
    [[nodiscard]] static Value fromNumber(Decimal value) noexcept;
    // A null pointer gives Empty.
    [[nodiscard]] static Value fromDictionary(std::shared_ptr<Dictionary> value) noexcept;
    [[nodiscard]] static Value fromCollection(std::shared_ptr<Collection> value) noexcept;

    [[nodiscard]] Kind kind() const noexcept { return kKinds[tag()]; }
    [[nodiscard]] bool isEmpty() const noexcept { return kind() == Kind::Empty; }
    [[nodiscard]] bool isNull() const noexcept { return kind() == Kind::Null; }
    [[nodiscard]] bool isBoolean() const noexcept { return kind() == Kind::Boolean; }
    [[nodiscard]] bool isString() const noexcept { return kind() == Kind::String; }
    [[nodiscard]] bool isNumber() const noexcept { return kind() == Kind::Number; }
    [[nodiscard]] bool isDictionary() const noexcept { return kind() == Kind::Dictionary; }
    [[nodiscard]] bool isCollection() const noexcept { return kind() == Kind::Collection; }
    // Dictionary or Collection.
    [[nodiscard]] bool isObject() const noexcept { return isDictionary() || isCollection(); }

    // Throw orvana::Error TypeMismatch unless the value is of that kind.
    [[nodiscard]] bool toBool() const;
    // A copy of the code units, so it outlives the value.
    [[nodiscard]] QString toString() const;
    // The code units without a copy, valid while this Value lives unchanged.
    [[nodiscard]] QStringView stringView() const;
    [[nodiscard]] Decimal toNumber() const;

    // The container, or nullptr when the value is not of that kind. Every call gives the same
    // object for one container (the first call places it, 24 bytes, in the container's arena);
    // the pointer keeps the arena alive, and so does this value.
    [[nodiscard]] std::shared_ptr<Dictionary> dictionary() const;
    [[nodiscard]] std::shared_ptr<Collection> collection() const;

private:
    friend struct detail::ValueAccess;

    // Two words. The tag is in the low 4 bits of the first; strings and containers keep their
    // arena's address (16-byte aligned) above it and the address of their storage in the second
    // word. A number keeps its sign, scale and top 32 coefficient bits in the first word and the
    // low 64 bits in the second; a boolean its value in the second.
    enum Tag : uint8_t {
        kEmpty,
        kNull,
        kBoolean,
        kNumber,
        kShortString,
        kString,
        kDictionary,
        kCollection
    };
    static constexpr uint64_t kTagMask = 0xF;
    static constexpr Kind kKinds[16] = {Kind::Empty,      Kind::Null,      Kind::Boolean,
                                        Kind::Number,     Kind::String,    Kind::String,
                                        Kind::Dictionary, Kind::Collection};
    // A short string is held in the value itself: its length in the second byte (with
    // kNullString for a null QString), its code units from the third.
    static constexpr size_t kShortUnits = (detail::kValueBytes - 2) / 2;
    static constexpr uint8_t kNullString = 0x80;

    explicit Value(Tag tag) noexcept { m_bytes[0] = std::byte(tag); }

    // The layout above, read from the bytes of a value (or of a RawValue).
    [[nodiscard]] static uint64_t wordOf(const std::byte* bytes, size_t i) noexcept {
        uint64_t w;
        std::memcpy(&w, bytes + 8 * i, sizeof w);
        return w;
    }
    [[nodiscard]] static uint8_t tagOf(const std::byte* bytes) noexcept {
        return uint8_t(bytes[0]) & kTagMask;
    }
    [[nodiscard]] static detail::Arena* arenaOf(const std::byte* bytes) noexcept {
        return tagOf(bytes) >= kString
                   ? reinterpret_cast<detail::Arena*>(wordOf(bytes, 0) & ~kTagMask)
                   : nullptr;
    }
    [[nodiscard]] static const void* objectOf(const std::byte* bytes) noexcept {
        return reinterpret_cast<const void*>(wordOf(bytes, 1));
    }

    [[nodiscard]] uint64_t word(size_t i) const noexcept { return wordOf(m_bytes, i); }
    [[nodiscard]] uint8_t tag() const noexcept { return tagOf(m_bytes); }
    [[nodiscard]] detail::Arena* arena() const noexcept { return arenaOf(m_bytes); }
    [[nodiscard]] const void* object() const noexcept { return objectOf(m_bytes); }
    void clear() noexcept { std::memset(m_bytes, 0, sizeof m_bytes); }
    void swap(Value& other) noexcept {
        std::byte mine[sizeof m_bytes];
        std::memcpy(mine, m_bytes, sizeof m_bytes);
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        std::memcpy(other.m_bytes, mine, sizeof m_bytes);
    }

    alignas(8) std::byte m_bytes[detail::kValueBytes] = {};
};

// Members in insertion order; keys compared exactly (code unit by code unit), each key once. An
// absent key reads as Empty. The members live in an arena; a default-constructed Dictionary makes
// a new one for them. One thread at a time.
class Dictionary {
public:
    using Member = std::pair<QString, Value>;
    // A member as stored; the key is a String value.
    struct Entry {
        Value key;
        Value value;
    };
    // Yields each member as a Member (the key copied to a QString).
    class const_iterator;

    // A new, empty dictionary in an arena of its own.
    Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    [[nodiscard]] qsizetype Count() const noexcept { return qsizetype(entries().size()); }
    [[nodiscard]] bool Exists(const QString& key) const noexcept { return find(key) != nullptr; }
    // Empty when the key is absent.
    [[nodiscard]] Value Item(const QString& key) const;
    // Throws orvana::Error DuplicateKey "Duplicate key" when the key is present (nothing changes).
    void Add(const QString& key, Value value);
    // Adds the member, or replaces the value of an existing key in its place.
    void setItem(const QString& key, Value value);
    [[nodiscard]] QStringList Keys() const;
    [[nodiscard]] QList<Value> Items() const;

    // In insertion order.
    [[nodiscard]] const_iterator begin() const noexcept;
    [[nodiscard]] const_iterator end() const noexcept;
    // The members as stored, without copying the keys; invalidated by Add and setItem.
    [[nodiscard]] std::span<const Entry> entries() const noexcept;

private:
    friend class Value;
    friend struct detail::ValueAccess;
    // The dictionary that self holds (one that lives in an arena's extension).
    explicit Dictionary(Value self) noexcept : m_self(std::move(self)) {}
    [[nodiscard]] const Entry* find(QStringView key) const noexcept;
    // Adds a member whose key the caller found absent.
    void append(const QString& key, Value value);

    Value m_self;
};

class Dictionary::const_iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Member;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Member;

    const_iterator() noexcept = default;
    explicit const_iterator(const Entry* at) noexcept : m_at(at) {}
    [[nodiscard]] Member operator*() const { return {m_at->key.toString(), m_at->value}; }
    const_iterator& operator++() noexcept {
        ++m_at;
        return *this;
    }
    const_iterator operator++(int) noexcept { return const_iterator(m_at++); }
    friend bool operator==(const const_iterator&, const const_iterator&) = default;

private:
    const Entry* m_at = nullptr;
};

inline Dictionary::const_iterator Dictionary::begin() const noexcept {
    return const_iterator(entries().data());
}

inline Dictionary::const_iterator Dictionary::end() const noexcept {
    const std::span<const Entry> all = entries();
    return const_iterator(all.data() + all.size());
}

// An ordered list of values, positions from 1. The items live in an arena, as a Dictionary's
// members do. One thread at a time.
class Collection {
public:
    using const_iterator = const Value*;

    // A new, empty collection in an arena of its own.
    Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    [[nodiscard]] qsizetype Count() const noexcept { return qsizetype(items().size()); }
    // 1-based. Throws orvana::Error IndexOutOfRange outside 1..Count().
    [[nodiscard]] Value Item(qsizetype position) const;
    void Add(Value value);
    // Drops every item.
    void Clear() noexcept;

    // Invalidated by Add and Clear.
    [[nodiscard]] const_iterator begin() const noexcept { return items().data(); }
    [[nodiscard]] const_iterator end() const noexcept { return items().data() + items().size(); }

private:
    friend class Value;
    friend struct detail::ValueAccess;
    explicit Collection(Value self) noexcept : m_self(std::move(self)) {}
    [[nodiscard]] std::span<const Value> items() const noexcept;

    Value m_self;
};

} // namespace orvana::json
