#include "components/exceptionhandler.h"

namespace Brantova {

ExceptionHandler::ExceptionHandler() = default;
ExceptionHandler::~ExceptionHandler() = default;
void ExceptionHandler::initExceptionHandler() {}

} // namespace Brantova
