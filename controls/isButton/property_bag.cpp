#include "controls/isButton/property_bag.h"

#include <QFont>
#include <QImage>

namespace orvana::controls {

bool IsStoredNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool SameStoredValue(const QVariant& a, const QVariant& b) {
    if (IsStoredNumber(a) && IsStoredNumber(b))
        return a.toDouble() == b.toDouble();
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::Bool:
        return a.toBool() == b.toBool();
    case QMetaType::QString:
        return a.toString() == b.toString();
    case QMetaType::QFont: {
        const QFont fa = a.value<QFont>(), fb = b.value<QFont>();
        return fa.family() == fb.family() && fa.pointSizeF() == fb.pointSizeF() &&
               fa.weight() == fb.weight() && fa.italic() == fb.italic() &&
               fa.underline() == fb.underline() && fa.strikeOut() == fb.strikeOut();
    }
    default:
        return false;
    }
}

QVariant MemoryPropertyBag::ReadProperty(const QString& key, const QVariant& defaultValue) const {
    for (const auto& [k, v] : m_entries)
        if (k == key)
            return v;
    return defaultValue;
}

void MemoryPropertyBag::WriteProperty(const QString& key, const QVariant& value,
                                      const QVariant& defaultValue) {
    if (defaultValue.isValid() && SameStoredValue(value, defaultValue)) {
        remove(key);
        return;
    }
    set(key, value);
}

bool MemoryPropertyBag::contains(const QString& key) const {
    for (const auto& entry : m_entries)
        if (entry.first == key)
            return true;
    return false;
}

QStringList MemoryPropertyBag::keys() const {
    QStringList out;
    for (const auto& entry : m_entries)
        out.append(entry.first);
    return out;
}

void MemoryPropertyBag::set(const QString& key, const QVariant& value) {
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    m_entries.append({key, value});
}

void MemoryPropertyBag::remove(const QString& key) {
    m_entries.removeIf([&key](const auto& entry) { return entry.first == key; });
}

} // namespace orvana::controls
