#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace orvana::controls {

// What a control sees of its host's stored settings: named values read with a default and written
// with a default. Values are bool, qint64, double, QString, QFont or QImage (an icon; a null
// image is an empty picture).
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    // The stored value, or defaultValue when the key is missing.
    [[nodiscard]] virtual QVariant ReadProperty(const QString& key,
                                                const QVariant& defaultValue) const = 0;
    // Stores value under key, or leaves the key out when value equals defaultValue. An invalid
    // defaultValue means "always written".
    virtual void WriteProperty(const QString& key, const QVariant& value,
                               const QVariant& defaultValue = QVariant()) = 0;
};

// A property bag in memory that keeps keys in the order they were first written. Key lookups are
// exact (case-sensitive), as stored forms depend on the spelling.
class MemoryPropertyBag final : public PropertyBag {
public:
    [[nodiscard]] QVariant ReadProperty(const QString& key,
                                        const QVariant& defaultValue) const override;
    void WriteProperty(const QString& key, const QVariant& value,
                       const QVariant& defaultValue = QVariant()) override;

    [[nodiscard]] bool contains(const QString& key) const;
    [[nodiscard]] QStringList keys() const;
    [[nodiscard]] const QList<QPair<QString, QVariant>>& entries() const { return m_entries; }
    // Stores the value whatever it is (used when reading a stored form back).
    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);

private:
    QList<QPair<QString, QVariant>> m_entries;
};

// A stored value holds a number (of any integer or floating type).
[[nodiscard]] bool IsStoredNumber(const QVariant& v);

// Two stored values are the same: numbers compare by value whatever their type, fonts by
// family, size, weight and style, images never (an icon is always written).
[[nodiscard]] bool SameStoredValue(const QVariant& a, const QVariant& b);

} // namespace orvana::controls
