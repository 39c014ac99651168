// Where the library's log goes.
#include <cstdarg>
#include <cstdio>

#include "opc/OpcUaSession.h"

namespace halvetra::opcua {

namespace {

// The library's log goes to standard error only when HALVETRA_OPC_LOG is set:
// the command-line program's standard output carries its JSON.
void LogToStandardError(void*, UA_LogLevel level, UA_LogCategory, const char* message, va_list arguments) {
    static const bool enabled = qEnvironmentVariableIsSet("HALVETRA_OPC_LOG");
    if (!enabled || level < UA_LOGLEVEL_INFO) return;
    std::fputs("open62541: ", stderr);
    std::vfprintf(stderr, message, arguments);
    std::fputc('\n', stderr);
}

}  // namespace

UA_Logger QuietLogger = {LogToStandardError, nullptr, nullptr};

}  // namespace halvetra::opcua
