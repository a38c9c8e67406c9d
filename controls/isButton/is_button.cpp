#include "controls/isButton/is_button.h"

#include "controls/isButton/about_box.h"
#include "controls/isButton/is_button_accessible.h"
#include "controls/isButton/tool_tip.h"

#include <QCursor>
#include <QDesktopServices>
#include <QUrl>

namespace orvana::controls {

namespace {

int g_toolTipDelay = 400;

} // namespace

isButton::isButton(QWidget* parent, const QString& instanceName) : QWidget(parent) {
    InstallIsButtonAccessibility();
    setObjectName(instanceName);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    // 300 twips, the smallest extent a button may have.
    setMinimumSize(20, 20);
    resize(81, 33);

    m_caption = instanceName;
    m_backColor = sys(SysColor::ButtonFace);
    m_highlightColor = sys(SysColor::Highlight);
    m_fontColor = sys(SysColor::ButtonText);
    m_fontHighlightColor = sys(SysColor::ButtonText);
    m_about = new isButtonAbout(this);
    m_about->hide();
    m_surfaceBack = sys(SysColor::ButtonFace);
    // Qt reports pointer leave on every platform, so the hook is always there at run time.
    m_hooked = m_userMode;

    m_tipTimer.setSingleShot(true);
    connect(&m_tipTimer, &QTimer::timeout, this, [this] {
        if (m_toolTipWindow && m_mouseInside)
            m_toolTipWindow->popUp(QCursor::pos());
    });
    updateAccessKey();
    relayout();
}

isButton::~isButton() {
    m_hooked = false;
    m_tipTimer.stop();
}

OleColor isButton::sys(SysColor which) const {
    return SystemColor(palette(), which);
}

void isButton::changed(QStringView name) {
    Q_EMIT PropertyChanged(name.toString());
}

void isButton::notifyState(QAccessible::State changed) {
    QAccessibleStateChangeEvent event(this, changed);
    NotifyAccessibility(&event);
}

void isButton::SetToolTipDelay(int milliseconds) {
    g_toolTipDelay = std::max(0, milliseconds);
}

void isButton::About() {
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

bool isButton::OpenLink(const QString& link) {
    if (link.trimmed().isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromUserInput(link));
}

isButtonTip* isButton::ToolTipWindow() const {
    return m_toolTipWindow.data();
}

void isButton::buildToolTip() {
    if (!m_toolTipWindow) {
        setToolTipRecord(toolTip());
        m_hidingHostTip = true;
        setToolTip(QString());
        m_hidingHostTip = false;
    }
    delete m_toolTipWindow;
    auto* tip = new isButtonTip(this);
    tip->setBalloon(m_toolTipType == 1);
    tip->setText(m_toolTipText);
    if (!m_toolTipTitle.isEmpty() || m_toolTipIcon != 0)
        tip->setTitle(m_toolTipIcon, m_toolTipTitle);
    const QPalette pal = palette();
    auto colour = [&pal](OleColor c) {
        if (c == 0)
            return QColor();
        const OleColor t = TranslateColor(c, pal);
        return t == kInvalidColor ? QColor() : ToQColor(t);
    };
    tip->setColors(colour(m_toolTipBackColor), colour(m_toolTipForeColor));
    m_toolTipWindow = tip;
    m_tipTimer.start(g_toolTipDelay);
}

void isButton::removeToolTip() {
    m_tipTimer.stop();
    if (!m_toolTipWindow)
        return;
    setToolTip(m_toolTipText);
    delete m_toolTipWindow;
}

} // namespace orvana::controls
