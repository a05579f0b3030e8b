#include "bench/actions.h"

#include "library/librarypaths.h"
#include "library/snippetfile.h"
#include "tests/testsupport.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowform.h"
#include "ui/settingskeys.h"
#include "ui/snippetfields.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>
#include <optional>

using namespace SynthLibrary;

namespace {

template <typename T>
T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// The widgets an action touches, found by object name, so the same code
// drives the program's window and a bare window built from the same form.
struct Parts
{
    explicit Parts(QWidget *w)
        : levels{child<QComboBox>(w, "comboBoxLanguage"), child<QComboBox>(w, "comboBoxCategory"),
                 child<QComboBox>(w, "comboBoxSnippet")}
        , synopsis(child<QLineEdit>(w, "lineEditSynopsis"))
        , body(child<QTextEdit>(w, "textEditSnippet"))
        , add(child<QPushButton>(w, "pushButtonAddSnippet"))
        , remove(child<QPushButton>(w, "pushButtonRemoveSnippet"))
    {
    }
    QStringList selection() const
    {
        return {levels[0]->currentText(), levels[1]->currentText(), levels[2]->currentText()};
    }

    QComboBox *levels[3]; // language, category, snippet
    QLineEdit *synopsis;
    QTextEdit *body;
    QPushButton *add, *remove;
    mutable SnippetFields fields{synopsis, body};
};

std::unique_ptr<QMainWindow> bareWindow()
{
    auto window = std::make_unique<QMainWindow>();
    MainWindowForm().setupForm(window.get());
    return window;
}

// The settings write that the window makes for every snippet it loads.
void remember(const QStringList &selection, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QSettings settings;
        settings.setValue(SettingsKeys::language, selection.at(0));
        settings.setValue(SettingsKeys::category, selection.at(1));
        settings.setValue(SettingsKeys::snippet, selection.at(2));
    }
}

// The folder listed at `level`: the library, a language, a category.
QString folderAt(const QString &root, const QStringList &selection, int level)
{
    return level == 0 ? root
        : level == 1  ? LibraryPaths::languagePath(root, selection.at(0))
                      : LibraryPaths::categoryPath(root, selection.at(0), selection.at(1));
}

QString fileIn(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name + LibraryPaths::snippetSuffix;
}

// The floors read each folder or file once with plain Qt calls, and do the
// widget work no implementation can skip: fill a box with the same names,
// show the same text.
void floorFill(QComboBox *box, const QString &folder, bool snippets, const QString &current)
{
    const QString suffix = LibraryPaths::snippetSuffix;
    QStringList names = snippets
        ? QDir(folder).entryList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name)
        : QDir(folder).entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name);
    for (QString &name : names)
        name.chop(snippets ? suffix.size() : 0);
    if (!snippets && names.removeAll(QStringLiteral("Default")))
        names.prepend(QStringLiteral("Default"));
    box->clear();
    box->insertItems(0, names);
    box->setCurrentIndex(int(qMax<qsizetype>(0, names.indexOf(current))));
}

void floorShow(const Parts &p, const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly))
        return;
    QString text = QString::fromUtf8(input.readAll());
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    p.synopsis->setText(text.left(lineFeed));
    text.remove(0, lineFeed < 0 ? text.size() : lineFeed + 1);
    p.body->setPlainText(text);
}

