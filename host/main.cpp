#include "main.h"

#include "discovery.h"
#include "platform.h"

#include <cstdio>
#include <string>

namespace {

const char kIndent[] = "        ";

// Writes the text and one newline, then flushes. Once the stream has failed, further
// writes are skipped.
void WriteLine(const std::string& text) {
    if (ferror(stdout)) {
        return;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void PrintAdapter(const AdapterInfo& adapter) {
    WriteLine(adapter.connectionName + ":");
    WriteLine("");
    WriteLine(kIndent + std::string(adapter.enableDhcp != 0 ? "Enable" : "Disable") + " DHCP");
    WriteLine(kIndent + adapter.driverDesc);
    WriteLine(kIndent + adapter.ipAddress);
    WriteLine(kIndent + adapter.subnetMask);
    WriteLine(kIndent + adapter.defaultGateway);
    WriteLine(kIndent + adapter.broadcastAddress);
    WriteLine("");
}

}  // namespace

void PrintAdapterReport() {
    for (size_t index = 0; index < adapterList.size(); ++index) {
        PrintAdapter(*adapterList[index]);
    }
}

int HostpinMain(int argc, char** argv) {
    if (argc == 2) {
        RunCommandLine(argv[1]);
        return 0;
    }
    FindEthernetAdapter();
    PrintAdapterReport();
    return 0;
}
