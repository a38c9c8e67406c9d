#include "controls/isButton/is_button_accessible.h"

#include "controls/isButton/is_button.h"

#include <QKeySequence>
#include <QPointer>
#include <mutex>

namespace orvana::controls {

namespace {

AccessibleEventSink g_sink = nullptr;

QAccessibleInterface* isButtonFactory(const QString& className, QObject* object) {
    Q_UNUSED(className);
    // Asked once per class of the object's hierarchy, most derived first: answer at the first
    // ask so that subclasses of isButton are covered too.
    if (auto* button = qobject_cast<isButton*>(object))
        return new isButtonAccessible(button);
    return nullptr;
}

} // namespace

QString StripAccessKeyMarker(const QString& caption) {
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += caption[i];
    }
    return out;
}

void SetAccessibleEventSink(AccessibleEventSink sink) {
    g_sink = sink;
}

void NotifyAccessibility(QAccessibleEvent* event) {
    if (g_sink != nullptr)
        g_sink(event);
    else
        QAccessible::updateAccessibility(event);
}

void InstallIsButtonAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(isButtonFactory); });
}

isButtonAccessible::isButtonAccessible(isButton* button)
    : QAccessibleWidget(button, QAccessible::PushButton) {}

isButton* isButtonAccessible::button() const {
    return static_cast<isButton*>(widget());
}

QString isButtonAccessible::text(QAccessible::Text t) const {
    const isButton* b = button();
    switch (t) {
    case QAccessible::Name:
        // A name the host gave explicitly wins over the caption, as for Qt's own buttons.
        if (!b->accessibleName().isEmpty())
            return b->accessibleName();
        return StripAccessKeyMarker(b->Caption());
    case QAccessible::Description:
        if (!b->accessibleDescription().isEmpty())
            return b->accessibleDescription();
        // While the own tip is up the host's text is empty and the record holds it; after a load
        // the record may be empty while the host's text holds it.
        return b->ToolTipText().isEmpty() ? b->toolTip() : b->ToolTipText();
    case QAccessible::Accelerator: {
        const QKeySequence key = QKeySequence::mnemonic(b->Caption());
        return key.isEmpty() ? QString() : key.toString(QKeySequence::NativeText);
    }
    default:
        return QAccessibleWidget::text(t);
    }
}

QAccessible::State isButtonAccessible::state() const {
    QAccessible::State st = QAccessibleWidget::state();
    const isButton* b = button();
    // Enabled is the busy flag of the download commands; a disabled parent disables it too.
    st.disabled = !b->Enabled() || !b->isEnabled();
    if (st.disabled)
        st.focusable = false;
    if (b->ButtonType() == isButton::ButtonCheck) {
        st.checkable = true;
        st.checked = b->Value();
    } else {
        st.pressed = b->State() == isButton::StatePressed;
    }
    return st;
}

QStringList isButtonAccessible::actionNames() const {
    QStringList names;
    const isButton* b = button();
    if (b->Enabled() && b->isEnabled()) {
        names << pressAction();
        if (b->ButtonType() == isButton::ButtonCheck)
            names << toggleAction();
    }
    names << QAccessibleWidget::actionNames();
    return names;
}

void isButtonAccessible::doAction(const QString& actionName) {
    isButton* b = button();
    if (actionName == pressAction() || actionName == toggleAction()) {
        if (!b->Enabled() || !b->isEnabled())
            return;
        // The context object drops the queued call if the button is gone before it runs.
        QMetaObject::invokeMethod(
            b, [b] { b->AccessiblePress(); }, Qt::QueuedConnection);
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QStringList isButtonAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == pressAction()) {
        const QString key = text(QAccessible::Accelerator);
        if (!key.isEmpty())
            return {key};
        return {};
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

} // namespace orvana::controls