// The window's cascade the floor's way: choose at `level` in the listed box,
// list every level below, show the snippet. From level -1 it lists all
// three, as at start-up.
void floorCascade(const Parts &p, const QString &root, const QStringList &selection, int level)
{
    if (level >= 0)
        p.levels[level]->setCurrentIndex(p.levels[level]->findText(selection.at(level)));
    for (int below = level + 1; below < 3; ++below)
        floorFill(p.levels[below], folderAt(root, selection, below), below == 2,
                  selection.at(below));
    floorShow(p, fileIn(folderAt(root, selection, 2), p.levels[2]->currentText()));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The sides of an action are ordinary functions side by side: ours drives
// the program's window or its library calls; the floor does the same job the
// plainest way on a bare window; the design floor adds to the floor what the
// window's own described behaviour makes any implementation do.
struct Action
{
    Row row;
    std::function<void(Side)> prepare; // untimed, before each side
    std::function<void()> ours, floor, design; // design empty: none
    std::function<bool()> check; // after ours
    const char *what;
};

class Runner
{
public:
    // `fresh`: for a peak child, whose load fills fields that held nothing.
    Runner(const Scale &scale, Libraries &libraries, Recorder &recorder, bool fresh = false);
    ~Runner() { TestSupport::endTest(); }

    QList<Row> rows() const;
    // Every side of every action once, one side after the other, ours first
    // or the floors first as `run` alternates; `only` ("key/side") runs one.
    void run(int run, const QString &only = QString());

private:
    // An action on the shown window over the large library, from `from` to
    // `to`, after which the window lists `snippets` snippets; its design
    // floor adds the settings write of each snippet the cascade loads.
    void addWindowAction(const Row &row, const QStringList &from, const QStringList &to,
                         int snippets, int loads, const std::function<void()> &ours,
                         const std::function<void()> &floor,
                         const std::function<void()> &setUp = nullptr);
    void addFileActions(qsizetype size);
    void addLineFeedsAction(int count);
    // Untimed: the window (ours) or the floor window shows this selection.
    void bring(Side side, const QStringList &selection);
    const Parts &w() const { return *m_w; }
    // The floors' window, shown, and the fields of load and save, not shown;
    // made when first used, so that a peak child holds only its case.
    const Parts &f() { return held(m_floorWindow, m_f, true); }
    const Parts &t() { return held(m_textsWindow, m_t, false); }
    static const Parts &held(std::unique_ptr<QMainWindow> &window, std::optional<Parts> &parts,
                             bool shown)
    {
        if (!parts) {
            window = bareWindow();
            window->setVisible(shown);
            parts.emplace(window.get());
        }
        return *parts;
    }

    Libraries &m_libraries;
    Recorder &m_rec;
    const QString m_root;
    const bool m_fresh;
    QList<Action> m_actions;
    std::unique_ptr<QWidget> m_made; // a start-up's window, gone after its side
    std::unique_ptr<MainWindow> m_window; // made on the large library when first needed
    std::optional<Parts> m_w;
    std::unique_ptr<QMainWindow> m_floorWindow, m_textsWindow;
    std::optional<Parts> m_f, m_t;
    QByteArray m_original; // the text file a save writes back
    bool m_saved = false;
    int m_settingsWrites = 0;
};

Runner::Runner(const Scale &scale, Libraries &libraries, Recorder &recorder, bool fresh)
    : m_libraries(libraries), m_rec(recorder), m_root(libraries.root()), m_fresh(fresh)
{
    TestSupport::beginTest();
    const QString language = languageName(0), category = categoryName(0);
    const int snippets = scale.large.snippets;
    const QStringList first{language, category, snippetName(0)};
    const QStringList middle{language, category, snippetName(snippets / 2)};
    const QString count = QLocale::c().toString(snippets);

    // The floor is the same form listing nothing, as with an empty library.
    // The design lists all three levels and loads the first snippet, then
    // the remembered one, each load writing the settings.
    for (const Shape *shape : {&scale.small, &scale.large}) {
        const bool large = shape == &scale.large;
        const QString name = large ? QStringLiteral("large") : QStringLiteral("small");
        const QStringList remembered{language, category, snippetName(shape->snippets / 2)};
        const int listed = shape->snippets;
        m_actions.append(
            {{QStringLiteral("startup-") + name, QStringLiteral("start-up, %1 library").arg(name),
              large ? 2.0 : 1.5},
             [=](Side) {
                 m_window.reset();
                 m_libraries.activate(name);
                 remember(remembered);
             },
             [this] { m_made = std::make_unique<MainWindow>(); },
             [this] { m_made = bareWindow(); },
             [=] {
                 m_made = bareWindow();
                 const Parts bare(m_made.get());
                 floorCascade(bare, m_root, remembered, -1);
                 remember(bare.selection(), 2);
             },
             [=] {
                 const Parts started(m_made.get());
                 return started.selection() == remembered && started.levels[2]->count() == listed;
             },
             "start-up lists the remembered category and selects the remembered snippet"});
    }

    // A switch makes a choice in one box; the floor makes the same choice in
    // its own and lists and shows what follows from it.
    const struct
    {
        Row row;
        QStringList from, to;
        int level, snippets;
    } switches[] = {
        {{QStringLiteral("switch-language"), QStringLiteral("switch language"), 2.0}, middle,
         {languageName(1), category, snippetName(0)}, 0, scale.large.otherSnippets},
        {{QStringLiteral("switch-category"),
          QStringLiteral("switch category (to %1 snippets)").arg(count), 2.0},
         {language, categoryName(1), snippetName(0)}, first, 1, snippets},
        {{QStringLiteral("switch-snippet"), QStringLiteral("switch snippet"), 2.0}, middle,
         {language, category, snippetName(snippets / 2 + 1)}, 2, snippets},
    };
    for (const auto &s : switches) {
        addWindowAction(
            s.row, s.from, s.to, s.snippets, 1,
            [=] {
                QComboBox *box = w().levels[s.level];
                box->setCurrentIndex(box->findText(s.to.at(s.level)));
            },
            [=] { floorCascade(f(), m_root, s.to, s.level); });
    }

    // Adding and then removing the same name leaves the library as it was.
    // The add writes the settings for the new name and for the loads of the
    // first snippet and of the new one; the remove for the first snippet.
    const QString folder = folderAt(m_root, first, 2);
    const QStringList added{language, category, middle.at(2) + QLatin1Char('a')};
    const QString addedFile = fileIn(folder, added.at(2));
    addWindowAction(
        {QStringLiteral("add-snippet"), QStringLiteral("add snippet (among %1)").arg(count), 2.0},
        first, added, snippets + 1, 3,
        [=] {
            // The clock starts again when the name is accepted: the dialog
            // is the user's time, not the action's.
            TestSupport::whenModalOpens([=](QWidget *dialog) {
                auto *input = qobject_cast<QInputDialog *>(dialog);
                input->setTextValue(added.at(2));
                m_rec.start(QStringLiteral("add-snippet"), Side::Ours);
                input->accept();
            });
            w().add->click();
        },
        [=] {
            QFile(addedFile).open(QIODevice::WriteOnly | QIODevice::NewOnly);
            floorCascade(f(), m_root, added, 1);
        },
        [=] {
            QFile::remove(addedFile);
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                 + QStringLiteral("/Trash"))
                .removeRecursively();
        });
    addWindowAction(
        {QStringLiteral("remove-snippet"), QStringLiteral("remove snippet (among %1)").arg(count),
         2.0},
        added, first, snippets, 1, [=] { w().remove->click(); },
        [=] {
            QFile::moveToTrash(addedFile);
            floorCascade(f(), m_root, first, 1);
        });

    for (const qsizetype size : scale.textSizes)
        addFileActions(size);
    for (const int count : scale.lineFeeds)
        addLineFeedsAction(count);

    // What the settings write of every snippet load costs on its own.
    m_actions.append({{QStringLiteral("settings-write"), QStringLiteral("(settings write, 3 keys)"),
                       0},
                      nullptr,
                      [this] {
                          const QString n = QString::number(++m_settingsWrites % 2);
                          remember({QStringLiteral("language") + n, QStringLiteral("category") + n,
                                    QStringLiteral("snippet") + n});
                      },
                      nullptr, nullptr, nullptr, nullptr});
}

