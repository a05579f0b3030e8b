#include "components/exceptionhandler.h"

#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <cstdlib>

#ifdef Q_OS_WIN
#  include <windows.h>
#else
#  include <sys/prctl.h>
#  include <sys/resource.h>
#endif

namespace {

const char childSwitch[] = "--crash-child";

// Deep enough frames that the recursion reaches the stack limit quickly; the
// use of the result after the call keeps it from becoming a loop.
__attribute__((noinline)) int recurse(volatile char *previous, int depth)
{
    volatile char frame[1024];
    frame[0] = previous ? char(previous[0] + 1) : 0;
    if (depth == INT_MAX)
        return frame[0];
    return recurse(frame, depth + 1) + frame[1];
}

void crash(const QByteArray &how)
{
    if (how == "null-write") {
        volatile int *volatile target = nullptr;
        *target = 1;
    } else if (how == "abort") {
        std::abort();
    } else if (how == "illegal-instruction") {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_trap();
#else
        std::raise(SIGILL);
#endif
    } else if (how == "division-by-zero") {
#if defined(__x86_64__) || defined(__i386__)
        // Both volatile: 1 / x alone is folded into comparisons, without a division.
        volatile int numerator = 1;
        volatile int zero = 0;
        volatile int quotient = numerator / zero;
        (void)quotient;
#else
        std::raise(SIGFPE);
#endif
    } else if (how == "bus-error") {
#ifdef SIGBUS
        std::raise(SIGBUS);
#endif
    } else if (how == "stack-overflow") {
#ifndef Q_OS_WIN
        // Bounded, in case the machine allows an unlimited stack.
        rlimit limit;
        getrlimit(RLIMIT_STACK, &limit);
        if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 8 * 1024 * 1024) {
            limit.rlim_cur = 8 * 1024 * 1024;
            setrlimit(RLIMIT_STACK, &limit);
        }
#endif
        recurse(nullptr, 0);
    }
}

// The child: the same set-up as the program's entry function, then the crash.
int runChild(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // No error report dialog and no debugger (Wine starts winedbg): the
    // process is to end with the exception's code, as it does unattended.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#else
    // No core file: the test checks that nothing at all is written to disk.
    prctl(PR_SET_DUMPABLE, 0);
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#endif

    QCoreApplication application(argc, argv);
    setApplicationIdentity();
    const QByteArray how = argv[2];
    if (how.startsWith("after-destruction:")) {
        {
            Brantova::ExceptionHandler handler;
            handler.initExceptionHandler();
        }
        crash(how.mid(int(qstrlen("after-destruction:"))));
    } else {
        Brantova::ExceptionHandler handler;
        handler.initExceptionHandler();
        crash(how);
    }
    return 0;
}

#ifdef Q_OS_WIN
LONG WINAPI customFilter(EXCEPTION_POINTERS *)
{
    return EXCEPTION_CONTINUE_SEARCH;
}
#else
void customHandler(int) {}
#endif

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crashIsReportedAndKeepsItsSignal_data();
    void crashIsReportedAndKeepsItsSignal();
    void destructionRestoresPreviousHandlers_data();
    void destructionRestoresPreviousHandlers();
    void destructionRestoresPreviousSignalStack();
};

void TestCrashHandler::crashIsReportedAndKeepsItsSignal_data()
{
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QByteArray>("signalName");
    QTest::addColumn<bool>("reported");

#ifdef Q_OS_WIN
    // Windows ends the process with the exception's code; the report names it.
    const auto row = [](const char *name, const char *how, quint32 code, bool reported) {
        QTest::newRow(name) << QByteArray(how) << int(code)
                            << "exception 0x" + QByteArray::number(code, 16) << reported;
    };
    row("null pointer write", "null-write", EXCEPTION_ACCESS_VIOLATION, true);
    row("illegal instruction", "illegal-instruction", EXCEPTION_ILLEGAL_INSTRUCTION, true);
    row("division by zero", "division-by-zero", EXCEPTION_INT_DIVIDE_BY_ZERO, true);
    // Needs the stack guarantee: the thread's own stack is used up.
    row("stack overflow", "stack-overflow", EXCEPTION_STACK_OVERFLOW, true);
    row("after destruction nothing is reported", "after-destruction:null-write",
        EXCEPTION_ACCESS_VIOLATION, false);
#else
    QTest::newRow("null pointer write") << QByteArray("null-write") << SIGSEGV
                                        << QByteArray("SIGSEGV") << true;
    QTest::newRow("abort") << QByteArray("abort") << SIGABRT << QByteArray("SIGABRT") << true;
    QTest::newRow("illegal instruction") << QByteArray("illegal-instruction") << SIGILL
                                         << QByteArray("SIGILL") << true;
    QTest::newRow("division by zero") << QByteArray("division-by-zero") << SIGFPE
                                      << QByteArray("SIGFPE") << true;
    QTest::newRow("bus error") << QByteArray("bus-error") << SIGBUS << QByteArray("SIGBUS")
                               << true;
    // Needs the alternate signal stack: the thread's own stack is used up.
    QTest::newRow("stack overflow") << QByteArray("stack-overflow") << SIGSEGV
                                    << QByteArray("SIGSEGV") << true;
    QTest::newRow("after destruction nothing is reported")
            << QByteArray("after-destruction:null-write") << SIGSEGV << QByteArray("SIGSEGV")
            << false;
#endif
}

