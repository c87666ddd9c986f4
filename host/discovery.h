// Adapter discovery: finds the first Ethernet adapter in the registry that qualifies,
// records its current addressing and hands it to the address switch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One network adapter as hostpin sees it. Texts are 8-bit strings in the ANSI code page,
// as the ANSI registry functions return them.
struct AdapterInfo {
    uint32_t enableDhcp = 0;       // low byte of "EnableDHCP"; stays 0 if it cannot be read
    std::string connectionName;    // "Name" of the connection, else a copy of driverDesc
    std::string driverDesc;        // "DriverDesc"
    std::string ipAddress;         // "DhcpIPAddress", else "IPAddress"
    std::string subnetMask;        // "DhcpSubnetMask", else "SubnetMask"
    std::string defaultGateway;    // "DhcpDefaultGateway", else "DefaultGateway"
    std::string broadcastAddress;  // computed from ipAddress and subnetMask
    std::string netCfgInstanceId;  // "NetCfgInstanceID"
};

// The adapters discovery selected, in the order it selected them (at most one per run).
// The records live until the process exits, when the list's destructor releases them.
typedef std::vector<std::unique_ptr<AdapterInfo>> AdapterList;
extern AdapterList adapterList;

// Walks the adapter class key and selects, switches and lists the first Ethernet adapter
// that qualifies. Returns 0 when the class key cannot be opened, otherwise 1.
int32_t FindEthernetAdapter();

// Fills the addressing fields and connectionName of a new record from the adapter's
// TCP/IP key and connection key. Returns true when the adapter qualifies.
bool ReadAdapterSettings(AdapterInfo& adapter, const char* instanceId);

// Returns the name of the first field of the record that holds characters that are
// unsafe on a command line, or nullptr when all of them are safe.
const char* UnsafeCommandField(const AdapterInfo& adapter);
