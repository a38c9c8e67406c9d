#include "controls/isButton/is_button.h"
#include "controls/isButton/tool_tip.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QShortcutEvent>

namespace orvana::controls {

namespace {

int vbButton(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

bool isButton::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut) {
        auto* se = static_cast<QShortcutEvent*>(e);
        if (m_accessKeyId != 0 && se->shortcutId() == m_accessKeyId) {
            accessKeyClick();
            return true;
        }
    }
    const bool result = QWidget::event(e);
    // Text given straight to the host's tooltip is the control's tooltip text too; only the
    // emptying while the own tip is up is not.
    if (e->type() == QEvent::ToolTipChange && !m_hidingHostTip)
        setToolTipRecord(toolTip());
    switch (e->type()) {
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        m_frameStale = true;
        break;
    default:
        break;
    }
    if (m_hooked) {
        switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::Leave:
        case QEvent::StyleChange:
        case QEvent::PaletteChange: {
            bool handled = false;
            bool ret = result;
            zSubclass_Proc(false, handled, ret, e);
            break;
        }
        default:
            break;
        }
    }
    return result;
}

void isButton::accessKeyClick() {
    // The access key clicks like a left click whatever button was released last.
    QPointer<isButton> self(this);
    const int last = m_lastMouseButton;
    m_lastMouseButton = 1;
    clickStep(true);
    if (!self)
        return;
    m_lastMouseButton = last;
    m_state = StateNormal;
}

void isButton::AccessiblePress() {
    // Queued: the button may have been disabled since the press was asked for.
    if (!m_enabled || !isEnabled())
        return;
    QPointer<isButton> self(this);
    accessKeyClick();
    // Unlike the access key, no key or pointer event follows to repaint the look.
    if (!self)
        return;
    m_state = m_mouseInside ? StateHot : StateNormal;
    Refresh();
}

void isButton::zSubclass_Proc(bool before, bool& handled, bool& result, QEvent* message) {
    Q_UNUSED(handled);
    Q_UNUSED(result);
    if (before || message == nullptr)
        return;
    switch (message->type()) {
    case QEvent::MouseMove:
        if (!m_mouseInside && isEnabled()) {
            m_mouseInside = true;
            m_state = StateHot;
            Refresh();
            QPointer<isButton> self(this);
            Q_EMIT MouseEnter();
            if (self)
                buildToolTip();
        }
        break;
    case QEvent::Leave:
        if (m_mouseInside) {
            m_mouseInside = false;
            m_state = StateNormal;
            removeToolTip();
            Refresh();
            Q_EMIT MouseLeave();
        }
        break;
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
        Refresh();
        break;
    default:
        break;
    }
}

void isButton::mouseDownStep(int button) {
    if (button == 1) {
        m_state = StatePressed;
        Refresh();
    }
}

void isButton::mouseUpStep(int button) {
    if (button == 1) {
        m_state = (m_buttonType == ButtonCheck && !m_value) ? StatePressed : StateHot;
        Refresh();
    }
    m_lastMouseButton = button;
}

void isButton::clickStep(bool raise) {
    if (m_lastMouseButton != 1)
        return;
    if (m_buttonType == ButtonCheck) {
        m_value = !m_value;
        QAccessible::State st;
        st.checked = true;
        notifyState(st);
    }
    m_state = StateHot;
    Refresh();
    if (raise)
        Q_EMIT Click();
}

void isButton::mousePressEvent(QMouseEvent* e) {
    if (m_toolTipWindow)
        m_toolTipWindow->hide();
    m_inDoubleClick = false;
    mouseDownStep(vbButton(e->button()));
    e->accept();
}

void isButton::mouseReleaseEvent(QMouseEvent* e) {
    const int button = vbButton(e->button());
    const bool wasDouble = m_inDoubleClick;
    m_inDoubleClick = false;
    mouseUpStep(button);
    // A click is a left release over the control; the release that ends a double click raises
    // no second click.
    if (button == 1 && !wasDouble && rect().contains(e->position().toPoint()))
        clickStep(true);
    e->accept();
}

void isButton::mouseDoubleClickEvent(QMouseEvent* e) {
    if (m_lastMouseButton == 1 && e->button() == Qt::LeftButton) {
        m_inDoubleClick = true;
        mouseDownStep(1);
    }
    e->accept();
}

void isButton::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Space: {
        e->accept();
        // One press is one click, however long the key is held.
        if (e->isAutoRepeat())
            return;
        mouseDownStep(1);
        QPointer<isButton> self(this);
        Q_EMIT Click();
        if (self)
            clickStep(false);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return;
    case Qt::Key_Right:
        e->accept();
        focusNextChild();
        return;
    case Qt::Key_Left:
        e->accept();
        focusPreviousChild();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}

void isButton::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space) {
        e->accept();
        if (!e->isAutoRepeat())
            mouseUpStep(1);
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void isButton::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    m_focused = true;
    Refresh();
}

void isButton::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    m_focused = false;
    Refresh();
}

void isButton::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    m_shown = true;
    Refresh();
}

void isButton::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    m_shown = false;
    // A hidden control cannot keep a tip up; the host gets its text back.
    if (m_toolTipWindow) {
        m_mouseInside = false;
        m_state = StateNormal;
    }
    delete m_toolTipWindow;
    m_tipTimer.stop();
    setToolTip(m_toolTipText);
}

void isButton::updateAccessKey() {
    if (m_accessKeyId != 0)
        releaseShortcut(m_accessKeyId);
    m_accessKeyId = 0;
    const QKeySequence key = QKeySequence::mnemonic(m_caption);
    if (!key.isEmpty())
        m_accessKeyId = grabShortcut(key);
}

} // namespace orvana::controls
