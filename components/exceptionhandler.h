#pragma once

namespace Brantova {

// Reports fatal crashes on standard error: program, version, what went wrong
// and a backtrace. The process then dies as it would have without it, so exit
// status and core dumps are unchanged. Writes no files.
//
// The handlers are process-wide: while one object has them installed, a
// second object's initExceptionHandler() does nothing.
class ExceptionHandler
{
public:
    ExceptionHandler();
    // Puts back the handlers (and signal stack) that were there before.
    ~ExceptionHandler();

    ExceptionHandler(const ExceptionHandler &) = delete;
    ExceptionHandler &operator=(const ExceptionHandler &) = delete;

    void initExceptionHandler();

private:
    bool m_installed = false;
};

} // namespace Brantova
