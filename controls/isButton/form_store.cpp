#include "controls/isButton/form_store.h"

#include "controls/isButton/color.h"

#include "json/error.h"
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>

namespace orvana::controls {

namespace {

const QString kFormat = QStringLiteral("isButton form");

[[noreturn]] void fail(const QString& message) {
    throw Error(ErrorKind::Shape, message);
}

QJsonValue encodeValue(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return double(v.toLongLong());
    case QMetaType::Double:
        return v.toDouble();
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QFont: {
        const QFont f = v.value<QFont>();
        return QJsonObject{{QStringLiteral("Name"), f.family()},
                           {QStringLiteral("Size"), f.pointSizeF()},
                           {QStringLiteral("Weight"), int(f.weight())},
                           {QStringLiteral("Italic"), f.italic()},
                           {QStringLiteral("Underline"), f.underline()},
                           {QStringLiteral("Strikethrough"), f.strikeOut()}};
    }
    case QMetaType::QImage: {
        const QImage image = v.value<QImage>();
        if (image.isNull())
            return QJsonValue::Null;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return QJsonObject{{QStringLiteral("PNG"), QString::fromLatin1(png.toBase64())}};
    }
    default:
        return QJsonValue::Null;
    }
}

QVariant decodeValue(const QJsonValue& v, const QString& key) {
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool();
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (std::trunc(d) == d && std::abs(d) < 9.0e15)
            return qint64(d);
        return d;
    }
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Null:
        return QVariant::fromValue(QImage());
    case QJsonValue::Object: {
        const QJsonObject o = v.toObject();
        if (o.contains(QStringLiteral("PNG"))) {
            QImage image;
            const QByteArray png =
                QByteArray::fromBase64(o.value(QStringLiteral("PNG")).toString().toLatin1());
            if (!image.loadFromData(png, "PNG"))
                fail(QStringLiteral("The picture stored under \"%1\" is not a readable PNG image.")
                         .arg(key));
            return QVariant::fromValue(image);
        }
        if (o.contains(QStringLiteral("Name"))) {
            QFont f(o.value(QStringLiteral("Name")).toString());
            const double size = o.value(QStringLiteral("Size")).toDouble(8.25);
            f.setPointSizeF(size > 0 && size < 1000 ? size : 8.25);
            const int weight = o.value(QStringLiteral("Weight")).toInt(400);
            f.setWeight(QFont::Weight(std::clamp(weight, 1, 1000)));
            f.setItalic(o.value(QStringLiteral("Italic")).toBool());
            f.setUnderline(o.value(QStringLiteral("Underline")).toBool());
            f.setStrikeOut(o.value(QStringLiteral("Strikethrough")).toBool());
            return QVariant::fromValue(f);
        }
        fail(QStringLiteral("The value stored under \"%1\" is neither a font nor a picture.")
                 .arg(key));
    }
    default:
        fail(QStringLiteral("The value stored under \"%1\" has a type a button cannot keep.")
                 .arg(key));
    }
}

StoredControl decodeControl(const QJsonValue& value, qsizetype index) {
    if (!value.isObject())
        fail(QStringLiteral("Control %1 of the form is not a JSON object.").arg(index + 1));
    const QJsonObject o = value.toObject();
    StoredControl c;
    c.name = o.value(QStringLiteral("name")).toString();
    if (c.name.isEmpty())
        fail(QStringLiteral("Control %1 of the form has no name.").arg(index + 1));
    const QJsonArray extent = o.value(QStringLiteral("extent")).toArray();
    if (extent.size() == 2)
        c.extent = QSize(extent.at(0).toInt(), extent.at(1).toInt());
    c.toolTip = o.value(QStringLiteral("toolTip")).toString();
    const QJsonArray props = o.value(QStringLiteral("properties")).toArray();
    for (const QJsonValue& p : props) {
        const QJsonArray pair = p.toArray();
        if (pair.size() != 2 || !pair.at(0).isString())
            fail(QStringLiteral("A property of control \"%1\" is not a [key, value] pair.")
                     .arg(c.name));
        const QString key = pair.at(0).toString();
        if (!c.properties.contains(key))
            c.properties.set(key, decodeValue(pair.at(1), key));
    }
    return c;
}

} // namespace

const StoredControl* StoredForm::find(const QString& name) const {
    for (const StoredControl& c : controls)
        if (c.name == name)
            return &c;
    return nullptr;
}

void StoredForm::put(StoredControl control) {
    for (StoredControl& c : controls) {
        if (c.name == control.name) {
            c = std::move(control);
            return;
        }
    }
    controls.append(std::move(control));
}

StoredForm ParseForm(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("The form is not valid JSON (%1 at byte %2).")
                 .arg(error.errorString())
                 .arg(error.offset));
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QStringLiteral("format")).toString() != kFormat)
        fail(QStringLiteral("The file is not a stored button form."));
    if (root.value(QStringLiteral("version")).toInt() != 1)
        fail(QStringLiteral("The stored button form has version %1; only version 1 can be read.")
                 .arg(root.value(QStringLiteral("version")).toInt()));
    StoredForm form;
    const QJsonArray controls = root.value(QStringLiteral("controls")).toArray();
    for (qsizetype i = 0; i < controls.size(); ++i)
        form.put(decodeControl(controls.at(i), i));
    return form;
}

QByteArray SerializeForm(const StoredForm& form) {
    QJsonArray controls;
    for (const StoredControl& c : form.controls) {
        QJsonArray props;
        for (const auto& [key, value] : c.properties.entries())
            props.append(QJsonArray{key, encodeValue(value)});
        controls.append(
            QJsonObject{{QStringLiteral("name"), c.name},
                        {QStringLiteral("extent"), QJsonArray{c.extent.width(), c.extent.height()}},
                        {QStringLiteral("toolTip"), c.toolTip},
                        {QStringLiteral("properties"), props}});
    }
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), 1},
                           {QStringLiteral("controls"), controls}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

StoredForm LoadForm(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorKind::Io, QStringLiteral("Cannot open the button form \"%1\": %2.")
                                       .arg(path, file.errorString()));
    try {
        return ParseForm(file.readAll());
    } catch (const Error& e) {
        throw Error(
            e.kind(),
            QStringLiteral("Cannot read the button form \"%1\": %2").arg(path, e.message()));
    }
}

void SaveForm(const StoredForm& form, const QString& path) {
    QSaveFile file(path);
    const QByteArray text = SerializeForm(form);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Error(ErrorKind::Io,
                    QStringLiteral("Cannot save the button form \"%1\": %2. The old file is kept.")
                        .arg(path, file.errorString()));
}

int HimetricToPixels(int himetric) {
    return RoundHalfEven(himetric * 96.0 / 2540.0);
}

int PixelsToHimetric(int pixels) {
    return RoundHalfEven(pixels * 2540.0 / 96.0);
}

} // namespace orvana::controls
