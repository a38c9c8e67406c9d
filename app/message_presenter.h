#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace orvana::app {

// Shows the window's message boxes: notices with an OK button and Yes/No questions. The one way
// the window talks to the user in a box, so tests can record text, title and icon and answer
// questions instead of blocking. Window thread.
class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Returns when the user has closed the box.
    virtual void show(QWidget* parent, const QString& title, const QString& text,
                      QMessageBox::Icon icon) = 0;
    // A question with Yes and No; true when the user chose Yes.
    [[nodiscard]] virtual bool ask(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Modal QMessageBoxes.
class BoxPresenter : public MessagePresenter {
public:
    void show(QWidget* parent, const QString& title, const QString& text,
              QMessageBox::Icon icon) override;
    // No is the default button, so a stray Enter does not say Yes.
    [[nodiscard]] bool ask(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace orvana::app
