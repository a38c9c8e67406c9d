#pragma once

#include <QWidget>

namespace orvana::controls {

// The control's About box: a floating top-level window titled "About isButton 3.4.0", painted
// entirely by hand. Any click on it hides it; while a mouse button is down its "Close" button
// shows the pressed gradient. Owned by the control.
class isButtonAbout : public QWidget {
    Q_OBJECT

public:
    explicit isButtonAbout(QWidget* owner);

    [[nodiscard]] bool closePressed() const { return m_pressed; }
    // Author credit and home-page lines drawn in the box.
    static QString creditText();
    static QString linkText();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool m_pressed = false;
};

} // namespace orvana::controls