void TestCrashHandler::crashIsReportedAndKeepsItsSignal()
{
    QFETCH(QByteArray, how);
    QFETCH(int, signalNumber);
    QFETCH(QByteArray, signalName);
    QFETCH(bool, reported);
#ifdef Q_OS_WIN
    if (how == "stack-overflow" && TestSupport::runningUnderWine())
        QSKIP("Wine ignores SetThreadStackGuarantee and kills the process when the exception "
              "dispatch itself runs out of stack");
#endif

    QTemporaryDir workDir;
    QVERIFY(workDir.isValid());
    QProcess child;
    child.setWorkingDirectory(workDir.path());
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(childSwitch), QString::fromLatin1(how)});
    QVERIFY(child.waitForFinished(30000));
    const QByteArray report = child.readAllStandardError();

    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(child.exitCode(), signalNumber);
    const QByteArray headline = "Quillory " + QCoreApplication::applicationVersion().toUtf8()
            + " crashed: " + signalName;
    QVERIFY2(report.contains(headline) == reported, report.constData());
    if (reported) {
        const QByteArray backtrace = report.mid(report.indexOf("Backtrace:\n"));
#ifdef Q_OS_WIN
        // Module and offset, as in "C:\\...\\tst_crashhandler.exe+0x1a2b".
        QVERIFY2(backtrace.contains(".exe+0x"), report.constData());
#else
        QVERIFY2(backtrace.contains("[0x"), report.constData());
#endif
    }
    QVERIFY(QDir(workDir.path()).isEmpty());
}

#ifdef Q_OS_WIN
void TestCrashHandler::destructionRestoresPreviousHandlers_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("unhandled exception filter") << 0;
}

void TestCrashHandler::destructionRestoresPreviousHandlers()
{
    const LPTOP_LEVEL_EXCEPTION_FILTER original = SetUnhandledExceptionFilter(customFilter);
    LPTOP_LEVEL_EXCEPTION_FILTER during = nullptr;
    {
        Brantova::ExceptionHandler handler;
        handler.initExceptionHandler();
        // The filter can only be read by setting another one.
        during = SetUnhandledExceptionFilter(nullptr);
        SetUnhandledExceptionFilter(during);
    }
    const LPTOP_LEVEL_EXCEPTION_FILTER after = SetUnhandledExceptionFilter(original);
    QVERIFY(during != customFilter && during != nullptr);
    QVERIFY(after == customFilter);
}

void TestCrashHandler::destructionRestoresPreviousSignalStack()
{
    QSKIP("Windows has no signal stack; the stack guarantee is per thread and stays");
}

#else
void TestCrashHandler::destructionRestoresPreviousHandlers_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGSEGV") << SIGSEGV;
    QTest::newRow("SIGBUS") << SIGBUS;
    QTest::newRow("SIGILL") << SIGILL;
    QTest::newRow("SIGFPE") << SIGFPE;
    QTest::newRow("SIGABRT") << SIGABRT;
}

void TestCrashHandler::destructionRestoresPreviousHandlers()
{
    QFETCH(int, signalNumber);

    struct sigaction custom = {};
    custom.sa_handler = customHandler;
    sigemptyset(&custom.sa_mask);
    struct sigaction original = {};
    QCOMPARE(sigaction(signalNumber, &custom, &original), 0);

    struct sigaction current = {};
    {
        Brantova::ExceptionHandler handler;
        handler.initExceptionHandler();
        sigaction(signalNumber, nullptr, &current);
        QVERIFY(current.sa_handler != customHandler);
        QVERIFY(current.sa_flags & SA_ONSTACK);
    }
    sigaction(signalNumber, nullptr, &current);
    const bool restored = current.sa_handler == customHandler;
    sigaction(signalNumber, &original, nullptr);
    QVERIFY(restored);
}

void TestCrashHandler::destructionRestoresPreviousSignalStack()
{
    stack_t before = {};
    QCOMPARE(sigaltstack(nullptr, &before), 0);
    {
        Brantova::ExceptionHandler handler;
        handler.initExceptionHandler();
        stack_t during = {};
        sigaltstack(nullptr, &during);
        QVERIFY(!(during.ss_flags & SS_DISABLE));
        QVERIFY(during.ss_size >= 16 * 1024);
    }
    stack_t after = {};
    sigaltstack(nullptr, &after);
    QCOMPARE(after.ss_flags, before.ss_flags);
    QCOMPARE(after.ss_sp, before.ss_sp);
}

#endif

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], childSwitch) == 0)
        return runChild(argc, argv);

    TestSupport::IsolatedHome home;
    QApplication app(argc, argv);
    setApplicationIdentity();
    TestCrashHandler tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_crashhandler.moc"
