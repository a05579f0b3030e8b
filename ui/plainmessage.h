#pragma once

class QString;
class QWidget;

// Message boxes whose text is plain text. Names come from the disk and the
// keyboard; rendered as rich text, a file name could draw its own message.
namespace PlainMessage {

void warn(QWidget *parent, const QString &title, const QString &text);

} // namespace PlainMessage
