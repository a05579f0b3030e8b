#include "cli/cliprinter.h"

#include <QDir>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

void CliPrinter::add(const QByteArray &bytes)
{
    // A find over thousands of snippets would otherwise make a system call
    // per line.
    m_buffer.append(bytes);
    if (m_buffer.size() >= 64 * 1024)
        flush();
}

void CliPrinter::flush()
{
    // After one failure nothing more is written: a reader would get a gap in
    // the middle of the output and take the rest for whole.
    if (!m_buffer.isEmpty() && m_error.isEmpty() && m_out.write(m_buffer) != m_buffer.size())
        m_error = m_out.errorString();
    m_buffer.clear();
}

void CliPrinter::line(const QString &text)
{
    add(text.toUtf8().append('\n'));
}

void CliPrinter::bytes(const QByteArray &bytes)
{
    add(bytes);
}

void CliPrinter::found(const CliCommands::Found &found)
{
    if (m_style.quiet)
        return;
    if (!m_style.json) {
        if (!found.line)
            line(found.snippet);
        else
            line(found.snippet + QLatin1Char(':') + QString::number(found.line->number)
                 + QLatin1Char(':') + found.line->text.toString());
        return;
    }
    // Library paths join Qt's '/' with the native separator; an editor wants one kind.
    QJsonObject object{{QStringLiteral("snippet"), found.snippet},
                       {QStringLiteral("file"), QDir::toNativeSeparators(found.file)}};
    if (found.line) {
        object.insert(QStringLiteral("line"), found.line->number);
        object.insert(QStringLiteral("text"), found.line->text.toString());
    }
    add(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n'));
}

void CliPrinter::problem(const QString &subject, const QString &reason)
{
    flush(); // keeps messages in order with the output on a terminal
    m_err.write((QStringLiteral("quillory-cli: ") + subject + QStringLiteral(": ") + reason
                 + QLatin1Char('\n'))
                    .toUtf8());
}

int CliPrinter::finish(int status)
{
    flush();
    if (m_error.isEmpty())
        return status;
    problem(QStringLiteral("standard output"), QStringLiteral("write error: ") + m_error);
    return CliCommands::Failure;
}
