#include "app/message_presenter.h"

namespace orvana::app {

void BoxPresenter::show(QWidget* parent, const QString& title, const QString& text,
                        QMessageBox::Icon icon) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace orvana::app
