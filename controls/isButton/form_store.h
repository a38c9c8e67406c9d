#pragma once

#include "controls/isButton/property_bag.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace orvana::controls {

// One control of a stored form: its instance name, its extent in HIMETRIC (hundredths of a
// millimetre, as forms keep sizes independent of the screen), the host's own tooltip text of the
// control, and the control's own properties.
struct StoredControl {
    QString name;
    QSize extent;
    QString toolTip;
    MemoryPropertyBag properties;
};

// A named set of controls, e.g. the five command buttons of the main window.
//
// File format (UTF-8 JSON):
//   { "format": "isButton form", "version": 1,
//     "controls": [ { "name": "cmdLogin", "extent": [4048, 873], "toolTip": "",
//                     "properties": [ ["Style", 8], ["Caption", "..."], ... ] } ] }
// Properties are [key, value] pairs in the order the control wrote them; a key that appears twice
// keeps its first value. Values: true/false, numbers, strings, null (an empty picture), a font
// object {"Name", "Size" (points), "Weight" (100..900), "Italic", "Underline", "Strikethrough"},
// or a picture object {"PNG": base64}.
struct StoredForm {
    QList<StoredControl> controls;

    // The control with this exact name, or nullptr.
    [[nodiscard]] const StoredControl* find(const QString& name) const;
    // Replaces the control of the same name or appends it.
    void put(StoredControl control);
};

// Both throw orvana::Error (ErrorKind::Shape) with a message that names what is wrong.
[[nodiscard]] StoredForm ParseForm(const QByteArray& json);
[[nodiscard]] QByteArray SerializeForm(const StoredForm& form);

// Throws orvana::Error (ErrorKind::Io or Shape) naming the file. Saving replaces the file only
// once the whole new text is written, so a failed save keeps the old form.
[[nodiscard]] StoredForm LoadForm(const QString& path);
void SaveForm(const StoredForm& form, const QString& path);

// HIMETRIC extents and pixels at 96 dots per inch (2540 HIMETRIC per inch), halves to even.
[[nodiscard]] int HimetricToPixels(int himetric);
[[nodiscard]] int PixelsToHimetric(int pixels);

} // namespace orvana::controls
