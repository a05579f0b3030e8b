#pragma once

// Shared scaffolding for the widget tests: an isolated HOME per test process
// and a way to answer the modal dialogs that the window opens.

#include "app/startup.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLibrary>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace TestSupport {

// QSettings and QStandardPaths read HOME and the XDG variables once, so the
// temporary home has to be in place before QApplication exists.
class IsolatedHome
{
public:
    IsolatedHome()
    {
#ifdef Q_OS_WIN
        // Windows takes Documents from the shell and the settings from the
        // registry, which no variable redirects: only a profile made for the
        // run (scripts/wine-test.sh gives each its own) keeps the user's
        // library and settings out of reach.
        if (qEnvironmentVariable("QUILLORY_TEST_PROFILE") != QLatin1String("isolated")) {
            std::fputs("Refusing to run outside a throwaway Windows profile: the tests empty "
                       "Documents/My Snippets and the settings. Run them through ctest with "
                       "scripts/wine-test.sh, or set QUILLORY_TEST_PROFILE=isolated in a "
                       "profile made for them.\n", stderr);
            std::exit(2);
        }
#endif
        // Every test empties its home: without a folder of its own, the
        // home would be the real one, or "/".
        if (!m_dir.isValid()) {
            std::fprintf(stderr, "No temporary home: %s\n", qPrintable(m_dir.errorString()));
            std::exit(2);
        }
        isolatedHomePath() = QDir::cleanPath(m_dir.path());
        qputenv("HOME", m_dir.path().toLocal8Bit());
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_DOCUMENTS_DIR", "XDG_CONFIG_DIRS"})
            qunsetenv(name);
        // Where a started program listens for `quillory --find`: never the
        // user's own, where a real Quillory may be listening.
        if (m_runtime.isValid())
            qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
    QString path() const { return m_dir.path(); }
    static QString &isolatedHomePath()
    {
        static QString path;
        return path;
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
};

// The cross build's tests run under Wine; a test skips only where Wine falls
// short of Windows, and says so.
inline bool runningUnderWine()
{
#ifdef Q_OS_WIN
    return QLibrary(QStringLiteral("ntdll")).resolve("wine_get_version") != nullptr;
#else
    return false;
#endif
}

inline QString documentsPath()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#else
    return QDir::homePath() + QStringLiteral("/Documents");
#endif
}

// Empties the home for the next case, leaving no Documents folder. On
// Windows the home is the profile, which also holds the temporary folder that
// Qt and the test are using: there only Documents goes.
inline void resetHome()
{
#ifdef Q_OS_WIN
    const QString documents = documentsPath();
    // QDir("") is the working directory, which must never be emptied.
    if (documents.isEmpty())
        qFatal("The profile has no Documents folder");
    QDir(documents).removeRecursively();
    QFile::remove(documents); // a file that a case left where the folder belongs
#else
    const QString home = QDir::homePath();
    if (home.isEmpty() || home != IsolatedHome::isolatedHomePath())
        qFatal("Refusing to empty %s: it is not the test's own temporary home", qPrintable(home));
    QDir(home).removeRecursively();
    QDir().mkpath(home);
#endif
}

inline QString libraryPath()
{
    return documentsPath() + QStringLiteral("/My Snippets");
}

// Paths and files below the library, for setting up and checking a tree.
inline QString lib(const QString &relative)
{
    return libraryPath() + QLatin1Char('/') + relative;
}

// Fails the running test when the file cannot be written whole. A QVERIFY
// here would only return from the helper; the caller stops too with
// QVERIFY(writeFile(...)), and a test that goes on is failed all the same.
inline bool writeFile(const QString &relative, const QByteArray &bytes)
{
    const QString path = lib(relative);
    QFile file(path);
    const bool written = QDir().mkpath(QFileInfo(path).absolutePath())
        && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
    const QByteArray why = (path + QStringLiteral(": ") + file.errorString()).toLocal8Bit();
    file.close();
    return QTest::qVerify(written && file.error() == QFileDevice::NoError, "writeFile",
                          why.constData(), __FILE__, __LINE__);
}

inline QByteArray readFile(const QString &relative)
{
    QFile file(lib(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The selection a previous run would have left in the settings.
inline void remember(const QString &language, const QString &category, const QString &snippet)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Language"), language);
    settings.setValue(QStringLiteral("Category"), category);
    settings.setValue(QStringLiteral("Snippet"), snippet);
}

// Every file and folder below the library, for "nothing changed" checks.
inline QStringList libraryTree()
{
    QStringList entries;
    QDirIterator it(libraryPath(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}

// The entries of a combo box, in order.
inline QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// The pollers below time their steps against this object. A test class
// that answers dialogs calls beginTest() in init() and endTest() in
// cleanup(): a poller still waiting then dies with its test, instead of
// answering the next test's dialog or reaching into a finished test's locals.
inline std::unique_ptr<QObject> &testScope()
{
    static std::unique_ptr<QObject> scope;
    return scope;
}

inline void beginTest()
{
    testScope() = std::make_unique<QObject>();
}

inline void endTest()
{
    testScope().reset();
}

// Runs `answer` on the next modal dialog, once it is open. Call before the
// action that opens the dialog; returns a flag that tells whether it ran.
// With `className`, only a dialog of that class counts: another one (a name
// dialog before the question) is left to its own answer.
inline std::shared_ptr<bool> whenModalOpens(std::function<void(QWidget *)> answer,
                                            const char *className = nullptr)
{
    QObject *scope = testScope().get();
    if (!scope)
        qFatal("whenModalOpens needs TestSupport::beginTest() in the test's init()");
    auto done = std::make_shared<bool>(false);
    auto poll = std::make_shared<std::function<void(int)>>();
    // Only the pending timer owns the poll; a strong self-reference would
    // keep it alive forever (and fail the leak checker).
    const std::weak_ptr<std::function<void(int)>> self = poll;
    *poll = [answer, done, self, scope, className](int triesLeft) {
        QWidget *dialog = QApplication::activeModalWidget();
        if (dialog && (!className || dialog->inherits(className))) {
            answer(dialog);
            *done = true;
            return;
        }
        const auto next = self.lock();
        if (next && triesLeft > 0)
            QTimer::singleShot(10, scope, [next, triesLeft] { (*next)(triesLeft - 1); });
    };
    QTimer::singleShot(0, scope, [poll] { (*poll)(500); });
    return done;
}

inline std::shared_ptr<bool> typeIntoNextInputDialog(const QString &text)
{
    return whenModalOpens([text](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        QVERIFY(dialog);
        dialog->setTextValue(text);
        dialog->accept();
    });
}

inline std::shared_ptr<bool> cancelNextDialog()
{
    return whenModalOpens([](QWidget *w) {
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->reject();
    });
}

// The main window as the window's tests drive it: by its objects' names.
class WindowDriver
{
protected:
    void open() { m_window.reset(new MainWindow); }
    QComboBox *box(const char *name) const
    {
        return m_window->findChild<QComboBox *>(QLatin1String(name));
    }
    void click(const char *name) const
    {
        auto *button = m_window->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY2(button, name);
        button->click();
    }

    std::unique_ptr<MainWindow> m_window;
};

} // namespace TestSupport

// Instead of QTEST_MAIN: the program's own process set-up, in a throwaway home.
#define QUILLORY_TEST_MAIN(TestObject)                  \
    int main(int argc, char *argv[])                    \
    {                                                   \
        TestSupport::IsolatedHome home;                 \
        prepareProcess();                               \
        QApplication app(argc, argv);                   \
        TestObject tc;                                  \
        QTEST_SET_MAIN_SOURCE_PATH                      \
        return QTest::qExec(&tc, argc, argv);           \
    }
