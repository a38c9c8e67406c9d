#include "controls/isButton/is_button_accessible.h"
#include "support.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QFocusEvent>
#include <gtest/gtest.h>
#include <vector>

using namespace orvana::controls;
using namespace orvana::controls::testing;

namespace {

struct Seen {
    QAccessible::Event type;
    QObject* object;
    QAccessible::State changed;
};

std::vector<Seen> g_seen;

void recordEvent(QAccessibleEvent* event) {
    QAccessible::State changed;
    if (event->type() == QAccessible::StateChanged)
        changed = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates();
    g_seen.push_back({event->type(), event->object(), changed});
}

// Catches every accessibility event the controls raise for the life of a test. QAccessible itself
// drops them on the offscreen platform, which has no accessibility bridge to activate.
class Events {
public:
    Events() {
        g_seen.clear();
        SetAccessibleEventSink(recordEvent);
    }
    ~Events() { SetAccessibleEventSink(nullptr); }
    int count(QObject* object, QAccessible::Event type) const {
        int n = 0;
        for (const Seen& s : g_seen)
            n += s.object == object && s.type == type;
        return n;
    }
    void clear() { g_seen.clear(); }
};

QAccessibleInterface* ifaceOf(isButton& b) {
    return QAccessible::queryAccessibleInterface(&b);
}

std::unique_ptr<isButton> captioned(const QString& caption) {
    auto b = shownButton(8);
    b->SetCaption(caption);
    return b;
}

// StateChanged events of the object that report the watched state as changed. The states are
// bit-fields, so each is named by a small function.
bool disabledBit(const QAccessible::State& s) {
    return s.disabled;
}
bool checkableBit(const QAccessible::State& s) {
    return s.checkable;
}
bool checkedBit(const QAccessible::State& s) {
    return s.checked;
}

int stateChanges(QObject* object, bool (*bit)(const QAccessible::State&)) {
    int n = 0;
    for (const Seen& s : g_seen)
        n += s.object == object && s.type == QAccessible::StateChanged && bit(s.changed);
    return n;
}

} // namespace

TEST(ButtonAccessibility, PushButtonNamedByItsCaptionWithoutTheAccessKeyMarker) {
    auto b = captioned(QStringLiteral("&Download"));
    QAccessibleInterface* iface = ifaceOf(*b);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::PushButton);
    EXPECT_EQ(iface->object(), b.get());
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Download"));
    EXPECT_EQ(iface->text(QAccessible::Accelerator),
              QKeySequence(QStringLiteral("Alt+D")).toString(QKeySequence::NativeText));

    EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("Save && &Quit")), QStringLiteral("Save & Quit"));
    EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("&&&&")), QStringLiteral("&&"));
    EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("trailing&")), QStringLiteral("trailing"));
    EXPECT_EQ(StripAccessKeyMarker(QStringLiteral("下载该专辑")), QStringLiteral("下载该专辑"));

    b->SetCaption(QStringLiteral("R&&D"));
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("R&D"));
    EXPECT_TRUE(iface->text(QAccessible::Accelerator).isEmpty());
    // A name given by the host wins.
    b->setAccessibleName(QStringLiteral("获取歌手"));
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("获取歌手"));
}

TEST(ButtonAccessibility, DescriptionIsTheToolTipText) {
    auto b = captioned(QStringLiteral("Go"));
    QAccessibleInterface* iface = ifaceOf(*b);
    EXPECT_TRUE(iface->text(QAccessible::Description).isEmpty());
    b->SetToolTipText(QStringLiteral("下载该歌手的全部专辑"));
    EXPECT_EQ(iface->text(QAccessible::Description), QStringLiteral("下载该歌手的全部专辑"));
    // While the own tip is up the host's text is empty; the description stays.
    sendMove(*b);
    ASSERT_TRUE(b->toolTip().isEmpty());
    EXPECT_EQ(iface->text(QAccessible::Description), QStringLiteral("下载该歌手的全部专辑"));
    sendLeave(*b);
}

