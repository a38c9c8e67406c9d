#include "controls/isButton/is_button_properties.h"

#include <QImage>
#include <optional>
#include <type_traits>

namespace orvana::controls {

namespace {

// Values as the stored form keeps them.
QVariant toStored(int value) {
    return value;
}
QVariant toStored(bool value) {
    return value;
}
QVariant toStored(OleColor value) {
    return qint64(value);
}
template <typename E> QVariant toStored(E value) requires std::is_enum_v<E> {
    return int(value);
}
QVariant toStored(const QString& value) {
    return value;
}
QVariant toStored(const QPixmap& value) {
    return QVariant::fromValue(value.isNull() ? QImage() : value.toImage());
}
QVariant toStored(const QFont& value) {
    return QVariant(value);
}

std::optional<qint64> storedNumber(const QVariant& v, const StoredRange& range) {
    if (!IsStoredNumber(v))
        return std::nullopt;
    const double d = v.toDouble();
    if (d < double(range.lo) || d > double(range.hi))
        return std::nullopt;
    const qint64 n = qint64(d);
    if (n == range.refused)
        return std::nullopt;
    return n;
}

// The value a stored one stands for, or nothing when it has the wrong type or is out of range,
// so a damaged form cannot put the control into a state it cannot paint.
template <typename T> std::optional<T> fromStored(const QVariant& v, const StoredRange& range) {
    if constexpr (std::is_same_v<T, bool>) {
        if (v.typeId() == QMetaType::Bool)
            return v.toBool();
        if (IsStoredNumber(v))
            return v.toDouble() != 0;
        return std::nullopt;
    } else if constexpr (std::is_same_v<T, OleColor>) {
        const auto n = storedNumber(v, {0, 0xFFFFFFFFll});
        return n ? std::optional<T>(OleColor(*n)) : std::nullopt;
    } else if constexpr (std::is_same_v<T, int> || std::is_enum_v<T>) {
        const auto n = storedNumber(v, range);
        return n ? std::optional<T>(T(*n)) : std::nullopt;
    } else if constexpr (std::is_same_v<T, QPixmap>) {
        if (v.typeId() == QMetaType::QImage)
            return QPixmap::fromImage(v.value<QImage>());
        return std::nullopt;
    } else {
        if (v.metaType() == QMetaType::fromType<T>())
            return v.value<T>();
        return std::nullopt;
    }
}

// The stored value of the row's key, or `fallback` when the key is missing or unreadable.
template <typename T>
T readStored(const PropertyBag& bag, const ButtonProperty<T>& p, const T& fallback) {
    const QVariant v = bag.ReadProperty(p.key.toString(), toStored(fallback));
    return fromStored<T>(v, p.range).value_or(fallback);
}

} // namespace

template <typename T>
void isButton::Properties::load(isButton& b, const PropertyBag& bag, const Property<T>& p) {
    switch (p.loading) {
    case PropertyLoading::Store:
        p.field.put(b, readStored(bag, p, p.fallback(b)));
        break;
    case PropertyLoading::KeepUnreadable: {
        const QVariant v = bag.ReadProperty(p.key.toString(), toStored(p.fallback(b)));
        if (const std::optional<T> value = fromStored<T>(v, p.range))
            p.field.put(b, *value);
        break;
    }
    case PropertyLoading::ThroughSetter:
        b.set(p, readStored(bag, p, p.fallback(b)));
        break;
    case PropertyLoading::HostFirst:
        if constexpr (std::is_same_v<T, QString>) {
            b.setToolTip(readStored(bag, p, p.fallback(b)));
            // A form without the key keeps the host's text as the tip's source, which the
            // record takes when the tip is built.
            p.field.put(b, readStored(bag, p, T()));
        }
        break;
    }
}

template <typename T>
void isButton::Properties::save(const isButton& b, PropertyBag& bag, const Property<T>& p) {
    const QString key = p.key.toString();
    const QVariant value = toStored(p.field.get(b));
    switch (p.written) {
    case PropertyWritten::UnlessDefault:
        bag.WriteProperty(key, value, toStored(p.fallback(b)));
        break;
    case PropertyWritten::UnlessEmpty:
        bag.WriteProperty(key, value, toStored(T()));
        break;
    case PropertyWritten::Always:
        bag.WriteProperty(key, value);
        break;
    }
}

void isButton::ReadProperties(const PropertyBag& bag) {
    m_state = StateNormal;
    const bool wasCheckable = m_buttonType == ButtonCheck, wasChecked = m_value,
               wasEnabled = m_enabled;
    Properties::forEachStored([&](const auto& p) { Properties::load(*this, bag, p); });
    m_hooked = m_userMode;
    const bool checkable = m_buttonType == ButtonCheck;
    if (wasCheckable != checkable || wasChecked != m_value || wasEnabled != m_enabled) {
        QAccessible::State st;
        st.checkable = wasCheckable != checkable;
        st.checked = wasChecked != m_value;
        st.disabled = wasEnabled != m_enabled;
        notifyState(st);
    }
    // A stored disabled button must not take input either.
    QWidget::setEnabled(m_enabled);
    updateAccessKey();
    relayout();
}

void isButton::WriteProperties(PropertyBag& bag) const {
    Properties::forEachStored([&](const auto& p) { Properties::save(*this, bag, p); });
}

void isButton::LoadStored(const StoredControl& stored) {
    if (stored.extent.isValid() && !stored.extent.isEmpty())
        resize(HimetricToPixels(stored.extent.width()), HimetricToPixels(stored.extent.height()));
    setToolTip(stored.toolTip);
    ReadProperties(stored.properties);
}

StoredControl isButton::SaveStored() const {
    StoredControl out;
    out.name = objectName();
    out.extent = QSize(PixelsToHimetric(width()), PixelsToHimetric(height()));
    out.toolTip = toolTip();
    WriteProperties(out.properties);
    return out;
}

} // namespace orvana::controls
