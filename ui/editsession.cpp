#include "ui/editsession.h"

#include "library/libraryedits.h"
#include "library/librarypaths.h"
#include "ui/plainmessage.h"
#include "ui/snippetfields.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>

EditSession::EditSession(QLineEdit *synopsis, QTextEdit *body, QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_fields(std::make_unique<SnippetFields>(synopsis, body))
{
    connect(body->document(), &QTextDocument::modificationChanged, this, &EditSession::changed);
    connect(synopsis, &QLineEdit::textChanged, this, &EditSession::changed);
}

EditSession::~EditSession() = default;

bool EditSession::isModified() const
{
    return m_fields->isModified();
}

bool EditSession::mayReplace()
{
    if (!isModified())
        return true;
    const QString text = m_entry.snippet.isNull()
        ? tr("The new snippet has changes that are not saved.")
        : tr("The snippet \u201c%1\u201d has changes that are not saved.").arg(m_entry.snippet);
    QMessageBox question(QMessageBox::Warning, tr("Unsaved Changes"), text,
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_window);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::Save);
    question.setEscapeButton(QMessageBox::Cancel);
    switch (question.exec()) {
    case QMessageBox::Save:
        return save();
    case QMessageBox::Discard:
        // The caller replaces the fields now; nothing may ask again on the way.
        m_fields->setUnmodified();
        m_showsFile = false;
        Q_EMIT changed();
        return true;
    default:
        return false;
    }
}

bool EditSession::keepsEditsFor(const QString &path) const
{
    return isModified() && path == m_shown.path;
}

bool EditSession::show(const Entry &entry, const QString &path)
{
    // A listing that comes back to the shown file (after a rename, a
    // removal that did not happen, or another program's change elsewhere)
    // keeps the edits, and the cursor and undo history of an unchanged file.
    const bool unchanged = !isModified() && m_showsFile && path == m_shown.path
        && !SnippetFile::changedSince(path, m_shown.stamp) && !shownFileGone();
    const bool keeps = keepsEditsFor(path) || unchanged;
    m_entry = entry;
    if (keeps) {
        Q_EMIT changed();
        return unchanged;
    }
    m_showsFile = false;

    const SnippetFile::ReadResult file = SnippetFile::load(path);
    m_shown = {path, file.status, file.stamp};
    QString why = file.errorString;
    switch (file.status) {
    case SnippetFile::ReadStatus::Loaded:
        why = SnippetFields::whyNotEditable(file.text);
        if (why.isEmpty()) {
            m_fields->show(file.text);
            m_showsFile = true;
            Q_EMIT changed();
            return true;
        }
        // Not shown is not loaded: a save must not replace it with empty fields.
        m_shown.status = SnippetFile::ReadStatus::TooLarge;
        break;
    case SnippetFile::ReadStatus::Missing:
        m_fields->clear();
        Q_EMIT changed();
        return false;
    case SnippetFile::ReadStatus::NotARegularFile:
    case SnippetFile::ReadStatus::TooLarge:
    case SnippetFile::ReadStatus::Unreadable:
        break;
    }
    m_fields->showUnloadable(tr("\"%1\" is not shown: %2.").arg(entry.snippet, why));
    Q_EMIT changed();
    return false;
}

bool EditSession::save()
{
    if (!m_entry.snippet.isNull())
        return saveTo(m_shown.path, m_entry.snippet, SnippetFile::SaveMode::UnlessChanged);

    const std::optional<QString> name = askNewName ? askNewName() : std::nullopt;
    if (!name)
        return false;
    const QString category =
        LibraryPaths::categoryPath(LibraryPaths::rootPath(), m_entry.language, m_entry.category);
    // The fields came from no file, so whatever has this name is text they
    // never showed.
    if (!saveTo(LibraryPaths::snippetFilePath(category, *name), *name,
                SnippetFile::SaveMode::NewOnly))
        return false;
    Q_EMIT snippetCreated(*name);
    return true;
}

bool EditSession::saveQuietly()
{
    if (!isModified())
        return true;
    if (m_entry.snippet.isNull())
        return false; // a name would have to be asked for
    const SnippetFile::SaveResult result = SnippetFile::save(
        m_shown.path, m_fields->textToSave(), m_shown, SnippetFile::SaveMode::UnlessChanged);
    if (result.status != SnippetFile::SaveStatus::Saved)
        return false;
    m_shown = result.shown;
    m_fields->markSaved();
    m_showsFile = true;
    Q_EMIT changed();
    return true;
}

bool EditSession::saveTo(const QString &path, const QString &name, SnippetFile::SaveMode mode)
{
    const SnippetText text = m_fields->textToSave();
    SnippetFile::SaveResult result = SnippetFile::save(path, text, m_shown, mode);
    if (result.status == SnippetFile::SaveStatus::Changed && askToReplaceChanges(name))
        result = SnippetFile::save(path, text, m_shown, SnippetFile::SaveMode::Replace);

    QString why;
    switch (result.status) {
    case SnippetFile::SaveStatus::Saved:
        m_shown = result.shown;
        m_fields->markSaved();
        m_showsFile = true;
        Q_EMIT changed();
        return true;
    case SnippetFile::SaveStatus::Changed:
        return false; // the user chose to keep both
    case SnippetFile::SaveStatus::Exists:
        why = tr("a snippet of that name exists already.");
        break;
    case SnippetFile::SaveStatus::NotShown:
        why = tr("its file could not be shown, and saving would replace it with empty fields.");
        break;
    case SnippetFile::SaveStatus::Failed:
        why = result.errorString;
        break;
    }
    PlainMessage::warn(m_window, tr("Save"),
                       tr("The snippet \"%1\" was not saved: %2\n\n"
                          "The file on disk is unchanged.")
                           .arg(name, why));
    return false;
}

bool EditSession::askToReplaceChanges(const QString &name)
{
    QMessageBox question(QMessageBox::Warning, tr("Save"),
                         tr("The snippet \"%1\" was changed by another program since it was "
                            "shown here.\n\nReplace that version with the text shown here? "
                            "Cancel keeps both: the file stays as it is and the window keeps "
                            "your edits.")
                             .arg(name),
                         QMessageBox::Cancel, m_window);
    QPushButton *replace = question.addButton(tr("Replace"), QMessageBox::DestructiveRole);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::Cancel);
    question.exec();
    return question.clickedButton() == replace;
}

void EditSession::follow(const QString &path, const QString &name)
{
    m_shown.path = path;
    m_entry.snippet = name;
    Q_EMIT changed();
}

bool EditSession::shownFileChanged() const
{
    return m_showsFile && SnippetFile::changedSince(m_shown.path, m_shown.stamp);
}

bool EditSession::shownFileGone() const
{
    return m_shown.status == SnippetFile::ReadStatus::Loaded && !m_entry.snippet.isNull()
        && !LibraryEdits::exists(m_shown.path);
}

std::optional<QString> EditSession::copyableBody() const
{
    // The reason shown in place of an unloadable file is no body.
    if (m_shown.status != SnippetFile::ReadStatus::Loaded
        && m_shown.status != SnippetFile::ReadStatus::Missing)
        return std::nullopt;
    return m_fields->current().body;
}