void Runner::addWindowAction(const Row &row, const QStringList &from, const QStringList &to,
                             int snippets, int loads, const std::function<void()> &ours,
                             const std::function<void()> &floor,
                             const std::function<void()> &setUp)
{
    m_actions.append(
        {row,
         [=](Side side) {
             if (setUp)
                 setUp();
             bring(side, from);
         },
         ours, floor,
         [=] {
             floor();
             remember(f().selection(), loads);
         },
         [=] {
             const QString synopsis = QFileInfo(fileIn(folderAt(m_root, to, 2), to.at(2))).size()
                 ? synopsisFor(to.at(0), to.at(1), to.at(2))
                 : QString();
             return w().selection() == to && w().levels[2]->count() == snippets
                 && w().synopsis->text() == synopsis;
         },
         "the window lists and shows what the action leads to"});
}

// Load and save go through the library calls the window uses, on the fields
// of a bare window, against a plain read and a plain QSaveFile.
void Runner::addFileActions(qsizetype size)
{
    const QString name = sizeName(size);
    const QString folder = m_libraries.textsFolder();
    const QString path = fileIn(folder, name);
    const SnippetText before{QStringLiteral("before"),
                             QString::fromLatin1(snippetText(QStringLiteral("x"), 2048))};
    const auto load = [=] {
        if (const auto text = SnippetFile::read(LibraryPaths::snippetFilePath(folder, name)))
            t().fields.show(*text);
    };
    m_actions.append(
        {{QStringLiteral("load-") + name, QStringLiteral("load ") + sizeLabel(size), 0},
         [=](Side) {
             // A timed load replaces an earlier text, as a switch does.
             if (!m_fresh)
                 t().fields.show(before);
         },
         load,
         [=] { floorShow(t(), path); }, nullptr,
         [=] {
             return t().synopsis->text()
                 == synopsisFor(QStringLiteral("texts"), QStringLiteral("sizes"), name);
         },
         "loading shows the file"});

    // Every save starts from the fields as a load leaves them. The design
    // first takes the text out of the editor and encodes it.
    const auto write = [path](const QByteArray &bytes) {
        QSaveFile file(path);
        expect(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                   && file.commit(),
               "a plain save succeeds");
    };
    m_actions.append(
        {{QStringLiteral("save-") + name, QStringLiteral("save ") + sizeLabel(size), 1.5},
         [=](Side) {
             m_original = fileBytes(path);
             load();
         },
         [=] {
             QString error;
             m_saved = SnippetFile::write(LibraryPaths::snippetFilePath(folder, name),
                                          t().fields.current(), &error);
         },
         [=] { write(m_original); },
         [=] {
             QString body = t().body->document()->toRawText();
             body.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
             write(t().synopsis->text().toUtf8() + '\n' + body.toUtf8());
         },
         [=] { return m_saved && fileBytes(path) == m_original; },
         "saving unchanged fields writes the same bytes"});
}

