#include "controls/isButton/about_box.h"
#include "controls/isButton/draw.h"
#include "controls/isButton/is_button.h"
#include "controls/isButton/tool_tip.h"
#include "support.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace orvana::controls;
using namespace orvana::controls::testing;

namespace {

// Counts of the three events a form receives.
struct Events {
    explicit Events(isButton& b)
        : click(&b, &isButton::Click), enter(&b, &isButton::MouseEnter),
          leave(&b, &isButton::MouseLeave) {}
    QSignalSpy click;
    QSignalSpy enter;
    QSignalSpy leave;
};

void space(isButton& b) {
    QTest::keyClick(&b, Qt::Key_Space);
}

} // namespace

TEST(ButtonInput, LeftClickPressesThenRaisesClickOnce) {
    auto b = shownButton(0);
    Events ev(*b);
    QTest::mousePress(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(b->State(), isButton::StatePressed);
    EXPECT_EQ(ev.click.count(), 0);
    QTest::mouseRelease(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(b->State(), isButton::StateHot);
    EXPECT_EQ(b->LastMouseButton(), 1);
    EXPECT_EQ(ev.click.count(), 1);
}

TEST(ButtonInput, ReleaseOutsideRaisesNoClick) {
    auto b = shownButton(0);
    Events ev(*b);
    QTest::mousePress(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(b.get(), Qt::LeftButton, {}, QPoint(200, 5));
    EXPECT_EQ(ev.click.count(), 0);
}

TEST(ButtonInput, RightClickStoresTheButtonAndSpaceThenSkipsTheClickStep) {
    auto b = shownButton(0);
    b->SetButtonType(isButton::ButtonCheck);
    Events ev(*b);
    QTest::mouseClick(b.get(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(b->State(), isButton::StateNormal);
    EXPECT_EQ(b->LastMouseButton(), 2);
    EXPECT_EQ(ev.click.count(), 0);
    EXPECT_FALSE(b->Value());

    space(*b);
    EXPECT_EQ(ev.click.count(), 1);
    EXPECT_FALSE(b->Value()); // the click step did not run
    EXPECT_EQ(b->LastMouseButton(), 1);
}

TEST(ButtonInput, SpaceRaisesClickExactlyOncePerPress) {
    auto b = shownButton(0);
    Events ev(*b);
    QTest::mouseClick(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_EQ(ev.click.count(), 1);
    QTest::keyPress(b.get(), Qt::Key_Space);
    EXPECT_EQ(ev.click.count(), 2);
    EXPECT_EQ(b->State(), isButton::StateHot);
    // Held down: auto-repeated presses click no more.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QCoreApplication::sendEvent(b.get(), &repeat);
    QTest::keyRelease(b.get(), Qt::Key_Space);
    EXPECT_EQ(ev.click.count(), 2);
    EXPECT_EQ(b->State(), isButton::StateHot);
}

TEST(ButtonInput, EnterDoesNothingAndArrowsMoveFocus) {
    QWidget form;
    auto* first = new isButton(&form, QStringLiteral("cmdA"));
    auto* second = new isButton(&form, QStringLiteral("cmdB"));
    second->move(100, 0);
    form.show();
    QApplication::setActiveWindow(&form);
    first->setFocus();
    ASSERT_TRUE(first->hasFocus());
    EXPECT_TRUE(first->Focused());
    QSignalSpy click(first, &isButton::Click);
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(click.count(), 0);
    QTest::keyClick(first, Qt::Key_Right);
    EXPECT_TRUE(second->hasFocus());
    EXPECT_FALSE(first->Focused());
    EXPECT_TRUE(second->Focused());
    QTest::keyClick(second, Qt::Key_Left);
    EXPECT_TRUE(first->hasFocus());
}

TEST(ButtonInput, AccessKeyClicksAndLeavesTheNormalLook) {
    QWidget form;
    auto* b = new isButton(&form, QStringLiteral("cmdGo"));
    b->SetCaption(QStringLiteral("&Go"));
    form.show();
    QApplication::setActiveWindow(&form);
    QSignalSpy click(b, &isButton::Click);
    QTest::keyClick(&form, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(click.count(), 1);
    EXPECT_EQ(b->State(), isButton::StateNormal);
}

TEST(ButtonInput, DoubleClickPressesAgainButClicksOnce) {
    auto b = shownButton(0);
    Events ev(*b);
    // What a double click delivers: press, release, press, double click, release.
    auto send = [&b](QEvent::Type type) {
        QMouseEvent e(type, QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(b.get(), &e);
    };
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonRelease);
    send(QEvent::MouseButtonPress);
    send(QEvent::MouseButtonDblClick);
    EXPECT_EQ(b->State(), isButton::StatePressed);
    send(QEvent::MouseButtonRelease);
    EXPECT_EQ(ev.click.count(), 1);
    EXPECT_EQ(b->State(), isButton::StateHot);
}

TEST(ButtonInput, CheckButtonTogglesAndKeepsThePressedLook) {
    auto b = shownButton(5);
    b->SetButtonType(isButton::ButtonCheck);
    Events ev(*b);
    QTest::mouseClick(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(b->Value());
    (void)grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StatePressed);
    EXPECT_EQ(at(b->Frame(), 5, 1), RGB(209, 204, 193));
    sendLeave(*b);
    (void)grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StatePressed);

    QTest::mouseClick(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(b->Value());
    (void)grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StateHot);
    EXPECT_EQ(ev.click.count(), 2);
}

TEST(ButtonInput, MouseEnterOnceUntilLeave) {
    auto b = shownButton(0);
    Events ev(*b);
    sendMove(*b);
    sendMove(*b);
    sendMove(*b);
    EXPECT_EQ(ev.enter.count(), 1);
    EXPECT_TRUE(b->MouseInside());
    EXPECT_EQ(b->State(), isButton::StateHot);
    sendLeave(*b);
    EXPECT_EQ(ev.leave.count(), 1);
    EXPECT_EQ(b->State(), isButton::StateNormal);
    sendLeave(*b);
    EXPECT_EQ(ev.leave.count(), 1);
    sendMove(*b);
    EXPECT_EQ(ev.enter.count(), 2);
}

TEST(ButtonInput, DisabledControlTakesNoInputAndPaintsDisabled) {
    auto b = shownButton(0);
    sendMove(*b);
    b->SetEnabled(false);
    EXPECT_EQ(b->State(), isButton::StateDisabled); // normal, then disabled by the repaint
    EXPECT_FALSE(b->isEnabled());
    Events ev(*b);
    QTest::mouseClick(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(ev.click.count(), 0);
    (void)grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StateDisabled);
    b->SetEnabled(true);
    EXPECT_EQ(b->State(), isButton::StateNormal);
    QTest::mouseClick(b.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(ev.click.count(), 1);
}

TEST(ButtonInput, DesignViewShowsTheHotLookExceptForStyleFive) {
    auto b = shownButton(0);
    b->SetUserMode(false);
    (void)grabbed(*b);
    EXPECT_EQ(b->State(), isButton::StateHot);
    auto c = shownButton(5);
    c->SetUserMode(false);
    (void)grabbed(*c);
    EXPECT_EQ(c->State(), isButton::StateNormal);
    Events ev(*c);
    sendMove(*c);
    EXPECT_EQ(ev.enter.count(), 0); // no hook while designing
}

TEST(SystemThemeStyle, WithoutAThemeFirstFrameIsPlainThenNonThemeStyle) {
    isButton::SetThemeActive(false);
    auto b = std::make_unique<isButton>(host(), QStringLiteral("cmdTheme"));
    b->SetCaption(QString());
    b->SetNonThemeStyle(5);
    b->SetStyle(6);
    b->show();
    const OleColor face = paletteColor(QPalette::Button);
    // The frames painted so far are plain: no bevel frame anywhere.
    EXPECT_EQ(at(b->Frame(), 5, 0), face);
    EXPECT_EQ(b->Style(), 5);
    EXPECT_FALSE(b->mask().isEmpty()); // the fallback's cut corners
    const QImage img = grabbed(*b);
    EXPECT_EQ(at(img, 5, 0), RGB(0, 60, 116));
    MemoryPropertyBag bag;
    b->WriteProperties(bag);
    EXPECT_EQ(bag.ReadProperty(QStringLiteral("Style"), 0).toInt(), 5);
    isButton::SetThemeActive(true);

    auto themed = shownButton(6);
    (void)grabbed(*themed);
    EXPECT_EQ(themed->Style(), 6);
}

TEST(ButtonToolTip, HostTextIsEmptiedWhileTheTipIsUpAndRestoredAfter) {
    auto b = shownButton(0);
    b->setToolTip(QStringLiteral("下载该专辑"));
    sendMove(*b);
    ASSERT_NE(b->ToolTipWindow(), nullptr);
    EXPECT_EQ(b->toolTip(), QString());
    EXPECT_EQ(b->ToolTipText(), QStringLiteral("下载该专辑"));
    EXPECT_EQ(b->ToolTipWindow()->text(), QStringLiteral("下载该专辑"));
    EXPECT_TRUE(b->ToolTipWindow()->balloon());
    sendLeave(*b);
    EXPECT_EQ(b->ToolTipWindow(), nullptr);
    EXPECT_EQ(b->toolTip(), QStringLiteral("下载该专辑"));

    sendMove(*b);
    EXPECT_EQ(b->toolTip(), QString());
    b->hide();
    EXPECT_EQ(b->toolTip(), QStringLiteral("下载该专辑"));
    EXPECT_EQ(b->ToolTipWindow(), nullptr);
}

TEST(ButtonToolTip, TitleOnlyWhenSetAndColoursZeroKeepTheSystemOnes) {
    auto b = shownButton(0);
    b->SetToolTipType(0);
    b->SetToolTipBackColor(0);
    b->SetToolTipForeColor(0);
    sendMove(*b);
    isButtonTip* tip = b->ToolTipWindow();
    ASSERT_NE(tip, nullptr); // created even with an empty text
    EXPECT_EQ(tip->text(), QString());
    EXPECT_FALSE(tip->titleSet());
    EXPECT_FALSE(tip->balloon());
    EXPECT_EQ(tip->backColor(), tip->palette().color(QPalette::ToolTipBase));
    EXPECT_EQ(tip->foreColor(), tip->palette().color(QPalette::ToolTipText));
    sendLeave(*b);

    b->SetToolTipIcon(2);
    b->SetToolTipBackColor(RGB(255, 236, 200));
    b->SetToolTipForeColor(SysColorRef(SysColor::Highlight));
    sendMove(*b);
    tip = b->ToolTipWindow();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->titleSet());
    EXPECT_EQ(tip->titleIcon(), 2);
    EXPECT_EQ(tip->backColor(), QColor(255, 236, 200));
    EXPECT_EQ(tip->foreColor(), QApplication::palette().color(QPalette::Highlight));
}

TEST(ButtonToolTip, SettingTheTextWhileTheTipIsUpRebuildsIt) {
    auto b = shownButton(0);
    b->SetToolTipText(QStringLiteral("one"));
    EXPECT_EQ(b->toolTip(), QStringLiteral("one"));
    sendMove(*b);
    b->SetToolTipText(QStringLiteral("two"));
    ASSERT_NE(b->ToolTipWindow(), nullptr);
    EXPECT_EQ(b->ToolTipWindow()->text(), QStringLiteral("two"));
    EXPECT_EQ(b->toolTip(), QString());
    sendLeave(*b);
    EXPECT_EQ(b->toolTip(), QStringLiteral("two"));
}

TEST(AboutBox, FloatsWithItsTitleLooksPressedAndHidesOnClick) {
    auto b = shownButton(0);
    b->About();
    isButtonAbout* about = b->AboutBox();
    ASSERT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isWindow());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About isButton 3.4.0"));
    const OleColor face = paletteColor(QPalette::Button);
    QImage img = about->grab().toImage();
    EXPECT_EQ(at(img, 300, 81), GradientStep(OffsetColor(face, 15), OffsetColor(face, -15), 1, 26));
    EXPECT_EQ(at(img, 300, 80), paletteColor(QPalette::Dark));
    EXPECT_EQ(at(img, 290, 80), face);
    QTest::mousePress(about, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(about->closePressed());
    img = about->grab().toImage();
    EXPECT_EQ(at(img, 300, 81), GradientStep(OffsetColor(face, -15), OffsetColor(face, 15), 1, 26));
    QTest::mouseRelease(about, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(about->isVisible());
}
