#include "controls/isButton/is_button_accessible.h"
#include "support.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace orvana::controls;
using namespace orvana::controls::testing;

namespace {

// What one accessibility event said: its kind and, for a state change, which states changed.
struct Seen {
    QAccessible::Event type;
    QObject* object;
    bool disabled = false, checkable = false, checked = false;
};

std::vector<Seen> g_seen;

void recordEvent(QAccessibleEvent* event) {
    Seen seen{event->type(), event->object()};
    if (event->type() == QAccessible::StateChanged) {
        const auto st = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates();
        seen.disabled = st.disabled, seen.checkable = st.checkable, seen.checked = st.checked;
    }
    g_seen.push_back(seen);
}

// Catches every accessibility event the controls raise for the life of a test. QAccessible itself
// drops them on the offscreen platform, which has no accessibility bridge to activate.
struct Events {
    Events() {
        g_seen.clear();
        SetAccessibleEventSink(recordEvent);
    }
    ~Events() { SetAccessibleEventSink(nullptr); }
    template <typename Pred> int count(QObject* object, Pred pred) const {
        return int(std::count_if(g_seen.begin(), g_seen.end(),
                                 [&](const Seen& s) { return s.object == object && pred(s); }));
    }
    int count(QObject* object, QAccessible::Event type) const {
        return count(object, [type](const Seen& s) { return s.type == type; });
    }
};

const auto disabledChange = [](const Seen& s) {
    return s.type == QAccessible::StateChanged && s.disabled;
};
const auto checkableChange = [](const Seen& s) {
    return s.type == QAccessible::StateChanged && s.checkable;
};
const auto checkedChange = [](const Seen& s) {
    return s.type == QAccessible::StateChanged && s.checked;
};

QAccessibleInterface* ifaceOf(isButton& b) {
    return QAccessible::queryAccessibleInterface(&b);
}

std::unique_ptr<isButton> captioned(const QString& caption) {
    auto b = shownButton(8);
    b->SetCaption(caption);
    return b;
}

} // namespace

TEST(ButtonAccessibility, PushButtonNamedByItsCaptionAndDescribedByItsTip) {
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

    // The description is the tooltip text, also while the own tip is up and the host's is empty.
    EXPECT_TRUE(iface->text(QAccessible::Description).isEmpty());
    b->SetToolTipText(QStringLiteral("下载该歌手的全部专辑"));
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
    EXPECT_EQ(events.count(b.get(), disabledChange), 1);
    b->SetEnabled(false);
    EXPECT_EQ(events.count(b.get(), disabledChange), 1);
    b->SetEnabled(true);
    EXPECT_FALSE(iface->state().disabled);
    EXPECT_EQ(events.count(b.get(), disabledChange), 2);

    // Inside a disabled parent the control is disabled too, and its own flag still reports.
    QWidget parent(host());
    auto* child = new isButton(&parent, QStringLiteral("cmdChild"));
    parent.show();
    parent.setEnabled(false);
    EXPECT_TRUE(ifaceOf(*child)->state().disabled);
    g_seen.clear();
    child->SetEnabled(false);
    EXPECT_EQ(events.count(child, disabledChange), 1);

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
    b->SetButtonType(isButton::ButtonCheck);
    EXPECT_TRUE(iface->state().checkable);
    EXPECT_FALSE(iface->state().checked);
    EXPECT_EQ(events.count(b.get(), checkableChange), 1);
    EXPECT_TRUE(iface->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::toggleAction()));

    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_FALSE(b->Value());
    QCoreApplication::processEvents();
    EXPECT_TRUE(b->Value());
    EXPECT_TRUE(iface->state().checked);
    EXPECT_EQ(events.count(b.get(), checkedChange), 1);
    b->SetValue(false);
    EXPECT_FALSE(iface->state().checked);
    EXPECT_EQ(events.count(b.get(), checkedChange), 2);
    b->SetValue(false);
    EXPECT_EQ(events.count(b.get(), checkedChange), 2);
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
    g_seen.clear();
    b->ReadProperties(bag);
    EXPECT_EQ(events.count(b.get(), QAccessible::NameChanged), 1);
    EXPECT_EQ(events.count(b.get(), QAccessible::DescriptionChanged), 1);
    EXPECT_EQ(events.count(b.get(), checkableChange), 1);
    EXPECT_EQ(events.count(b.get(), disabledChange), 1);
    EXPECT_EQ(ifaceOf(*b)->text(QAccessible::Name), QStringLiteral("下载该专辑"));
    EXPECT_TRUE(ifaceOf(*b)->state().disabled);
}
