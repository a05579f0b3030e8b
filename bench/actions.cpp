#include "bench/actions.h"

#include "bench/recorder.h"
#include "library/librarypaths.h"
#include "library/snippetfile.h"
#include "tests/testsupport.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowform.h"
#include "ui/snippetfields.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

using namespace SynthLibrary;

namespace {

const QString defaultEntry = QStringLiteral("Default");

// The widgets an action touches, found by object name, so the same code
// drives the program's window and a bare window built from the same form.
struct Parts
{
    explicit Parts(QWidget *window)
        : language(window->findChild<QComboBox *>(QStringLiteral("comboBoxLanguage")))
        , category(window->findChild<QComboBox *>(QStringLiteral("comboBoxCategory")))
        , snippet(window->findChild<QComboBox *>(QStringLiteral("comboBoxSnippet")))
        , synopsis(window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis")))
        , body(window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet")))
        , add(window->findChild<QPushButton *>(QStringLiteral("pushButtonAddSnippet")))
        , remove(window->findChild<QPushButton *>(QStringLiteral("pushButtonRemoveSnippet")))
    {
    }

    QComboBox *language;
    QComboBox *category;
    QComboBox *snippet;
    QLineEdit *synopsis;
    QTextEdit *body;
    QPushButton *add;
    QPushButton *remove;
};

std::unique_ptr<QMainWindow> bareWindow()
{
    auto window = std::make_unique<QMainWindow>();
    MainWindowForm form;
    form.setupForm(window.get());
    return window;
}

void remember(const QString &language, const QString &category, const QString &snippet)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Language"), language);
    settings.setValue(QStringLiteral("Category"), category);
    settings.setValue(QStringLiteral("Snippet"), snippet);
}

// Untimed: makes the window show the given entries the way a user would get
// there, with the remembered selection pointing at them.
void bringTo(const Parts &w, const QString &language, const QString &category,
             const QString &snippet)
{
    remember(language, category, snippet);
    if (w.language->currentText() != language)
        w.language->setCurrentIndex(w.language->findText(language));
    if (w.category->currentText() != category)
        w.category->setCurrentIndex(w.category->findText(category));
    if (w.snippet->currentText() != snippet)
        w.snippet->setCurrentIndex(w.snippet->findText(snippet));
    QCoreApplication::processEvents();
}

void copyBox(const QComboBox *from, QComboBox *to)
{
    QStringList items;
    for (int i = 0; i < from->count(); ++i)
        items.append(from->itemText(i));
    to->clear();
    to->insertItems(0, items);
    to->setCurrentIndex(from->currentIndex());
}

// Gives the floor's bare window the program window's state before an action.
void mirror(const Parts &from, const Parts &to)
{
    copyBox(from.language, to.language);
    copyBox(from.category, to.category);
    copyBox(from.snippet, to.snippet);
    to.synopsis->setText(from.synopsis->text());
    to.body->setPlainText(from.body->toPlainText());
    QCoreApplication::processEvents();
}

// The floors: each reads a directory or file once with plain Qt calls and
// does the widget work no implementation can skip.
QStringList floorFolders(const QString &path)
{
    QStringList names = QDir(path).entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(defaultEntry);
    names.prepend(defaultEntry);
    return names;
}

QStringList floorSnippets(const QString &path)
{
    QStringList names = QDir(path).entryList({QStringLiteral("*.spt")},
                                             QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (QString &name : names)
        name.chop(4);
    return names;
}

void floorFill(QComboBox *box, const QStringList &names, const QString &current)
{
    box->clear();
    box->insertItems(0, names);
    box->setCurrentIndex(int(qMax<qsizetype>(0, names.indexOf(current))));
}

void floorShow(const Parts &parts, const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return;
    QString text = QString::fromUtf8(input.readAll());
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    parts.synopsis->setText(lineFeed < 0 ? text : text.left(lineFeed));
    text.remove(0, lineFeed < 0 ? text.size() : lineFeed + 1);
    parts.body->setPlainText(text);
}

QString join(const QString &a, const QString &b)
{
    return a + QLatin1Char('/') + b;
}

QString sptFile(const QString &folder, const QString &name)
{
    return join(folder, name) + QStringLiteral(".spt");
}

void emptyTrash()
{
    QDir(join(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
              QStringLiteral("Trash")))
        .removeRecursively();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The floor that the program's own description puts under a switch, add or
// remove: the plain floor plus the settings write of every snippet load.
void rememberCurrent(const Parts &f, int writes)
{
    for (int i = 0; i < writes; ++i)
        remember(f.language->currentText(), f.category->currentText(), f.snippet->currentText());
}

class Runner
{
public:
    Runner(const Scale &scale, Libraries &libraries, Recorder &recorder)
        : m_scale(scale), m_libraries(libraries), m_rec(recorder)
    {
    }

    void startUp(const QString &key, const QString &library, const Shape &shape);
    void windowActions();
    void fileActions(qsizetype size, bool floorFirst);
    void settingsWrite(int run);

private:
    // Times `floor` twice from the window's current state, the second time
    // with the design's settings writes; the window itself stays untouched.
    template <typename Floor>
    void floors(const QString &key, const Parts &w, const Parts &f, int settingsWrites,
                Floor floor);
    void switchLanguage(const Parts &w, const Parts &f);
    void switchCategory(const Parts &w, const Parts &f);
    void switchSnippet(const Parts &w, const Parts &f);
    void addAndRemove(const Parts &w, const Parts &f);

    const Scale &m_scale;
    Libraries &m_libraries;
    Recorder &m_rec;
};

template <typename Floor>
void Runner::floors(const QString &key, const Parts &w, const Parts &f, int settingsWrites,
                    Floor floor)
{
    mirror(w, f);
    m_rec.start(key, Side::Floor);
    floor();
    m_rec.stop();

    mirror(w, f);
    m_rec.start(key, Side::Design);
    floor();
    rememberCurrent(f, settingsWrites);
    m_rec.stop();
}

void Runner::startUp(const QString &key, const QString &library, const Shape &shape)
{
    m_libraries.activate(library);
    const QString language = languageName(0);
    const QString category = categoryName(0);
    const QString current = snippetName(shape.snippets / 2);
    remember(language, category, current);

    m_rec.start(key, Side::Ours);
    auto window = std::make_unique<MainWindow>();
    m_rec.stop();
    const Parts w(window.get());
    expect(w.snippet->count() == shape.snippets && w.snippet->currentText() == current,
           "start-up lists the remembered category and selects the remembered snippet");
    window.reset();

    // The floor: the same form, nothing listed, as with an empty library.
    m_rec.start(key, Side::Floor);
    auto bare = bareWindow();
    m_rec.stop();
    bare.reset();

    // The design lists all three levels and loads the first snippet, then the
    // remembered one, each load writing the settings.
    const QString languageFolder = join(m_libraries.root(), language);
    const QString categoryFolder = join(languageFolder, category);
    m_rec.start(key, Side::Design);
    bare = bareWindow();
    const Parts f(bare.get());
    floorFill(f.language, floorFolders(m_libraries.root()), language);
    floorFill(f.category, floorFolders(languageFolder), category);
    floorFill(f.snippet, floorSnippets(categoryFolder), current);
    floorShow(f, sptFile(categoryFolder, current));
    rememberCurrent(f, 2);
    m_rec.stop();
    bare.reset();
    QCoreApplication::processEvents();
}

void Runner::windowActions()
{
    m_libraries.activate(QStringLiteral("large"));
    remember(languageName(0), categoryName(0), snippetName(m_scale.large.snippets / 2));
    MainWindow window;
    auto floorWindow = bareWindow();
    window.show();
    floorWindow->show();
    const Parts w(&window);
    const Parts f(floorWindow.get());

    switchLanguage(w, f);
    switchSnippet(w, f);
    switchCategory(w, f);
    addAndRemove(w, f);
}

void Runner::switchLanguage(const Parts &w, const Parts &f)
{
    const QString key = QStringLiteral("switch-language");
    const QString from = languageName(0);
    const QString to = languageName(1);
    const QString category = categoryName(0);
    bringTo(w, from, category, snippetName(m_scale.large.snippets / 2));

    const QString languageFolder = join(m_libraries.root(), to);
    const QString categoryFolder = join(languageFolder, category);
    floors(key, w, f, 1, [&] {
        f.language->setCurrentIndex(f.language->findText(to));
        floorFill(f.category, floorFolders(languageFolder), category);
        floorFill(f.snippet, floorSnippets(categoryFolder), QString());
        floorShow(f, sptFile(categoryFolder, f.snippet->currentText()));
    });

    m_rec.start(key, Side::Ours);
    w.language->setCurrentIndex(w.language->findText(to));
    m_rec.stop();
    expect(w.category->currentText() == category
               && w.snippet->count() == m_scale.large.otherSnippets
               && w.synopsis->text() == synopsisFor(to, category, snippetName(0))
               && f.synopsis->text() == w.synopsis->text(),
           "switching language lists the remembered category and loads its first snippet");
}

void Runner::switchSnippet(const Parts &w, const Parts &f)
{
    const QString key = QStringLiteral("switch-snippet");
    const int from = m_scale.large.snippets / 2;
    const QString language = languageName(0);
    const QString category = categoryName(0);
    const QString to = snippetName(from + 1);
    bringTo(w, language, category, snippetName(from));

    const QString folder = join(join(m_libraries.root(), language), category);
    floors(key, w, f, 1, [&] {
        f.snippet->setCurrentIndex(f.snippet->findText(to));
        floorShow(f, sptFile(folder, to));
    });

    m_rec.start(key, Side::Ours);
    w.snippet->setCurrentIndex(w.snippet->findText(to));
    m_rec.stop();
    expect(w.synopsis->text() == synopsisFor(language, category, to),
           "switching snippet loads the chosen file");
}

void Runner::switchCategory(const Parts &w, const Parts &f)
{
    const QString key = QStringLiteral("switch-category");
    const QString language = languageName(0);
    const QString to = categoryName(0);
    bringTo(w, language, categoryName(1), snippetName(0));

    const QString folder = join(join(m_libraries.root(), language), to);
    floors(key, w, f, 1, [&] {
        f.category->setCurrentIndex(f.category->findText(to));
        floorFill(f.snippet, floorSnippets(folder), QString());
        floorShow(f, sptFile(folder, f.snippet->currentText()));
    });

    m_rec.start(key, Side::Ours);
    w.category->setCurrentIndex(w.category->findText(to));
    m_rec.stop();
    expect(w.snippet->count() == m_scale.large.snippets
               && w.synopsis->text() == synopsisFor(language, to, snippetName(0)),
           "switching into the large category lists it and loads its first snippet");
}

// Adding and then removing the same name leaves the library and the window
// as they were, so every run starts from the same state.
void Runner::addAndRemove(const Parts &w, const Parts &f)
{
    const QString addKey = QStringLiteral("add-snippet");
    const QString removeKey = QStringLiteral("remove-snippet");
    const QString language = languageName(0);
    const QString category = categoryName(0);
    const QString first = snippetName(0);
    const QString added = snippetName(m_scale.large.snippets / 2) + QLatin1Char('a');
    const QString folder = join(join(m_libraries.root(), language), category);
    const QString addedFile = sptFile(folder, added);
    bringTo(w, language, category, first);
    mirror(w, f);

    // The add writes the new name, then loads the first snippet and the new
    // one; the remove loads the first snippet.
    for (const Side side : {Side::Floor, Side::Design}) {
        m_rec.start(addKey, side);
        QFile(addedFile).open(QIODevice::WriteOnly | QIODevice::NewOnly);
        floorFill(f.snippet, floorSnippets(folder), added);
        floorShow(f, addedFile);
        rememberCurrent(f, side == Side::Design ? 3 : 0);
        m_rec.stop();
        expect(f.snippet->currentText() == added, "the add floor selects the new snippet");

        m_rec.start(removeKey, side);
        QFile::moveToTrash(addedFile);
        floorFill(f.snippet, floorSnippets(folder), QString());
        floorShow(f, sptFile(folder, f.snippet->currentText()));
        rememberCurrent(f, side == Side::Design ? 1 : 0);
        m_rec.stop();
        expect(!QFile::exists(addedFile), "the remove floor removes the file");
        emptyTrash();
    }

    // The clock starts when the name is accepted: the dialog itself is the
    // user's time, not the action's.
    TestSupport::whenModalOpens([&](QWidget *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        input->setTextValue(added);
        m_rec.start(addKey, Side::Ours);
        input->accept();
    });
    w.add->click();
    m_rec.stop();
    expect(w.snippet->currentText() == added && w.snippet->count() == m_scale.large.snippets + 1,
           "adding a snippet lists it and makes it current");
    QCoreApplication::processEvents();

    m_rec.start(removeKey, Side::Ours);
    w.remove->click();
    m_rec.stop();
    expect(w.snippet->currentText() == first && w.snippet->count() == m_scale.large.snippets
               && !QFile::exists(addedFile),
           "removing the snippet lists the category without it");
    emptyTrash();
    QCoreApplication::processEvents();
}

// Load and save go through the library calls the window uses, on the fields
// of a bare window, measured against a plain read and a plain QSaveFile.
// Which side goes first alternates, so neither always meets a disk that is
// still busy flushing the other's write.
void Runner::fileActions(qsizetype size, bool floorFirst)
{
    const QString name = sizeName(size);
    const QString folder = m_libraries.textsFolder();
    const QString path = sptFile(folder, name);
    const QByteArray original = fileBytes(path);
    const SnippetText before{QStringLiteral("before"),
                             QString::fromLatin1(snippetText(QStringLiteral("x"), 2048))};
    auto window = bareWindow();
    const Parts p(window.get());
    SnippetFields fields(p.synopsis, p.body);

    const QString loadKey = QStringLiteral("load-") + name;
    const auto loadOurs = [&] {
        fields.show(before);
        m_rec.start(loadKey, Side::Ours);
        const std::optional<SnippetText> text =
            SnippetFile::read(LibraryPaths::snippetFilePath(folder, name));
        if (text)
            fields.show(*text);
        m_rec.stop();
        expect(text && p.synopsis->text() == synopsisFor(QStringLiteral("texts"),
                                                        QStringLiteral("sizes"), name),
               "loading shows the file");
    };
    const auto loadFloor = [&] {
        fields.show(before);
        m_rec.start(loadKey, Side::Floor);
        floorShow(p, path);
        m_rec.stop();
    };

    // Both saves start from the fields as the load left them.
    const QString saveKey = QStringLiteral("save-") + name;
    const auto saveOurs = [&] {
        QString error;
        m_rec.start(saveKey, Side::Ours);
        const bool saved = SnippetFile::write(LibraryPaths::snippetFilePath(folder, name),
                                              fields.current(), &error);
        m_rec.stop();
        expect(saved && fileBytes(path) == original,
               "saving unchanged fields writes the same bytes");
    };
    const auto saveFloor = [&] {
        m_rec.start(saveKey, Side::Floor);
        QSaveFile file(path);
        expect(file.open(QIODevice::WriteOnly) && file.write(original) == original.size()
                   && file.commit(),
               "the plain save succeeds");
        m_rec.stop();

        // The text has to come out of the editor and become bytes first.
        m_rec.start(saveKey, Side::Design);
        QString body = p.body->document()->toRawText();
        body.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        QSaveFile design(path);
        design.open(QIODevice::WriteOnly);
        design.write(p.synopsis->text().toUtf8() + '\n');
        design.write(body.toUtf8());
        design.commit();
        m_rec.stop();
    };

    if (floorFirst) {
        loadFloor();
        loadOurs();
        saveFloor();
        saveOurs();
    } else {
        loadOurs();
        loadFloor();
        saveOurs();
        saveFloor();
    }
}

// Every successful load writes the remembered selection; this is what that
// costs on its own.
void Runner::settingsWrite(int run)
{
    const QString suffix = QString::number(run % 2);
    m_rec.start(QStringLiteral("settings-write"), Side::Ours);
    remember(QStringLiteral("language") + suffix, QStringLiteral("category") + suffix,
             QStringLiteral("snippet") + suffix);
    m_rec.stop();
}

// VmHWM rather than getrusage: ru_maxrss survives exec, so a child started
// by a large parent would report the parent's size.
long peakSoFarKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

QList<ActionInfo> actionList(const Scale &scale)
{
    const QString snippets = QLocale::c().toString(scale.large.snippets);
    QList<ActionInfo> list = {
        {QStringLiteral("startup-small"), QStringLiteral("start-up, small library"), 1.5, true},
        {QStringLiteral("startup-large"), QStringLiteral("start-up, large library"), 2.0, true},
        {QStringLiteral("switch-language"), QStringLiteral("switch language"), 2.0, true},
        {QStringLiteral("switch-category"),
         QStringLiteral("switch category (to %1 snippets)").arg(snippets), 2.0, true},
        {QStringLiteral("switch-snippet"), QStringLiteral("switch snippet"), 2.0, true},
        {QStringLiteral("add-snippet"), QStringLiteral("add snippet (among %1)").arg(snippets), 2.0,
         true},
        {QStringLiteral("remove-snippet"), QStringLiteral("remove snippet (among %1)").arg(snippets),
         2.0, true},
    };
    for (const qsizetype size : scale.textSizes)
        list.append({QStringLiteral("load-") + sizeName(size),
                     QStringLiteral("load ") + sizeLabel(size), 0, true});
    for (const qsizetype size : scale.textSizes)
        list.append({QStringLiteral("save-") + sizeName(size),
                     QStringLiteral("save ") + sizeLabel(size), 1.5, true});
    list.append({QStringLiteral("settings-write"),
                 QStringLiteral("(settings write, 3 keys)"), 0, false});
    return list;
}

void runActions(const Scale &scale, Libraries &libraries, Recorder &recorder, int runs)
{
    Runner runner(scale, libraries, recorder);
    for (int run = 0; run <= runs; ++run) {
        recorder.setRecording(run > 0);
        runner.startUp(QStringLiteral("startup-small"), QStringLiteral("small"), scale.small);
        runner.startUp(QStringLiteral("startup-large"), QStringLiteral("large"), scale.large);
        runner.windowActions();
        for (const qsizetype size : scale.textSizes)
            runner.fileActions(size, run % 2 == 1);
        runner.settingsWrite(run);
    }
    libraries.deactivate();
}

QString peakCaseName(PeakCase peakCase)
{
    switch (peakCase) {
    case PeakCase::BareWindow:
        return QStringLiteral("bare");
    case PeakCase::LargeLibrary:
        return QStringLiteral("large");
    case PeakCase::LargeLibraryFloor:
        return QStringLiteral("large-floor");
    case PeakCase::LargestText:
        return QStringLiteral("text");
    case PeakCase::LargestTextFloor:
        return QStringLiteral("text-floor");
    }
    return QString();
}

long peakKilobytes(PeakCase peakCase, const Scale &scale, Libraries &libraries)
{
    const QString largest = sizeName(scale.textSizes.last());
    std::unique_ptr<QMainWindow> window;
    switch (peakCase) {
    case PeakCase::BareWindow:
        window = bareWindow();
        break;
    case PeakCase::LargeLibrary:
        libraries.activate(QStringLiteral("large"));
        remember(languageName(0), categoryName(0), snippetName(scale.large.snippets / 2));
        window = std::make_unique<MainWindow>();
        break;
    case PeakCase::LargestText:
        libraries.activate(QStringLiteral("texts"));
        remember(QStringLiteral("texts"), QStringLiteral("sizes"), largest);
        window = std::make_unique<MainWindow>();
        break;
    case PeakCase::LargeLibraryFloor: {
        window = bareWindow();
        const Parts p(window.get());
        const QString root = libraries.stored(QStringLiteral("large"));
        const QString language = join(root, languageName(0));
        const QString category = join(language, categoryName(0));
        const QString current = snippetName(scale.large.snippets / 2);
        floorFill(p.language, floorFolders(root), languageName(0));
        floorFill(p.category, floorFolders(language), categoryName(0));
        floorFill(p.snippet, floorSnippets(category), current);
        floorShow(p, sptFile(category, current));
        break;
    }
    case PeakCase::LargestTextFloor:
        window = bareWindow();
        floorShow(Parts(window.get()), sptFile(libraries.textsFolder(), largest));
        break;
    }
    QCoreApplication::processEvents();
    const long peak = peakSoFarKilobytes();
    window.reset();
    libraries.deactivate();
    return peak;
}
