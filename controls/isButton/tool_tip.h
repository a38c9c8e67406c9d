#pragma once

#include <QColor>
#include <QWidget>

namespace orvana::controls {

// The button's own tooltip: a top-level tip window owned by the control, plain or balloon, with
// an optional bold title and title icon (0 none, 1 information, 2 warning, 3 error). Invalid
// colours mean the palette's tooltip colours. A tip with empty text is never shown.
class isButtonTip : public QWidget {
    Q_OBJECT

public:
    explicit isButtonTip(QWidget* owner);

    void setText(const QString& text);
    void setTitle(int icon, const QString& title);
    void setBalloon(bool balloon);
    void setColors(const QColor& back, const QColor& fore);

    [[nodiscard]] QString text() const { return m_text; }
    [[nodiscard]] QString title() const { return m_title; }
    [[nodiscard]] int titleIcon() const { return m_icon; }
    [[nodiscard]] bool titleSet() const { return m_titleSet; }
    [[nodiscard]] bool balloon() const { return m_balloon; }
    [[nodiscard]] QColor backColor() const;
    [[nodiscard]] QColor foreColor() const;

    // Shows the tip next to a global pointer position (the balloon's stem points at it).
    void popUp(const QPoint& pointer);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    [[nodiscard]] QRect bodyRect() const;
    [[nodiscard]] QPainterPath outline() const;

    QString m_text;
    QString m_title;
    int m_icon = 0;
    bool m_titleSet = false;
    bool m_balloon = false;
    QColor m_back;
    QColor m_fore;
};

} // namespace orvana::controls
