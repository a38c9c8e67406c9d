#pragma once

#include <QAccessibleWidget>
#include <QString>

namespace orvana::controls {

class isButton;

// What assistive technology sees of an isButton: a push button named by its caption, described
// by its tooltip text, pressable, and checkable when it is a check button. Every answer is read
// from the control at the moment it is asked, so the interface never goes stale. GUI thread only.
class isButtonAccessible : public QAccessibleWidget {
public:
    explicit isButtonAccessible(isButton* button);

    [[nodiscard]] QString text(QAccessible::Text t) const override;
    [[nodiscard]] QAccessible::State state() const override;

    [[nodiscard]] QStringList actionNames() const override;
    // Press and Toggle only queue the click: the call returns at once and the click handler runs
    // later from the event loop, so a handler that opens a modal box cannot block the caller.
    void doAction(const QString& actionName) override;
    [[nodiscard]] QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    [[nodiscard]] isButton* button() const;
};

// The caption as read aloud: a single "&" marks the access key and is dropped, "&&" is one "&".
[[nodiscard]] QString StripAccessKeyMarker(const QString& caption);

// Every accessibility event an isButton raises goes through here to QAccessible. Qt drops events
// while no assistive technology is active, which is always so on the offscreen platform; a sink
// set here receives them instead, so tests can see them. nullptr restores QAccessible. GUI thread.
using AccessibleEventSink = void (*)(QAccessibleEvent* event);
void SetAccessibleEventSink(AccessibleEventSink sink);
void NotifyAccessibility(QAccessibleEvent* event);

// Registers the interface factory with QAccessible once per process; the first isButton calls it.
void InstallIsButtonAccessibility();

} // namespace orvana::controls
