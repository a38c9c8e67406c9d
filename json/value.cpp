#include "json/value.h"

#include "json/error.h"

namespace orvana::json {

namespace {

// Below this many members a linear search beats building a hash.
constexpr qsizetype kIndexThreshold = 12;

// Room for the shared_ptr control block at the start of a container's block.
constexpr size_t kControlRoom = 32;

// Hands the shared_ptr the start of the container's own block for its control block, and frees
// the whole block when the control block goes, which is after the container was destroyed.
template <typename T> struct InBlockAllocator {
    using value_type = T;
    std::byte* block;

    explicit InBlockAllocator(std::byte* b) noexcept : block(b) {}
    template <typename U>
    InBlockAllocator(const InBlockAllocator<U>& other) noexcept : block(other.block) {}

    T* allocate(size_t) noexcept {
        static_assert(sizeof(T) <= kControlRoom && alignof(T) <= kControlRoom);
        return reinterpret_cast<T*>(block);
    }
    void deallocate(T*, size_t) noexcept { ::operator delete(block); }
    friend bool operator==(const InBlockAllocator& a, const InBlockAllocator& b) noexcept {
        return a.block == b.block;
    }
};

// One block: control block, container, then the elements moved from the span. The container
// is default-constructed; adopt hands it the elements.
template <typename Container, typename Element, typename Adopt>
std::shared_ptr<Container> makeInOneBlock(std::span<Element> elements, Adopt adopt) {
    static_assert(alignof(Container) <= kControlRoom);
    constexpr size_t elementsAt = (kControlRoom + sizeof(Container) + alignof(Element) - 1) /
                                  alignof(Element) * alignof(Element);
    auto* block =
        static_cast<std::byte*>(::operator new(elementsAt + elements.size() * sizeof(Element)));
    auto* container = new (block + kControlRoom) Container();
    auto* stored = reinterpret_cast<Element*>(block + elementsAt);
    for (size_t i = 0; i < elements.size(); ++i)
        new (stored + i) Element(std::move(elements[i]));
    adopt(*container, stored, elements.size());
    return std::shared_ptr<Container>(
        container, [](Container* c) { c->~Container(); }, InBlockAllocator<Container>(block));
}

[[noreturn]] void throwTypeMismatch() {
    throw Error(ErrorKind::TypeMismatch, QStringLiteral("Type mismatch"));
}

} // namespace

static_assert(sizeof(Value) == 24, "a Value is three words");

Value Value::fromString(QString value) noexcept {
    // The string's reference moves into the Value: the QString is left null, and the pointer
    // taken from it is never destroyed, so nothing is released here.
    union Taken {
        QString::DataPointer pointer;
        explicit Taken(QString::DataPointer&& p) noexcept : pointer(std::move(p)) {}
        ~Taken() {}
    } taken(std::move(value.data_ptr()));
    Value v(Kind::String);
    new (v.m_raw) StringParts{taken.pointer.d_ptr(), taken.pointer.data()};
    v.m_word |= uint64_t(taken.pointer.size) << kLengthShift;
    return v;
}

Value Value::fromDictionary(std::shared_ptr<Dictionary> value) noexcept {
    if (!value)
        return Value();
    Value v(Kind::Dictionary);
    new (v.m_raw) DictionaryPtr(std::move(value));
    return v;
}

Value Value::fromCollection(std::shared_ptr<Collection> value) noexcept {
    if (!value)
        return Value();
    Value v(Kind::Collection);
    new (v.m_raw) CollectionPtr(std::move(value));
    return v;
}

// An owning pointer made from the parts; whoever destroys it releases one reference.
QString::DataPointer Value::stringPointer() const noexcept {
    const StringParts& parts = *as<StringParts>();
    return QString::DataPointer(parts.header, parts.data, qsizetype(m_word >> kLengthShift));
}

void Value::copyPayload(const Value& other) noexcept {
    switch (kind()) {
    case Kind::String:
        std::memcpy(m_raw, other.m_raw, sizeof m_raw);
        if (QTypedArrayData<char16_t>* header = as<StringParts>()->header)
            header->ref();
        break;
    case Kind::Dictionary:
        new (m_raw) DictionaryPtr(*other.as<DictionaryPtr>());
        break;
    case Kind::Collection:
        new (m_raw) CollectionPtr(*other.as<CollectionPtr>());
        break;
    default:
        std::memcpy(m_raw, other.m_raw, sizeof m_raw);
        break;
    }
}

void Value::release() noexcept {
    switch (kind()) {
    case Kind::String: {
        // Adopts the Value's reference and releases it on leaving.
        const QString::DataPointer owned = stringPointer();
        break;
    }
    case Kind::Dictionary:
        as<DictionaryPtr>()->~DictionaryPtr();
        break;
    case Kind::Collection:
        as<CollectionPtr>()->~CollectionPtr();
        break;
    default:
        break;
    }
    m_word = 0;
}

bool Value::toBool() const {
    if (kind() == Kind::Boolean)
        return *as<bool>();
    throwTypeMismatch();
}

QString Value::toString() const {
    if (kind() != Kind::String)
        throwTypeMismatch();
    QString::DataPointer copy = stringPointer();
    copy.ref(); // the Value keeps its own reference
    return QString(std::move(copy));
}

Decimal Value::toNumber() const {
    if (kind() == Kind::Number)
        return *as<Decimal>();
    throwTypeMismatch();
}

std::shared_ptr<Dictionary> Value::dictionary() const noexcept {
    if (kind() == Kind::Dictionary)
        return *as<DictionaryPtr>();
    return nullptr;
}

std::shared_ptr<Collection> Value::collection() const noexcept {
    if (kind() == Kind::Collection)
        return *as<CollectionPtr>();
    return nullptr;
}

qsizetype Dictionary::indexOf(const QString& key) const {
    if (m_index) {
        const auto it = m_index->constFind(key);
        return it == m_index->cend() ? -1 : it.value();
    }
    for (qsizetype i = 0; i < Count(); ++i) {
        if (m_members[size_t(i)].first == key)
            return i;
    }
    return -1;
}

Value Dictionary::Item(const QString& key) const {
    const qsizetype i = indexOf(key);
    return i < 0 ? Value() : m_members[size_t(i)].second;
}

void Dictionary::Add(const QString& key, Value value) {
    if (indexOf(key) >= 0)
        throw Error(ErrorKind::DuplicateKey, QStringLiteral("Duplicate key"));
    m_members.emplace_back(key, std::move(value));
    if (m_index)
        m_index->insert(key, Count() - 1);
    else if (Count() > kIndexThreshold)
        buildIndex();
}

void Dictionary::buildIndex() {
    m_index = std::make_unique<QHash<QString, qsizetype>>();
    m_index->reserve(Count() * 2);
    for (qsizetype i = 0; i < Count(); ++i)
        m_index->insert(m_members[size_t(i)].first, i);
}

std::shared_ptr<Dictionary> Dictionary::fromUniqueMembers(std::span<Member> members) {
    if (members.empty())
        return std::make_shared<Dictionary>();
    auto dictionary =
        makeInOneBlock<Dictionary>(members, [](Dictionary& d, Member* stored, size_t count) {
            d.m_members.adoptBorrowed(stored, count);
        });
    if (dictionary->Count() > kIndexThreshold)
        dictionary->buildIndex();
    return dictionary;
}

void Dictionary::setItem(const QString& key, Value value) {
    const qsizetype i = indexOf(key);
    if (i >= 0)
        m_members[size_t(i)].second = std::move(value);
    else
        Add(key, std::move(value));
}

QStringList Dictionary::Keys() const {
    QStringList keys;
    keys.reserve(Count());
    for (const Member& m : m_members)
        keys.append(m.first);
    return keys;
}

QList<Value> Dictionary::Items() const {
    QList<Value> items;
    items.reserve(Count());
    for (const Member& m : m_members)
        items.append(m.second);
    return items;
}

std::shared_ptr<Collection> Collection::fromItems(std::span<Value> items) {
    if (items.empty())
        return std::make_shared<Collection>();
    return makeInOneBlock<Collection>(items, [](Collection& c, Value* stored, size_t count) {
        c.m_items.adoptBorrowed(stored, count);
    });
}

Value Collection::Item(qsizetype position) const {
    if (position < 1 || position > Count())
        throw Error(ErrorKind::IndexOutOfRange,
                    QStringLiteral("Collection: position %1 is outside 1 to %2")
                        .arg(position)
                        .arg(Count()));
    return m_items[size_t(position - 1)];
}

} // namespace orvana::json
