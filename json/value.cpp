#include "json/value.h"

#include "json/error.h"
#include "json/tree.h"
#include <cassert>

namespace orvana::json {

namespace detail {

StringRep* newString(Arena& arena, qsizetype length) {
    auto* rep = static_cast<StringRep*>(
        arena.allocate(sizeof(StringRep) + size_t(length) * sizeof(char16_t)));
    rep->length = length;
    return rep;
}

RawValue makeString(Arena& arena, QStringView units, bool nullIfEmpty) {
    if (ValueAccess::fitsShort(units.size()))
        return ValueAccess::shortString(units, nullIfEmpty);
    StringRep* rep = newString(arena, units.size());
    std::memcpy(rep->units(), units.utf16(), size_t(units.size()) * sizeof(char16_t));
    return ValueAccess::string(&arena, rep);
}

size_t hashKey(QStringView key) noexcept {
    uint64_t hash = 0xcbf29ce484222325u;
    for (QChar c : key)
        hash = (hash ^ c.unicode()) * 0x100000001b3u;
    return size_t(hash ^ (hash >> 29));
}

void KeyIndex::place(size_t hash, size_t position) noexcept {
    const size_t mask = m_slots.size() - 1;
    size_t at = hash & mask;
    while (m_slots[at] != 0)
        at = (at + 1) & mask;
    m_slots[at] = uint32_t(position + 1);
    ++m_used;
}

namespace {

// A handle in arena for the container at cell.
template <typename T> HandleOf<T>* newHandle(Arena* arena, Cell* cell, void* room) {
    const RawValue self = std::is_same_v<T, Entry> ? ValueAccess::dictionary(arena, cell)
                                                   : ValueAccess::collection(arena, cell);
    return ValueAccess::placeHandle<HandleOf<T>>(room, self);
}

} // namespace

template <typename T>
Extension<T>::Extension(Arena* owner, Cell* cell) noexcept : m_owner(owner), m_cell(cell) {
    assert(!cell->extended());
    m_data = cell->inPlaceElements<T>();
    if (cell->anchored()) {
        m_size = size_t(anchorOf<T>(cell)->word >> 1);
        m_handle = &anchorOf<T>(cell)->handle;
    } else {
        m_size = cell->count();
    }
}

template <typename T> Extension<T>::~Extension() {
    clear();
    if (m_capacity > 0)
        ::operator delete(m_data);
}

template <typename T> typename Extension<T>::Handle& Extension<T>::handle() {
    if (!m_handle)
        m_handle = newHandle<T>(m_owner, m_cell, m_owner->allocate(sizeof(Handle)));
    return *m_handle;
}

template <typename T> HandleOf<T>& handleOf(Arena* arena, Cell* cell) {
    if (cell->extended())
        return reinterpret_cast<Extension<T>*>(cell->word)->handle();
    if (cell->anchored())
        return anchorOf<T>(cell)->handle;
    auto* anchor = static_cast<Anchor<T>*>(arena->allocate(sizeof(Anchor<T>)));
    anchor->word = cell->word;
    newHandle<T>(arena, cell, &anchor->handle);
    cell->word = reinterpret_cast<uintptr_t>(anchor) | 2;
    return anchor->handle;
}

template <typename T> void Extension<T>::reserve(size_t capacity) {
    T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
    // Moving keeps each element's reference, counted or not, as it is.
    for (size_t i = 0; i < m_size; ++i)
        new (data + i) T(std::move(m_data[i]));
    if (m_capacity > 0)
        ::operator delete(m_data);
    m_data = data;
    m_capacity = capacity;
}

template <typename T> void Extension<T>::own() {
    if (m_capacity == 0)
        reserve(std::max<size_t>(m_size * 2, 4));
}

template <typename T> void Extension<T>::makeRoom() {
    own();
    if (m_size == m_capacity)
        reserve(m_capacity * 2);
}

template <typename T> void Extension<T>::settle(Value& value) noexcept {
    Arena* arena = ValueAccess::arenaOf(value);
    if (arena == m_owner)
        arena->release(); // never the last: whoever changes this container holds the arena
    else if (arena)
        ++m_foreign;
}

template <typename T> void Extension<T>::unsettle(Value& value) noexcept {
    Arena* arena = ValueAccess::arenaOf(value);
    const RawValue gone = ValueAccess::take(value);
    if (arena && arena != m_owner) {
        --m_foreign;
        (void)ValueAccess::adopt(gone); // releases the reference
    }
}

template <typename T>
void Extension<T>::takeParsed(std::span<const RawMember> parsed) requires std::is_same_v<T, Entry> {
    reserve(parsed.size());
    for (const RawMember& m : parsed)
        new (m_data + m_size++) Entry{ValueAccess::adopt(m.key), ValueAccess::adopt(m.value)};
}

template <typename T> void Extension<T>::append(Value&& value) requires std::is_same_v<T, Value> {
    makeRoom();
    settle(*new (m_data + m_size) Value(std::move(value)));
    ++m_size;
}

template <typename T>
void Extension<T>::appendMember(const RawValue& key,
                                Value&& value) requires std::is_same_v<T, Entry> {
    makeRoom();
    Entry* slot = new (m_data + m_size) Entry{ValueAccess::adopt(key), std::move(value)};
    settle(slot->value);
    ++m_size;
}

template <typename T> void Extension<T>::replaceValue(size_t position, Value&& value) {
    own();
    Value& slot = valueOf(m_data[position]);
    // The new value is settled first: the old one may hold the only reference to its arena.
    Value old(std::move(slot));
    new (&slot) Value(std::move(value));
    settle(slot);
    unsettle(old);
}

template <typename T> void Extension<T>::clear() noexcept {
    // Elements holding no reference need no visit; a parsed tree's never do.
    if (m_foreign > 0) {
        for (size_t i = 0; i < m_size; ++i)
            unsettle(valueOf(m_data[i]));
    }
    m_size = 0;
    m_index.clear();
}

template <typename T> Extension<T>& extensionOf(Arena* arena, Cell* cell) {
    if (cell->extended())
        return *reinterpret_cast<Extension<T>*>(cell->word);
    auto* extension = new Extension<T>(arena, cell);
    arena->adopt(extension);
    cell->word = reinterpret_cast<uintptr_t>(extension);
    return *extension;
}

Cell* storeDictionary(Arena& arena, std::span<const RawMember> members, KeyIndex&& index) {
    auto* cell = static_cast<Cell*>(arena.allocate(
        cellBytes<Entry>(members.size() <= KeyIndex::kThreshold ? members.size() : 0)));
    if (members.size() <= KeyIndex::kThreshold) {
        cell->word = (uint64_t(members.size()) << 1) | 1;
        Entry* stored = cell->inPlaceElements<Entry>();
        for (size_t i = 0; i < members.size(); ++i)
            new (stored + i)
                Entry{ValueAccess::adopt(members[i].key), ValueAccess::adopt(members[i].value)};
        return cell;
    }
    // A large dictionary is stored with the index its parse built, the members keeping their
    // positions.
    assert(!index.empty());
    cell->word = 1;
    Extension<Entry>& extension = extensionOf<Entry>(&arena, cell);
    extension.takeParsed(members);
    extension.index() = std::move(index);
    return cell;
}

template class Extension<Value>;
template class Extension<Entry>;
template Extension<Value>& extensionOf<Value>(Arena*, Cell*);
template Extension<Entry>& extensionOf<Entry>(Arena*, Cell*);
template HandleOf<Value>& handleOf<Value>(Arena*, Cell*);
template HandleOf<Entry>& handleOf<Entry>(Arena*, Cell*);

} // namespace detail

namespace {

using detail::Arena;
using detail::Cell;
using detail::Entry;
using detail::ValueAccess;

[[noreturn]] void throwTypeMismatch() {
    throw Error(ErrorKind::TypeMismatch, QStringLiteral("Type mismatch"));
}

// An empty container in an arena of its own; the value takes the arena's first reference.
template <typename Make> Value newContainer(Make make) {
    Arena* arena = Arena::create(64);
    auto* cell = static_cast<Cell*>(arena->allocate(sizeof(Cell)));
    cell->word = 1;
    return ValueAccess::adopt(make(arena, cell));
}

} // namespace

static_assert(sizeof(Value) == 16, "a Value is two words");

Value Value::fromNumber(Decimal value) noexcept {
    const unsigned __int128 coefficient = value.coefficient();
    return ValueAccess::adopt(ValueAccess::number(value.isNegative(), uint64_t(coefficient),
                                                  uint32_t(coefficient >> 64), value.scale()));
}

Value Value::fromString(QString value) {
    if (ValueAccess::fitsShort(value.size()))
        return ValueAccess::adopt(ValueAccess::shortString(value, value.isNull()));
    Arena* arena = Arena::create(sizeof(detail::StringRep) + size_t(value.size()) * 2);
    return ValueAccess::adopt(detail::makeString(*arena, value));
}

Value Value::fromDictionary(std::shared_ptr<Dictionary> value) noexcept {
    return value ? value->m_self : Value();
}

Value Value::fromCollection(std::shared_ptr<Collection> value) noexcept {
    return value ? value->m_self : Value();
}

bool Value::toBool() const {
    if (tag() != kBoolean)
        throwTypeMismatch();
    return m_bytes[8] != std::byte(0);
}

QStringView Value::stringView() const {
    if (kind() != Kind::String)
        throwTypeMismatch();
    return ValueAccess::textOf(m_bytes);
}

QString Value::toString() const {
    if (tag() == kShortString && (uint8_t(m_bytes[1]) & kNullString))
        return QString();
    return stringView().toString();
}

Decimal Value::toNumber() const {
    if (tag() != kNumber)
        throwTypeMismatch();
    const uint64_t head = word(0);
    const auto coefficient = (static_cast<unsigned __int128>(head >> 32) << 64) | word(1);
    return Decimal::fromParts((head >> 8) & 1, coefficient, int((head >> 16) & 0xFF));
}

// The container's shared handle; the pointer holds a reference to the arena.
template <typename T> auto sharedHandle(Arena* arena, Cell* cell) {
    using Handle = detail::HandleOf<T>;
    Handle* handle = &detail::handleOf<T>(arena, cell);
    arena->ref();
    return std::shared_ptr<Handle>(handle, [arena](Handle*) { arena->release(); });
}

std::shared_ptr<Dictionary> Value::dictionary() const {
    if (tag() != kDictionary)
        return nullptr;
    return sharedHandle<Entry>(arena(), ValueAccess::cellOf(*this));
}

std::shared_ptr<Collection> Value::collection() const {
    if (tag() != kCollection)
        return nullptr;
    return sharedHandle<Value>(arena(), ValueAccess::cellOf(*this));
}

Dictionary::Dictionary() : m_self(newContainer(ValueAccess::dictionary)) {}

std::span<const Entry> Dictionary::entries() const noexcept {
    return detail::elementsOf<Entry>(ValueAccess::cellOf(m_self));
}

const Entry* Dictionary::find(QStringView key) const noexcept {
    Cell* cell = ValueAccess::cellOf(m_self);
    const std::span<const Entry> all = entries();
    if (cell->extended()) {
        const auto& index = reinterpret_cast<const detail::Extension<Entry>*>(cell->word)->index();
        if (!index.empty()) {
            const qsizetype at = index.find(key, [&](size_t i) { return all[i].key.stringView(); });
            return at < 0 ? nullptr : &all[size_t(at)];
        }
    }
    for (const Entry& e : all) {
        if (e.key.stringView() == key)
            return &e;
    }
    return nullptr;
}

Value Dictionary::Item(const QString& key) const {
    const Entry* e = find(key);
    return e ? e->value : Value();
}

void Dictionary::Add(const QString& key, Value value) {
    if (find(key))
        throw Error(ErrorKind::DuplicateKey, QStringLiteral("Duplicate key"));
    append(key, std::move(value));
}

void Dictionary::append(const QString& key, Value value) {
    Arena* arena = ValueAccess::arenaOf(m_self);
    auto& extension = detail::extensionOf<Entry>(arena, ValueAccess::cellOf(m_self));
    extension.appendMember(detail::makeString(*arena, key), std::move(value));
    const std::span<const Entry> all = extension.elements();
    extension.index().added(all.size(), [&](size_t i) { return all[i].key.stringView(); });
}

void Dictionary::setItem(const QString& key, Value value) {
    const Entry* e = find(key);
    if (!e) {
        append(key, std::move(value));
        return;
    }
    const size_t position = size_t(e - entries().data());
    detail::extensionOf<Entry>(ValueAccess::arenaOf(m_self), ValueAccess::cellOf(m_self))
        .replaceValue(position, std::move(value));
}

QStringList Dictionary::Keys() const {
    QStringList keys;
    keys.reserve(Count());
    for (const Entry& e : entries())
        keys.append(e.key.toString());
    return keys;
}

QList<Value> Dictionary::Items() const {
    QList<Value> items;
    items.reserve(Count());
    for (const Entry& e : entries())
        items.append(e.value);
    return items;
}

Collection::Collection() : m_self(newContainer(ValueAccess::collection)) {}

std::span<const Value> Collection::items() const noexcept {
    return detail::elementsOf<Value>(ValueAccess::cellOf(m_self));
}

Value Collection::Item(qsizetype position) const {
    if (position < 1 || position > Count())
        throw Error(ErrorKind::IndexOutOfRange,
                    QStringLiteral("Collection: position %1 is outside 1 to %2")
                        .arg(position)
                        .arg(Count()));
    return items()[size_t(position - 1)];
}

void Collection::Add(Value value) {
    detail::extensionOf<Value>(ValueAccess::arenaOf(m_self), ValueAccess::cellOf(m_self))
        .append(std::move(value));
}

void Collection::Clear() noexcept {
    Cell* cell = ValueAccess::cellOf(m_self);
    if (cell->inPlace())
        cell->word = 1; // parsed items hold no references
    else if (cell->anchored())
        detail::anchorOf<Value>(cell)->word = 1;
    else
        reinterpret_cast<detail::Extension<Value>*>(cell->word)->clear();
}

} // namespace orvana::json
