#pragma once

#include "json/decimal.h"
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvana::json {

class Dictionary;
class Collection;

namespace detail {

// The growable element array of a container. Its first storage may lie in the container's own
// allocation (see Dictionary::fromUniqueMembers), so a parsed container costs one allocation;
// growth beyond it moves the elements to storage of their own.
template <typename T> class Elements {
public:
    Elements() noexcept = default;
    Elements(const Elements& other) {
        append(other, [](const T& e) -> const T& { return e; });
    }
    // Owned storage moves as a whole; storage in the other container's block cannot, so its
    // elements move one by one.
    Elements(Elements&& other) { take(other); }
    Elements& operator=(const Elements& other) {
        if (this != &other) {
            Elements copy(other);
            clear();
            take(copy);
        }
        return *this;
    }
    Elements& operator=(Elements&& other) {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }
    ~Elements() {
        clear();
        releaseOwned();
    }

    // Takes count constructed elements in storage that this array does not own.
    void adoptBorrowed(T* storage, size_t count) noexcept {
        m_data = storage;
        m_size = count;
        m_capacity = count | kBorrowed;
    }

    [[nodiscard]] size_t size() const noexcept { return m_size; }
    [[nodiscard]] T* begin() noexcept { return m_data; }
    [[nodiscard]] T* end() noexcept { return m_data + m_size; }
    [[nodiscard]] const T* begin() const noexcept { return m_data; }
    [[nodiscard]] const T* end() const noexcept { return m_data + m_size; }
    [[nodiscard]] T& operator[](size_t i) noexcept { return m_data[i]; }
    [[nodiscard]] const T& operator[](size_t i) const noexcept { return m_data[i]; }

    template <typename... Args> void emplace_back(Args&&... args) {
        if (m_size == capacity())
            grow();
        new (m_data + m_size) T(std::forward<Args>(args)...);
        ++m_size;
    }

    void clear() noexcept {
        // The count drops first: an element's destructor never sees the ones already gone.
        const size_t count = m_size;
        m_size = 0;
        for (size_t i = 0; i < count; ++i)
            m_data[i].~T();
    }

private:
    template <typename Source, typename Get> void append(Source& source, Get get) {
        for (auto& e : source)
            emplace_back(get(e));
    }

    // Leaves other empty; this holds no elements on entry.
    void take(Elements& other) {
        if (!other.borrowed()) {
            releaseOwned();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
            m_capacity = std::exchange(other.m_capacity, 0);
            return;
        }
        // Borrowed storage: moved element by element into storage of its own.
        if (capacity() < other.m_size) {
            releaseOwned();
            m_data = static_cast<T*>(::operator new(other.m_size * sizeof(T)));
            m_capacity = other.m_size;
        }
        for (size_t i = 0; i < other.m_size; ++i)
            new (m_data + i) T(std::move(other.m_data[i]));
        m_size = other.m_size;
        other.clear();
    }

    void grow() {
        const size_t capacity = this->capacity() < 4 ? 4 : this->capacity() * 2;
        T* storage = static_cast<T*>(::operator new(capacity * sizeof(T)));
        for (size_t i = 0; i < m_size; ++i) {
            new (storage + i) T(std::move(m_data[i]));
            m_data[i].~T();
        }
        releaseOwned();
        m_data = storage;
        m_capacity = capacity;
    }

    void releaseOwned() noexcept {
        if (!borrowed() && m_data)
            ::operator delete(m_data);
    }

    // The top bit of m_capacity marks storage that belongs to the container's block.
    static constexpr size_t kBorrowed = ~(~size_t(0) >> 1);
    [[nodiscard]] bool borrowed() const noexcept { return (m_capacity & kBorrowed) != 0; }
    [[nodiscard]] size_t capacity() const noexcept { return m_capacity & ~kBorrowed; }

    static_assert(std::is_nothrow_move_constructible_v<T>);
    T* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace detail

// One JSON value: Empty, Null, Boolean, String (UTF-16 code units), Number (exact Decimal),
// Dictionary or Collection. Copies are cheap: strings are implicitly shared and containers are
// shared by reference, so a container reached through two values is the same object.
// A default-constructed Value is Empty. The accessors of one kind throw orvana::Error
// TypeMismatch "Type mismatch" when the value holds another kind.
class Value {
public:
    enum class Kind { Empty, Null, Boolean, String, Number, Dictionary, Collection };

    Value() noexcept = default;
    Value(const Value& other) noexcept : m_word(other.m_word) { copyPayload(other); }
    Value(Value&& other) noexcept : m_word(other.m_word) { takePayload(other); }
    Value& operator=(const Value& other) noexcept {
        if (this != &other) {
            Value copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        if (this != &other) {
            // The old payload goes last: it may own the container that holds other.
            Value old(std::move(*this));
            m_word = other.m_word;
            takePayload(other);
        }
        return *this;
    }
    ~Value() {
        if (kind() >= Kind::String)
            release();
    }

    [[nodiscard]] static Value null() noexcept { return Value(Kind::Null); }
    [[nodiscard]] static Value fromBool(bool value) noexcept {
        Value v(Kind::Boolean);
        new (v.m_raw) bool(value);
        return v;
    }
    [[nodiscard]] static Value fromString(QString value) noexcept;
    [[nodiscard]] static Value fromNumber(Decimal value) noexcept {
        Value v(Kind::Number);
        new (v.m_raw) Decimal(value);
        return v;
    }
    // A null pointer gives Empty.
    [[nodiscard]] static Value fromDictionary(std::shared_ptr<Dictionary> value) noexcept;
    [[nodiscard]] static Value fromCollection(std::shared_ptr<Collection> value) noexcept;

    [[nodiscard]] Kind kind() const noexcept { return static_cast<Kind>(m_word & kKindMask); }
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
    // By value (implicitly shared, so cheap): a reference into a temporary Value, such as the
    // result of Dictionary::Item, would dangle.
    [[nodiscard]] QString toString() const;
    [[nodiscard]] Decimal toNumber() const;

    // The shared container, or nullptr when the value is not of that kind.
    [[nodiscard]] std::shared_ptr<Dictionary> dictionary() const noexcept;
    [[nodiscard]] std::shared_ptr<Collection> collection() const noexcept;

private:
    // A string is held as its two pointers (header and data), its length kept in m_word above
    // the kind, which keeps a Value at 24 bytes where a QString beside a tag would need 32.
    struct StringParts {
        QTypedArrayData<char16_t>* header;
        char16_t* data;
    };
    using DictionaryPtr = std::shared_ptr<Dictionary>;
    using CollectionPtr = std::shared_ptr<Collection>;

    static constexpr uint64_t kKindMask = 0xff;
    static constexpr int kLengthShift = 8;

    explicit Value(Kind kind) noexcept : m_word(uint64_t(kind)) {}

    template <typename T> [[nodiscard]] T* as() noexcept {
        return std::launder(reinterpret_cast<T*>(m_raw));
    }
    template <typename T> [[nodiscard]] const T* as() const noexcept {
        return std::launder(reinterpret_cast<const T*>(m_raw));
    }

    // The payload of other moves here (m_word is already set); other becomes Empty.
    void takePayload(Value& other) noexcept {
        switch (kind()) {
        case Kind::Dictionary:
            new (m_raw) DictionaryPtr(std::move(*other.as<DictionaryPtr>()));
            other.as<DictionaryPtr>()->~DictionaryPtr();
            break;
        case Kind::Collection:
            new (m_raw) CollectionPtr(std::move(*other.as<CollectionPtr>()));
            other.as<CollectionPtr>()->~CollectionPtr();
            break;
        default:
            std::memcpy(m_raw, other.m_raw, sizeof m_raw);
            break;
        }
        other.m_word = 0;
    }
    void copyPayload(const Value& other) noexcept;
    void release() noexcept;
    [[nodiscard]] QString::DataPointer stringPointer() const noexcept;

    static_assert(sizeof(StringParts) <= 16 && sizeof(Decimal) <= 16 &&
                  sizeof(DictionaryPtr) <= 16 && sizeof(CollectionPtr) <= 16);
    alignas(8) std::byte m_raw[16] = {};
    // The kind in the low 8 bits; for a String, its length above them.
    uint64_t m_word = 0;
};

// Members in insertion order; keys compared exactly (code unit by code unit), each key once.
// An absent key reads as Empty. One thread at a time.
class Dictionary {
public:
    using Member = std::pair<QString, Value>;
    using const_iterator = const Member*;

    Dictionary() = default;
    // Moves the members, whose keys must all differ (a parser has checked them as it read), into
    // a new dictionary allocated together with them in one block.
    [[nodiscard]] static std::shared_ptr<Dictionary> fromUniqueMembers(std::span<Member> members);

    [[nodiscard]] qsizetype Count() const noexcept { return qsizetype(m_members.size()); }
    [[nodiscard]] bool Exists(const QString& key) const { return indexOf(key) >= 0; }
    // Empty when the key is absent.
    [[nodiscard]] Value Item(const QString& key) const;
    // Throws orvana::Error DuplicateKey "Duplicate key" when the key is present (nothing changes).
    void Add(const QString& key, Value value);
    // Adds the member, or replaces the value of an existing key in its place.
    void setItem(const QString& key, Value value);
    [[nodiscard]] QStringList Keys() const;
    [[nodiscard]] QList<Value> Items() const;

    // In insertion order, as (key, value).
    [[nodiscard]] const_iterator begin() const noexcept { return m_members.begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return m_members.end(); }

private:
    [[nodiscard]] qsizetype indexOf(const QString& key) const;
    void buildIndex();

    detail::Elements<Member> m_members;
    // Built once the dictionary grows past a few members; small ones are searched linearly.
    std::unique_ptr<QHash<QString, qsizetype>> m_index;
};

// An ordered list of values, positions from 1. One thread at a time.
class Collection {
public:
    using const_iterator = const Value*;

    Collection() = default;
    // Moves the items into a new collection allocated together with them in one block.
    [[nodiscard]] static std::shared_ptr<Collection> fromItems(std::span<Value> items);

    [[nodiscard]] qsizetype Count() const noexcept { return qsizetype(m_items.size()); }
    // 1-based. Throws orvana::Error IndexOutOfRange outside 1..Count().
    [[nodiscard]] Value Item(qsizetype position) const;
    void Add(Value value) { m_items.emplace_back(std::move(value)); }
    // Drops every item; the way to free a collection that a caller made hold itself.
    void Clear() noexcept { m_items.clear(); }

    [[nodiscard]] const_iterator begin() const noexcept { return m_items.begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return m_items.end(); }

private:
    detail::Elements<Value> m_items;
};

} // namespace orvana::json
