#include "json/value.h"

#include "json/error.h"

namespace orvana::json {

namespace {

// Below this many members a linear search beats building a hash.
constexpr qsizetype kIndexThreshold = 12;

[[noreturn]] void throwTypeMismatch() {
    throw Error(ErrorKind::TypeMismatch, QStringLiteral("Type mismatch"));
}

} // namespace

Value Value::fromDictionary(std::shared_ptr<Dictionary> value) {
    if (!value)
        return Value();
    return Value(Data(std::in_place_index<5>, std::move(value)));
}

Value Value::fromCollection(std::shared_ptr<Collection> value) {
    if (!value)
        return Value();
    return Value(Data(std::in_place_index<6>, std::move(value)));
}

bool Value::toBool() const {
    if (const bool* b = std::get_if<bool>(&m_data))
        return *b;
    throwTypeMismatch();
}

QString Value::toString() const {
    if (const QString* s = std::get_if<QString>(&m_data))
        return *s;
    throwTypeMismatch();
}

Decimal Value::toNumber() const {
    if (const Decimal* d = std::get_if<Decimal>(&m_data))
        return *d;
    throwTypeMismatch();
}

std::shared_ptr<Dictionary> Value::dictionary() const noexcept {
    if (const auto* d = std::get_if<std::shared_ptr<Dictionary>>(&m_data))
        return *d;
    return nullptr;
}

std::shared_ptr<Collection> Value::collection() const noexcept {
    if (const auto* c = std::get_if<std::shared_ptr<Collection>>(&m_data))
        return *c;
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

std::shared_ptr<Dictionary> Dictionary::fromUniqueMembers(std::vector<Member> members) {
    auto dictionary = std::make_shared<Dictionary>();
    dictionary->m_members = std::move(members);
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

std::shared_ptr<Collection> Collection::fromItems(std::vector<Value> items) {
    auto collection = std::make_shared<Collection>();
    collection->m_items = std::move(items);
    return collection;
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
