#include "ui/plainmessage.h"

#include <QMessageBox>

namespace PlainMessage {

void warn(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace PlainMessage
