#include "discovery.h"

#include "platform.h"
#include "restore.h"

#include <cstdio>
#include <cstring>

AdapterList adapterList;

namespace {

const char kAdapterClassKey[] =
    "System\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
const char kInterfaceRangeKey[] = "Ndi\\Interfaces";
const char kTcpipKeyPrefix[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
const char kConnectionKeyPrefix[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
const char kConnectionKeySuffix[] = "\\Connection";

const DWORD kValueBufferSize = 256;
const DWORD kNameBufferSize = 256;

// One value as read from the registry: its data bytes, at most kValueBufferSize of them.
struct RegistryValue {
    BYTE data[kValueBufferSize];
    DWORD size;
};

// Reads a value into a 256-byte buffer. False when the call does not return 0: the value
// is absent, larger than the buffer, or cannot be read.
bool ReadValue(HKEY key, const char* name, RegistryValue& value) {
    memset(value.data, 0, sizeof value.data);
    value.size = kValueBufferSize;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, value.data, &value.size);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    if (value.size > kValueBufferSize) {
        value.size = kValueBufferSize;
    }
    return true;
}

// The value's bytes up to the first NUL, whatever its registry type: of a multi-string
// this is the first string.
std::string ValueText(const RegistryValue& value) {
    const void* nul = memchr(value.data, 0, value.size);
    size_t length = nul ? static_cast<size_t>(static_cast<const BYTE*>(nul) - value.data) : value.size;
    return std::string(reinterpret_cast<const char*>(value.data), length);
}

bool ReadText(HKEY key, const char* name, std::string& text) {
    RegistryValue value;
    if (!ReadValue(key, name, value)) {
        return false;
    }
    text = ValueText(value);
    return true;
}

// Reads the first value that can be read into the text; leaves the text alone if neither can.
void ReadTextWithFallback(HKEY key, const char* first, const char* second, std::string& text) {
    if (ReadText(key, first, text)) {
        return;
    }
    ReadText(key, second, text);
}

HKEY OpenKey(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

std::string BroadcastAddress(const std::string& ipAddress, const std::string& subnetMask) {
    uint32_t address = inet_addr(ipAddress.c_str());
    uint32_t mask = inet_addr(subnetMask.c_str());
    in_addr broadcast;
    broadcast.s_addr = (address & mask) | ~mask;
    return inet_ntoa(broadcast);
}

bool IsAddressCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '.';
}

bool IsSafeAddressText(const std::string& text) {
    for (char c : text) {
        if (!IsAddressCharacter(c)) {
            return false;
        }
    }
    return true;
}

// A double quote would end the quoted name early and a '%' is expanded by the command
// interpreter even inside quotes; control characters can end the command line.
bool IsSafeQuotedText(const std::string& text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '%' || u < 0x20 || u == 0x7f) {
            return false;
        }
    }
    return true;
}

// Switches the selected adapter and writes its restore script, unless a text that would go
// into the command lines could change what the command interpreter runs.
void SwitchSelectedAdapter(const AdapterInfo& adapter) {
    const char* unsafeField = UnsafeCommandField(adapter);
    if (unsafeField) {
        fprintf(stderr,
                "hostpin: adapter left unchanged: %s holds characters that are unsafe on a command line\n",
                unsafeField);
        fflush(stderr);
        return;
    }
    PinFixedAddress(adapter);
    WriteRestoreScript(&adapter);
}

// Reads one enumerated subkey of the class key. Returns true when it was selected.
bool VisitAdapterKey(HKEY classKey, const char* subkeyName) {
    HKEY adapterKey = OpenKey(classKey, subkeyName);
    if (!adapterKey) {
        return false;
    }
    HKEY rangeKey = OpenKey(adapterKey, kInterfaceRangeKey);
    if (!rangeKey) {
        RegCloseKey(adapterKey);
        return false;
    }

    bool selected = false;
    std::string lowerRange;
    std::unique_ptr<AdapterInfo> adapter(new AdapterInfo());
    if (ReadText(rangeKey, "LowerRange", lowerRange) &&
        lowerRange.find("ethernet") != std::string::npos &&
        ReadText(adapterKey, "DriverDesc", adapter->driverDesc) &&
        ReadText(adapterKey, "NetCfgInstanceID", adapter->netCfgInstanceId)) {
        selected = ReadAdapterSettings(*adapter, adapter->netCfgInstanceId.c_str());
        if (selected) {
            SwitchSelectedAdapter(*adapter);
            adapterList.push_back(std::move(adapter));
        }
    }

    RegCloseKey(rangeKey);
    RegCloseKey(adapterKey);
    return selected;
}

}  // namespace

const char* UnsafeCommandField(const AdapterInfo& adapter) {
    if (!IsSafeQuotedText(adapter.connectionName)) {
        return "connectionName";
    }
    if (!IsSafeAddressText(adapter.ipAddress)) {
        return "ipAddress";
    }
    if (!IsSafeAddressText(adapter.subnetMask)) {
        return "subnetMask";
    }
    if (!IsSafeAddressText(adapter.defaultGateway)) {
        return "defaultGateway";
    }
    return nullptr;
}

bool ReadAdapterSettings(AdapterInfo& adapter, const char* instanceId) {
    std::string tcpipPath = std::string(kTcpipKeyPrefix) + instanceId;
    HKEY tcpipKey = OpenKey(HKEY_LOCAL_MACHINE, tcpipPath.c_str());
    if (!tcpipKey) {
        return false;
    }
    RegistryValue enableDhcp;
    if (ReadValue(tcpipKey, "EnableDHCP", enableDhcp)) {
        adapter.enableDhcp = enableDhcp.data[0];
    }
    ReadTextWithFallback(tcpipKey, "DhcpIPAddress", "IPAddress", adapter.ipAddress);
    ReadTextWithFallback(tcpipKey, "DhcpSubnetMask", "SubnetMask", adapter.subnetMask);
    ReadTextWithFallback(tcpipKey, "DhcpDefaultGateway", "DefaultGateway", adapter.defaultGateway);
    RegCloseKey(tcpipKey);

    adapter.connectionName = adapter.driverDesc;

    std::string connectionPath = std::string(kConnectionKeyPrefix) + instanceId + kConnectionKeySuffix;
    HKEY connectionKey = OpenKey(HKEY_LOCAL_MACHINE, connectionPath.c_str());
    if (!connectionKey) {
        return false;
    }
    bool qualifies = true;
    RegistryValue showIcon;
    if (ReadValue(connectionKey, "ShowIcon", showIcon) && showIcon.data[0] == 0) {
        qualifies = false;
    } else {
        ReadText(connectionKey, "Name", adapter.connectionName);
    }
    adapter.broadcastAddress = BroadcastAddress(adapter.ipAddress, adapter.subnetMask);
    RegCloseKey(connectionKey);
    return qualifies;
}

int32_t FindEthernetAdapter() {
    HKEY classKey = OpenKey(HKEY_LOCAL_MACHINE, kAdapterClassKey);
    if (!classKey) {
        return 0;
    }
    bool selected = false;
    for (DWORD index = 0; !selected; ++index) {
        char name[kNameBufferSize];
        DWORD nameLength = kNameBufferSize;
        if (RegEnumKeyExA(classKey, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        selected = VisitAdapterKey(classKey, name);
    }
    RegCloseKey(classKey);
    return 1;
}