// Line feeds alone: the most the editor is given, and a text of many more,
// which the window shows read-only with the reason. The floor shows the
// first plainly, and for the second reads, decodes and counts the lines.
void Runner::addLineFeedsAction(int count)
{
    const QString name = lineFeedsName(count);
    const QString path = fileIn(m_libraries.textsFolder(), name);
    const bool editable = count <= SnippetFields::mostLines;
    m_actions.append(
        {{QStringLiteral("load-") + name,
          QStringLiteral("load %1 empty lines").arg(QLocale::c().toString(count)), 0},
         [=](Side) {
             if (!m_fresh)
                 t().fields.show({QStringLiteral("before"), QStringLiteral("body")});
         },
         [=] {
             const auto text = SnippetFile::read(LibraryPaths::snippetFilePath(
                 m_libraries.textsFolder(), name));
             if (!text)
                 return;
             const QString why = SnippetFields::whyNotEditable(*text);
             if (why.isEmpty())
                 t().fields.show(*text);
             else
                 t().fields.showUnloadable(why);
         },
         [=] {
             if (editable)
                 return floorShow(t(), path);
             const QString text = QString::fromUtf8(fileBytes(path));
             t().body->clear();
             t().body->setPlaceholderText(QString::number(text.count(QLatin1Char('\n'))));
         },
         nullptr,
         [=] { return t().body->isReadOnly() != editable; },
         "the most lines are shown, more are refused read-only"});
}

QList<Row> Runner::rows() const
{
    QList<Row> rows;
    for (const Action &action : m_actions)
        rows.append(action.row);
    return rows;
}

void Runner::bring(Side side, const QStringList &selection)
{
    m_libraries.activate(QStringLiteral("large"));
    remember(selection);
    if (side != Side::Ours) {
        floorCascade(f(), m_root, selection, -1);
    } else if (!m_window) {
        // A new window starts on the remembered selection.
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        m_w.emplace(m_window.get());
    } else {
        for (int level = 0; level < 3; ++level) {
            QComboBox *box = w().levels[level];
            if (box->currentText() != selection.at(level))
                box->setCurrentIndex(box->findText(selection.at(level)));
        }
    }
    QCoreApplication::processEvents();
}

void Runner::run(int run, const QString &only)
{
    for (const Side side : run % 2 ? QList{Side::Floor, Side::Design, Side::Ours}
                                   : QList{Side::Ours, Side::Floor, Side::Design}) {
        for (const Action &action : m_actions) {
            const std::function<void()> &measured = side == Side::Ours ? action.ours
                : side == Side::Floor                                  ? action.floor
                                                                       : action.design;
            if (!measured || (!only.isEmpty() && only != sampleKey(action.row.key, side)))
                continue;
            if (action.prepare)
                action.prepare(side);
            m_rec.start(action.row.key, side);
            measured();
            m_rec.stop();
            if (side == Side::Ours && action.check)
                expect(action.check(), action.what);
            QCoreApplication::processEvents();
            m_made.reset();
        }
    }
    m_w.reset();
    m_window.reset();
    m_libraries.deactivate();
}

} // namespace

Section userActions(const Scale &scale, Libraries &libraries, Recorder &recorder)
{
    auto runner = std::make_shared<Runner>(scale, libraries, recorder);
    return {runner->rows(), [runner](int run) { runner->run(run); }};
}

long peakKilobytes(const QString &actionSide, const Scale &scale, Libraries &libraries)
{
    Recorder recorder(false);
    Runner(scale, libraries, recorder, true).run(0, actionSide);
    // VmHWM rather than getrusage: ru_maxrss survives exec, so a child
    // started by a large parent would report the parent's size.
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
