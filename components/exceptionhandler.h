#pragma once

namespace Brantova {

// Reports fatal crashes; lives for the whole run of the event loop.
class ExceptionHandler
{
public:
    ExceptionHandler();
    ~ExceptionHandler();

    void initExceptionHandler();
};

} // namespace Brantova