TEST(ButtonAccessibility, PressQueuesTheClickAndReturnsAtOnce) {
    auto b = captioned(QStringLiteral("Go"));
    QAccessibleActionInterface* action = ifaceOf(*b)->actionInterface();
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
    EXPECT_FALSE(action->actionNames().contains(QAccessibleActionInterface::toggleAction()));

    bool insideAction = false;
    int clicks = 0;
    bool clickedInsideAction = false;
    QObject::connect(b.get(), &isButton::Click, [&] {
        ++clicks;
        clickedInsideAction = insideAction;
    });
    insideAction = true;
    action->doAction(QAccessibleActionInterface::pressAction());
    insideAction = false;
    EXPECT_EQ(clicks, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(clickedInsideAction);
    EXPECT_EQ(b->State(), isButton::StateNormal);
    EXPECT_EQ(b->LastMouseButton(), 0); // the press is not a mouse button
}

TEST(ButtonAccessibility, PressDoesNothingOnADisabledOrVanishedButton) {
    auto b = captioned(QStringLiteral("Go"));
    int clicks = 0;
    QObject::connect(b.get(), &isButton::Click, [&] { ++clicks; });
    QAccessibleActionInterface* action = ifaceOf(*b)->actionInterface();

    // Disabled between the press and the moment the queued click would run.
    action->doAction(QAccessibleActionInterface::pressAction());
    b->SetEnabled(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
    action->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 0);

    b->SetEnabled(true);
    action->doAction(QAccessibleActionInterface::pressAction());
    b.reset();
    QCoreApplication::processEvents(); // the queued click is dropped with its button
    EXPECT_EQ(clicks, 0);
}

TEST(ButtonAccessibility, DisabledFocusableAndFocusedStates) {
    auto b = captioned(QStringLiteral("Go"));
    QAccessibleInterface* iface = ifaceOf(*b);
    EXPECT_FALSE(iface->state().disabled);
    EXPECT_TRUE(iface->state().focusable);
    EXPECT_FALSE(iface->state().checkable);

    Events events;
    b->SetEnabled(false);
    EXPECT_TRUE(iface->state().disabled);
    EXPECT_FALSE(iface->state().focusable);
    EXPECT_EQ(stateChanges(b.get(), disabledBit), 1);
    b->SetEnabled(false);
    EXPECT_EQ(stateChanges(b.get(), disabledBit), 1);
    b->SetEnabled(true);
    EXPECT_FALSE(iface->state().disabled);
    EXPECT_EQ(stateChanges(b.get(), disabledBit), 2);

    // Inside a disabled parent the control is disabled too, and its own flag still reports.
    QWidget parent(host());
    auto* child = new isButton(&parent, QStringLiteral("cmdChild"));
    parent.show();
    parent.setEnabled(false);
    EXPECT_TRUE(ifaceOf(*child)->state().disabled);
    events.clear();
    child->SetEnabled(false);
    EXPECT_EQ(stateChanges(child, disabledBit), 1);

    host()->activateWindow();
    QApplication::setActiveWindow(host());
    b->setFocus();
    ASSERT_TRUE(b->hasFocus());
    EXPECT_TRUE(iface->state().focused);
    EXPECT_TRUE(b->Focused());
}

TEST(ButtonAccessibility, CheckButtonIsCheckableAndPressTogglesIt) {
    auto b = captioned(QStringLiteral("Proxy"));
    QAccessibleInterface* iface = ifaceOf(*b);
    Events events;
    b->SetButtonType(1);
    EXPECT_TRUE(iface->state().checkable);
    EXPECT_FALSE(iface->state().checked);
    EXPECT_EQ(stateChanges(b.get(), checkableBit), 1);
    EXPECT_TRUE(iface->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::toggleAction()));

    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(b->Value());
    QCoreApplication::processEvents();
    EXPECT_TRUE(b->Value());
    EXPECT_TRUE(iface->state().checked);
    EXPECT_EQ(stateChanges(b.get(), checkedBit), 1);
    b->SetValue(false);
    EXPECT_FALSE(iface->state().checked);
    EXPECT_EQ(stateChanges(b.get(), checkedBit), 2);
    b->SetValue(false);
    EXPECT_EQ(stateChanges(b.get(), checkedBit), 2);
}

TEST(ButtonAccessibility, NameAndDescriptionChangesAreAnnouncedOnce) {
    auto b = captioned(QStringLiteral("Go"));
    Events events;
    b->SetCaption(QStringLiteral("&Stop"));
    b->SetCaption(QStringLiteral("&Stop"));
    EXPECT_EQ(events.count(b.get(), QAccessible::NameChanged), 1);
    b->SetToolTipText(QStringLiteral("one"));
    b->setToolTip(QStringLiteral("two")); // the host's text is the tip's source too
    EXPECT_EQ(events.count(b.get(), QAccessible::DescriptionChanged), 2);
    EXPECT_EQ(ifaceOf(*b)->text(QAccessible::Description), QStringLiteral("two"));

    // Loading a stored control announces what it changed.
    MemoryPropertyBag bag;
    bag.WriteProperty(QStringLiteral("Caption"), QStringLiteral("下载该专辑"));
    bag.WriteProperty(QStringLiteral("ToolTipText"), QStringLiteral("tip"));
    bag.WriteProperty(QStringLiteral("ButtonType"), 1);
    bag.WriteProperty(QStringLiteral("Enabled"), false);
    events.clear();
    b->ReadProperties(bag);
    EXPECT_EQ(events.count(b.get(), QAccessible::NameChanged), 1);
    EXPECT_EQ(events.count(b.get(), QAccessible::DescriptionChanged), 1);
    EXPECT_EQ(stateChanges(b.get(), checkableBit), 1);
    EXPECT_EQ(stateChanges(b.get(), disabledBit), 1);
    EXPECT_EQ(ifaceOf(*b)->text(QAccessible::Name), QStringLiteral("下载该专辑"));
    EXPECT_TRUE(ifaceOf(*b)->state().disabled);
}
