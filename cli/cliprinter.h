#pragma once

#include "cli/clicommands.h"

#include <QByteArray>
#include <QString>

class QIODevice;

// The terminal tool's output: results on standard output, in large blocks,
// and every problem on standard error as "quillory-cli: SUBJECT: REASON".
class CliPrinter : public CliCommands::Receiver
{
public:
    struct Style
    {
        bool json = false;  // find: one JSON object per match
        bool quiet = false; // find: nothing on standard output
    };

    CliPrinter(QIODevice &out, QIODevice &err) : m_out(out), m_err(err) {}
    ~CliPrinter() override { flush(); }

    void setStyle(const Style &style) { m_style = style; }

    void line(const QString &text) override;
    void bytes(const QByteArray &bytes) override;
    void found(const CliCommands::Found &found) override;
    void problem(const QString &subject, const QString &reason) override;

    // Hands on what is held back; the status the run ends with: as grep,
    // output that did not reach its reader is trouble, whatever was found.
    int finish(int status);

private:
    void add(const QByteArray &bytes);
    void flush();

    QIODevice &m_out;
    QIODevice &m_err;
    Style m_style;
    QByteArray m_buffer;
    QString m_error; // why the output could not be written
};
