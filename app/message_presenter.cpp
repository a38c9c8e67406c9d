#include "app/message_presenter.h"

#include <QAbstractButton>
#include <QCoreApplication>

namespace orvana::app {

void BoxPresenter::show(QWidget* parent, const QString& title, const QString& text,
                        QMessageBox::Icon icon) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool BoxPresenter::ask(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    // The window's language, not Qt's (whose translations the program does not load).
    box.button(QMessageBox::Yes)
        ->setText(QCoreApplication::translate("orvana::app::BoxPresenter", "是(&Y)"));
    box.button(QMessageBox::No)
        ->setText(QCoreApplication::translate("orvana::app::BoxPresenter", "否(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace orvana::app
