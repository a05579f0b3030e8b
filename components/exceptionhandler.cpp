#include "components/exceptionhandler.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(Q_OS_WIN)
#  include <windows.h>
#else
#  include <cerrno>
#  include <csignal>
#  include <cstdlib>
#  include <execinfo.h>
#  include <unistd.h>
#endif

namespace Brantova {
namespace {

// Composed while the program is healthy: after a crash, formatting a QString
// could allocate from the very heap that broke.
char g_banner[256];
std::size_t g_bannerLength = 0;
bool g_installed = false;

void prepareBanner()
{
    QString text = QCoreApplication::applicationName();
    if (text.isEmpty())
        text = QStringLiteral("The program");
    const QString version = QCoreApplication::applicationVersion();
    if (!version.isEmpty())
        text += QLatin1Char(' ') + version;
    const QByteArray bytes = text.toUtf8();
    g_bannerLength = std::min<std::size_t>(std::size_t(bytes.size()), sizeof g_banner);
    std::memcpy(g_banner, bytes.constData(), g_bannerLength);
}

// Formats without allocating; the buffer must hold 2 + 16 characters.
std::size_t formatHex(std::uintptr_t value, char *buffer)
{
    char digits[sizeof value * 2];
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value & 0xf];
        value >>= 4;
    } while (value != 0);
    buffer[0] = '0';
    buffer[1] = 'x';
    for (std::size_t i = 0; i < count; ++i)
        buffer[2 + i] = digits[count - 1 - i];
    return 2 + count;
}

#if defined(Q_OS_WIN)

LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
volatile LONG g_crashing = 0;

void writeAll(HANDLE out, const char *text, std::size_t length)
{
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE)
        WriteFile(out, text, DWORD(length), &written, nullptr);
}

void writeText(HANDLE out, const char *text)
{
    writeAll(out, text, std::strlen(text));
}

void writeHex(HANDLE out, std::uintptr_t value)
{
    char buffer[2 + sizeof value * 2];
    writeAll(out, buffer, formatHex(value, buffer));
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS *info)
{
    if (InterlockedExchange(&g_crashing, 1) == 0) {
        // A GUI program often has no standard error at all; then there is
        // nowhere to report to, and nothing is written anywhere else.
        const HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
        writeText(out, "\n*** ");
        writeAll(out, g_banner, g_bannerLength);
        writeText(out, " crashed: exception ");
        writeHex(out, info->ExceptionRecord->ExceptionCode);
        writeText(out, " at ");
        writeHex(out, std::uintptr_t(info->ExceptionRecord->ExceptionAddress));
        writeText(out, "\nBacktrace:\n");
        void *frames[62];
        const USHORT count = CaptureStackBackTrace(0, 62, frames, nullptr);
        for (USHORT i = 0; i < count; ++i) {
            HMODULE module = nullptr;
            char path[MAX_PATH];
            DWORD pathLength = 0;
            if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                                           | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCSTR>(frames[i]), &module))
                pathLength = GetModuleFileNameA(module, path, MAX_PATH);
            if (pathLength > 0) {
                writeAll(out, path, pathLength);
                writeText(out, "+");
                writeHex(out, std::uintptr_t(frames[i]) - std::uintptr_t(module));
            } else {
                writeHex(out, std::uintptr_t(frames[i]));
            }
            writeText(out, "\n");
        }
        writeText(out, "***\n");
    }
    // Windows' own handling then ends the process with the exception's code.
    return EXCEPTION_CONTINUE_SEARCH;
}

void install()
{
    // Room for the filter to run after a stack overflow.
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    g_previousFilter = SetUnhandledExceptionFilter(onUnhandledException);
}

void uninstall()
{
    SetUnhandledExceptionFilter(g_previousFilter);
}

#else

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int fatalSignalCount = int(sizeof fatalSignals / sizeof fatalSignals[0]);

struct sigaction g_previousActions[fatalSignalCount];
stack_t g_previousStack;
bool g_stackInstalled = false;
// Allocated once and never freed: a handler may run on it until the very end.
void *g_signalStack = nullptr;
std::size_t g_signalStackSize = 0;
volatile sig_atomic_t g_crashing = 0;

void writeAll(const char *text, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, text, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        text += written;
        length -= std::size_t(written);
    }
}

void writeText(const char *text)
{
    writeAll(text, std::strlen(text));
}

const char *describeSignal(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV (invalid memory access)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGFPE: return "SIGFPE (arithmetic error)";
    case SIGABRT: return "SIGABRT (aborted)";
    }
    return "a fatal signal";
}

void onFatalSignal(int signalNumber, siginfo_t *info, void *)
{
    // A second fault while reporting, or in another thread, goes straight
    // to the default action.
    if (!g_crashing) {
        g_crashing = 1;
        writeText("\n*** ");
        writeAll(g_banner, g_bannerLength);
        writeText(" crashed: ");
        writeText(describeSignal(signalNumber));
        // Only a fault the kernel raised has a meaningful address.
        if (info && info->si_code > 0 && signalNumber != SIGABRT) {
            char buffer[2 + sizeof(std::uintptr_t) * 2];
            writeText(" at address ");
            writeAll(buffer, formatHex(std::uintptr_t(info->si_addr), buffer));
        }
        writeText("\nBacktrace:\n");
        void *frames[64];
        backtrace_symbols_fd(frames, backtrace(frames, 64), STDERR_FILENO);
        writeText("***\n");
    }

    struct sigaction defaultAction;
    std::memset(&defaultAction, 0, sizeof defaultAction);
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, signalNumber);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(signalNumber);
    // Not reached: the default action of every signal above ends the process.
    _exit(128 + signalNumber);
}

void install()
{
    // backtrace() loads the unwinder on first use; that must not happen for
    // the first time inside a crashed process.
    void *warmUp[1];
    backtrace(warmUp, 1);

    // Without a stack of its own the handler could not run after a stack
    // overflow, which is exactly when a report helps most.
    if (!g_signalStack) {
        g_signalStackSize = std::max<std::size_t>(SIGSTKSZ, 64 * 1024);
        g_signalStack = std::malloc(g_signalStackSize);
    }
    if (g_signalStack) {
        stack_t stack;
        std::memset(&stack, 0, sizeof stack);
        stack.ss_sp = g_signalStack;
        stack.ss_size = g_signalStackSize;
        g_stackInstalled = sigaltstack(&stack, &g_previousStack) == 0;
    }

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (int i = 0; i < fatalSignalCount; ++i)
        sigaction(fatalSignals[i], &action, &g_previousActions[i]);
}

void uninstall()
{
    for (int i = 0; i < fatalSignalCount; ++i)
        sigaction(fatalSignals[i], &g_previousActions[i], nullptr);
    if (g_stackInstalled) {
        sigaltstack(&g_previousStack, nullptr);
        g_stackInstalled = false;
    }
}

#endif

} // namespace

ExceptionHandler::ExceptionHandler() = default;

ExceptionHandler::~ExceptionHandler()
{
    if (!m_installed)
        return;
    uninstall();
    g_installed = false;
}

void ExceptionHandler::initExceptionHandler()
{
    if (m_installed || g_installed)
        return;
    prepareBanner();
    install();
    m_installed = g_installed = true;
}

} // namespace Brantova
