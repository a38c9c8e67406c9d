#pragma once

#include "json/decimal.h"
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

namespace orvana::json {

class Dictionary;
class Collection;

// One JSON value: Empty, Null, Boolean, String (UTF-16 code units), Number (exact Decimal),
// Dictionary or Collection. Copies are cheap: strings are implicitly shared and containers are
// shared by reference, so a container reached through two values is the same object.
// A default-constructed Value is Empty. The accessors of one kind throw orvana::Error
// TypeMismatch "Type mismatch" when the value holds another kind.
class Value {
public:
    enum class Kind { Empty, Null, Boolean, String, Number, Dictionary, Collection };

    Value() noexcept = default;

    [[nodiscard]] static Value null() { return Value(Data(std::in_place_index<1>, nullptr)); }
    [[nodiscard]] static Value fromBool(bool value) {
        return Value(Data(std::in_place_index<2>, value));
    }
    [[nodiscard]] static Value fromString(QString value) {
        return Value(Data(std::in_place_index<3>, std::move(value)));
    }
    [[nodiscard]] static Value fromNumber(Decimal value) {
        return Value(Data(std::in_place_index<4>, value));
    }
    // A null pointer gives Empty.
    [[nodiscard]] static Value fromDictionary(std::shared_ptr<Dictionary> value);
    [[nodiscard]] static Value fromCollection(std::shared_ptr<Collection> value);

    [[nodiscard]] Kind kind() const noexcept { return static_cast<Kind>(m_data.index()); }
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
    // The index order is the order of Kind.
    using Data = std::variant<std::monostate, std::nullptr_t, bool, QString, Decimal,
                              std::shared_ptr<Dictionary>, std::shared_ptr<Collection>>;
    explicit Value(Data data) noexcept : m_data(std::move(data)) {}

    Data m_data;
};

// Members in insertion order; keys compared exactly (code unit by code unit), each key once.
// An absent key reads as Empty. One thread at a time.
class Dictionary {
public:
    using Member = std::pair<QString, Value>;
    using const_iterator = std::vector<Member>::const_iterator;

    Dictionary() = default;
    // Takes members whose keys are all different, as a parser that has already checked them has
    // them; the storage is used as it is, without spare room.
    [[nodiscard]] static std::shared_ptr<Dictionary> fromUniqueMembers(std::vector<Member> members);

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

    std::vector<Member> m_members;
    // Built once the dictionary grows past a few members; small ones are searched linearly.
    std::unique_ptr<QHash<QString, qsizetype>> m_index;
};

// An ordered list of values, positions from 1. One thread at a time.
class Collection {
public:
    using const_iterator = std::vector<Value>::const_iterator;

    Collection() = default;
    // Takes the items with their storage as it is, without spare room.
    [[nodiscard]] static std::shared_ptr<Collection> fromItems(std::vector<Value> items);

    [[nodiscard]] qsizetype Count() const noexcept { return qsizetype(m_items.size()); }
    // 1-based. Throws orvana::Error IndexOutOfRange outside 1..Count().
    [[nodiscard]] Value Item(qsizetype position) const;
    void Add(Value value) { m_items.push_back(std::move(value)); }
    // Drops every item; the way to free a collection that a caller made hold itself.
    void Clear() noexcept { m_items.clear(); }

    [[nodiscard]] const_iterator begin() const noexcept { return m_items.begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return m_items.end(); }

private:
    std::vector<Value> m_items;
};

} // namespace orvana::json
