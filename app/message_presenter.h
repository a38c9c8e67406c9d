#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace orvana::app {

// Shows the window's message boxes (OK button only). The one way the window talks to the user
// in a box, so tests can record text, title and icon instead of blocking. Window thread.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Returns when the user has closed the box.
    virtual void show(QWidget* parent, const QString& title, const QString& text,
                      QMessageBox::Icon icon) = 0;
};

// A modal QMessageBox.
class BoxPresenter : public MessagePresenter {
public:
    void show(QWidget* parent, const QString& title, const QString& text,
              QMessageBox::Icon icon) override;
};

} // namespace orvana::app
