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

#include <array>
#include <memory>
#include <optional>

using namespace SynthLibrary;

namespace {

const QString defaultEntry = QStringLiteral("Default");

// The widgets an action touches, found by object name, so the same code
// drives the program's window and a bare window built from the same form.
struct Parts
{
    explicit Parts(QWidget *window)
        : language(find<QComboBox>(window, "comboBoxLanguage"))
        , category(find<QComboBox>(window, "comboBoxCategory"))
        , snippet(find<QComboBox>(window, "comboBoxSnippet"))
        , synopsis(find<QLineEdit>(window, "lineEditSynopsis"))
        , body(find<QTextEdit>(window, "textEditSnippet"))
        , add(find<QPushButton>(window, "pushButtonAddSnippet"))
        , remove(find<QPushButton>(window, "pushButtonRemoveSnippet"))
    {
    }
    template <typename T>
    static T *find(QWidget *window, const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    QComboBox *language, *category, *snippet;
    QLineEdit *synopsis;
    QTextEdit *body;
    QPushButton *add, *remove;
};

std::unique_ptr<QMainWindow> bareWindow()
{
    auto window = std::make_unique<QMainWindow>();
    MainWindowForm().setupForm(window.get());
    return window;
}

void remember(const QString &language, const QString &category, const QString &snippet)
{
    QSettings settings;
    settings.setValue(SettingsKeys::language, language);
    settings.setValue(SettingsKeys::category, category);
    settings.setValue(SettingsKeys::snippet, snippet);
}

// The settings write that the window makes for every snippet it loads.
void rememberCurrent(const Parts &p, int writes)
{
    for (int i = 0; i < writes; ++i)
        remember(p.language->currentText(), p.category->currentText(), p.snippet->currentText());
}

QString join(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

QString sptFile(const QString &folder, const QString &name)
{
    return join(folder, name) + LibraryPaths::snippetSuffix;
}

// The floors read each directory or file once with plain Qt calls, and do
// the widget work no implementation can skip: fill a box with the same
// names, show the same text.
QStringList floorFolders(const QString &path)
{
    QStringList names = QDir(path).entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(defaultEntry);
    names.prepend(defaultEntry);
    return names;
}

QStringList floorSnippets(const QString &path)
{
    QStringList names = QDir(path).entryList({QLatin1Char('*') + LibraryPaths::snippetSuffix},
                                             QDir::Files, QDir::Name);
    for (QString &name : names)
        name.chop(LibraryPaths::snippetSuffix.size());
    return names;
}

void floorFill(QComboBox *box, const QStringList &names, const QString &current)
{
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

// What a start-up with this selection shows, read the floor's way.
void floorStartUp(const Parts &p, const QString &root, const QString &language,
                  const QString &category, const QString &snippet)
{
    const QString folder = join(join(root, language), category);
    floorFill(p.language, floorFolders(root), language);
    floorFill(p.category, floorFolders(join(root, language)), category);
    floorFill(p.snippet, floorSnippets(folder), snippet);
    floorShow(p, sptFile(folder, snippet));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void emptyTrash()
{
    QDir(join(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
              QStringLiteral("Trash")))
        .removeRecursively();
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

// Each action's sides are ordinary functions side by side: ours drives the
// program's window (or its library calls), the floor does the same job the
// plainest way on a bare window, and the design floor adds to the floor what
// the window's own described behaviour makes any implementation do.
class Runner
{
public:
    Runner(const Scale &scale, Libraries &libraries, Recorder &recorder);
    ~Runner() { TestSupport::endTest(); }

    QList<Row> rows() const;
    // Every side of every action once, the sides in turn, first ours or
    // first the floors as `run` alternates; `only` ("key/side") runs one.
    void run(int run, const QString &only = QString());

private:
    struct Action
    {
        Row row;
        std::function<void(Side)> prepare; // untimed, before each side
        std::array<std::function<void()>, 3> sides; // ours, floor, design; empty: none
        std::function<bool()> check; // after ours, if any
        const char *what;
    };
    // Untimed: the window (ours) or the floor window shows this selection.
    void bring(Side side, const QString &language, const QString &category,
               const QString &snippet);
    void addSwitch(const Row &row, const QStringList &from, QComboBox *Parts::*box,
                   const QString &to, const std::function<void(const Parts &)> &floor,
                   const std::function<bool()> &check, const char *what);
    void addFileActions(qsizetype size);
    const Parts &texts(); // the load and save fields: a bare window of their own

    Libraries &m_libraries;
    Recorder &m_rec;
    QList<Action> m_actions;
    std::unique_ptr<QWidget> m_made; // a start-up's window, gone after its side
    std::unique_ptr<MainWindow> m_window; // on the large library, shown
    std::optional<Parts> m_w;
    std::unique_ptr<QMainWindow> m_floorWindow;
    std::optional<Parts> m_f;
    std::unique_ptr<QMainWindow> m_textsWindow;
    std::optional<Parts> m_t;
    QByteArray m_original; // the text file a save writes back
    bool m_saved = false;
    int m_settingsWrites = 0;
};

Runner::Runner(const Scale &scale, Libraries &libraries, Recorder &recorder)
    : m_libraries(libraries), m_rec(recorder)
{
    TestSupport::beginTest();
    const QString root = libraries.root();
    const QString language = languageName(0);
    const QString category = categoryName(0);
    const QString large = join(join(root, language), category);

    // The floor is the same form listing nothing, as with an empty library;
    // the design lists all three levels and loads the first snippet, then
    // the remembered one, each load writing the settings.
    for (const bool isLarge : {false, true}) {
        const QString name = isLarge ? QStringLiteral("large") : QStringLiteral("small");
        const int snippets = (isLarge ? scale.large : scale.small).snippets;
        const QString current = snippetName(snippets / 2);
        const double target = isLarge ? 2.0 : 1.5;
        m_actions.append(
            {{QStringLiteral("startup-") + name, QStringLiteral("start-up, %1 library").arg(name),
              target},
             [=](Side) {
                 m_window.reset();
                 m_w.reset();
                 m_libraries.activate(name);
                 remember(language, category, current);
             },
             {[this] { m_made = std::make_unique<MainWindow>(); },
              [this] { m_made = bareWindow(); },
              [=] {
                  m_made = bareWindow();
                  const Parts f(m_made.get());
                  floorStartUp(f, root, language, category, current);
                  rememberCurrent(f, 2);
              }},
             [=] {
                 const Parts w(m_made.get());
                 return w.snippet->count() == snippets && w.snippet->currentText() == current;
             },
             "start-up lists the remembered category and selects the remembered snippet"});
    }

    // The switches, add and remove: a shown window on the large library.
    const QString middle = snippetName(scale.large.snippets / 2);
    const QString otherLanguage = languageName(1);
    addSwitch({QStringLiteral("switch-language"), QStringLiteral("switch language"), 2.0},
              {language, category, middle}, &Parts::language, otherLanguage,
              [=](const Parts &f) {
                  const QString other = join(join(root, otherLanguage), category);
                  floorFill(f.category, floorFolders(join(root, otherLanguage)), category);
                  floorFill(f.snippet, floorSnippets(other), QString());
                  floorShow(f, sptFile(other, f.snippet->currentText()));
              },
              [=] {
                  return m_w->category->currentText() == category
                      && m_w->snippet->count() == scale.large.otherSnippets
                      && m_w->synopsis->text() == synopsisFor(otherLanguage, category,
                                                              snippetName(0));
              },
              "switching language lists the remembered category and loads its first snippet");

    const QString next = snippetName(scale.large.snippets / 2 + 1);
    addSwitch({QStringLiteral("switch-snippet"), QStringLiteral("switch snippet"), 2.0},
              {language, category, middle}, &Parts::snippet, next,
              [=](const Parts &f) { floorShow(f, sptFile(large, next)); },
              [=] { return m_w->synopsis->text() == synopsisFor(language, category, next); },
              "switching snippet loads the chosen file");

    const QString snippets = QLocale::c().toString(scale.large.snippets);
    addSwitch({QStringLiteral("switch-category"),
               QStringLiteral("switch category (to %1 snippets)").arg(snippets), 2.0},
              {language, categoryName(1), snippetName(0)}, &Parts::category, category,
              [=](const Parts &f) {
                  floorFill(f.snippet, floorSnippets(large), QString());
                  floorShow(f, sptFile(large, f.snippet->currentText()));
              },
              [=] {
                  return m_w->snippet->count() == scale.large.snippets
                      && m_w->synopsis->text() == synopsisFor(language, category, snippetName(0));
              },
              "switching into the large category lists it and loads its first snippet");

    // Adding and then removing the same name leaves the library as it was.
    // The add writes the new name and loads the first snippet and the new
    // one; the remove loads the first snippet.
    const QString first = snippetName(0);
    const QString added = middle + QLatin1Char('a');
    const QString addedFile = sptFile(large, added);
    const auto addFloor = [=] {
        QFile(addedFile).open(QIODevice::WriteOnly | QIODevice::NewOnly);
        floorFill(m_f->snippet, floorSnippets(large), added);
        floorShow(*m_f, addedFile);
    };
    const auto removeFloor = [=] {
        QFile::moveToTrash(addedFile);
        floorFill(m_f->snippet, floorSnippets(large), QString());
        floorShow(*m_f, sptFile(large, m_f->snippet->currentText()));
    };
    m_actions.append(
        {{QStringLiteral("add-snippet"), QStringLiteral("add snippet (among %1)").arg(snippets),
          2.0},
         [=](Side side) {
             QFile::remove(addedFile);
             emptyTrash();
             bring(side, language, category, first);
         },
         {[=] {
              // The clock starts again when the name is accepted: the dialog
              // is the user's time, not the action's.
              TestSupport::whenModalOpens([=](QWidget *dialog) {
                  auto *input = qobject_cast<QInputDialog *>(dialog);
                  input->setTextValue(added);
                  m_rec.start(QStringLiteral("add-snippet"), Side::Ours);
                  input->accept();
              });
              m_w->add->click();
          },
          addFloor,
          [=] {
              addFloor();
              rememberCurrent(*m_f, 3);
          }},
         [=] {
             return m_w->snippet->currentText() == added
                 && m_w->snippet->count() == scale.large.snippets + 1;
         },
         "adding a snippet lists it and makes it current"});
    m_actions.append(
        {{QStringLiteral("remove-snippet"),
          QStringLiteral("remove snippet (among %1)").arg(snippets), 2.0},
         [=](Side side) { bring(side, language, category, added); },
         {[this] { m_w->remove->click(); }, removeFloor,
          [=] {
              removeFloor();
              rememberCurrent(*m_f, 1);
          }},
         [=] {
             return m_w->snippet->currentText() == first
                 && m_w->snippet->count() == scale.large.snippets && !QFile::exists(addedFile);
         },
         "removing the snippet lists the category without it"});

    for (const qsizetype size : scale.textSizes)
        addFileActions(size);

    // What the settings write of every load costs on its own.
    m_actions.append({{QStringLiteral("settings-write"), QStringLiteral("(settings write, 3 keys)"),
                       0},
                      nullptr,
                      {[this] {
                           const QString n = QString::number(++m_settingsWrites % 2);
                           remember(QStringLiteral("language") + n,
                                    QStringLiteral("category") + n, QStringLiteral("snippet") + n);
                       }},
                      nullptr, nullptr});
}

// The floor makes the same choice in the floor window's box and does the
// rest of the job itself; the design floor adds one settings write.
void Runner::addSwitch(const Row &row, const QStringList &from, QComboBox *Parts::*box,
                       const QString &to, const std::function<void(const Parts &)> &floor,
                       const std::function<bool()> &check, const char *what)
{
    const auto floorSide = [=] {
        QComboBox *choice = (*m_f).*box;
        choice->setCurrentIndex(choice->findText(to));
        floor(*m_f);
    };
    m_actions.append({row, [=](Side side) { bring(side, from.at(0), from.at(1), from.at(2)); },
                      {[=] {
                           QComboBox *choice = (*m_w).*box;
                           choice->setCurrentIndex(choice->findText(to));
                       },
                       floorSide,
                       [=] {
                           floorSide();
                           rememberCurrent(*m_f, 1);
                       }},
                      check, what});
}

// Load and save go through the library calls the window uses, on the fields
// of a bare window, against a plain read and a plain QSaveFile.
void Runner::addFileActions(qsizetype size)
{
    const QString name = sizeName(size);
    const QString folder = m_libraries.textsFolder();
    const QString path = sptFile(folder, name);
    const SnippetText before{QStringLiteral("before"),
                             QString::fromLatin1(snippetText(QStringLiteral("x"), 2048))};
    const auto load = [=] {
        const std::optional<SnippetText> text =
            SnippetFile::read(LibraryPaths::snippetFilePath(folder, name));
        if (text)
            SnippetFields::show(texts().synopsis, texts().body, *text);
    };
    m_actions.append(
        {{QStringLiteral("load-") + name, QStringLiteral("load ") + sizeLabel(size), 0},
         [=](Side) { SnippetFields::show(texts().synopsis, texts().body, before); },
         {load, [=] { floorShow(texts(), path); }, nullptr},
         [=] {
             return texts().synopsis->text()
                 == synopsisFor(QStringLiteral("texts"), QStringLiteral("sizes"), name);
         },
         "loading shows the file"});

    // Every save starts from the fields as a load leaves them.
    m_actions.append(
        {{QStringLiteral("save-") + name, QStringLiteral("save ") + sizeLabel(size), 1.5},
         [=](Side) {
             m_original = fileBytes(path);
             load();
         },
         {[=] {
              QString error;
              m_saved = SnippetFile::write(LibraryPaths::snippetFilePath(folder, name),
                                           SnippetFields::current(texts().synopsis, texts().body),
                                           &error);
          },
          [=] {
              QSaveFile file(path);
              file.open(QIODevice::WriteOnly);
              file.write(m_original);
              file.commit();
          },
          // The design first takes the text out of the editor and encodes it.
          [=] {
              QString body = texts().body->document()->toRawText();
              body.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
              QSaveFile file(path);
              file.open(QIODevice::WriteOnly);
              file.write(texts().synopsis->text().toUtf8() + '\n' + body.toUtf8());
              file.commit();
          }},
         [=] { return m_saved && fileBytes(path) == m_original; },
         "saving unchanged fields writes the same bytes"});
}

QList<Row> Runner::rows() const
{
    QList<Row> rows;
    for (const Action &action : m_actions)
        rows.append(action.row);
    return rows;
}

void Runner::bring(Side side, const QString &language, const QString &category,
                   const QString &snippet)
{
    m_libraries.activate(QStringLiteral("large"));
    remember(language, category, snippet);
    if (side != Side::Ours) {
        if (!m_floorWindow) {
            m_floorWindow = bareWindow();
            m_floorWindow->show();
            m_f.emplace(m_floorWindow.get());
        }
        floorStartUp(*m_f, m_libraries.root(), language, category, snippet);
    } else if (!m_window) {
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        m_w.emplace(m_window.get());
    } else {
        for (const auto &[box, text] : {std::pair{m_w->language, language},
                                        std::pair{m_w->category, category},
                                        std::pair{m_w->snippet, snippet}}) {
            if (box->currentText() != text)
                box->setCurrentIndex(box->findText(text));
        }
    }
    QCoreApplication::processEvents();
}

const Parts &Runner::texts()
{
    if (!m_textsWindow) {
        m_textsWindow = bareWindow();
        m_t.emplace(m_textsWindow.get());
    }
    return *m_t;
}

void Runner::run(int run, const QString &only)
{
    const std::array<Side, 3> order = run % 2 ? std::array{Side::Floor, Side::Design, Side::Ours}
                                              : std::array{Side::Ours, Side::Floor, Side::Design};
    for (const Side side : order) {
        for (const Action &action : m_actions) {
            const std::function<void()> &measured = action.sides.at(size_t(side));
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
    m_window.reset();
    m_w.reset();
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
    Runner(scale, libraries, recorder).run(0, actionSide);
    return peakSoFarKilobytes();
}
