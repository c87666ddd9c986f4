#include "restore.h"

#include "platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// Composes a command with the "%s" conversions of the format into a zero-filled buffer of
// COMMAND_BUFFER_SIZE bytes, or of the command's own length when it would not fit.
__attribute__((format(printf, 1, 2)))
std::string ComposeCommand(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int needed = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0) {
        va_end(args);
        return std::string();
    }
    std::vector<char> buffer(std::max(COMMAND_BUFFER_SIZE, static_cast<size_t>(needed) + 1), '\0');
    vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    return std::string(buffer.data());
}

}  // namespace

std::string SwitchCommand(const AdapterInfo& adapter) {
    return ComposeCommand(
        "netsh interface ip set address \"%s\" static 192.168.0.23 255.255.240.0 192.168.0.3 0",
        adapter.connectionName.c_str());
}

std::string RestoreCommand(const AdapterInfo& adapter) {
    if (adapter.enableDhcp != 0) {
        return ComposeCommand("echo netsh interface ip set address \"%s\" source=dhcp > ./reserver.bat",
                              adapter.connectionName.c_str());
    }
    return ComposeCommand("echo netsh interface ip set address \"%s\" static %s %s %s 0 > ./reserver.bat",
                          adapter.connectionName.c_str(), adapter.ipAddress.c_str(),
                          adapter.subnetMask.c_str(), adapter.defaultGateway.c_str());
}

void PinFixedAddress(const AdapterInfo& adapter) {
    RunCommandLine(SwitchCommand(adapter).c_str());
}

void WriteRestoreScript(const AdapterInfo* adapter) {
    if (!adapter) {
        return;
    }
    RunCommandLine(RestoreCommand(*adapter).c_str());
}
