// Registry layouts for the hostpin tests, built in the in-memory registry.
#pragma once

#include "discovery.h"
#include "sim_registry.h"

#include <gtest/gtest.h>

#include <string>

const char kClassKey[] =
    "HKLM\\System\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";

inline std::string AdapterKey(const std::string& subkey) {
    return std::string(kClassKey) + "\\" + subkey;
}
inline std::string TcpipKey(const std::string& guid) {
    return "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + guid;
}
inline std::string ConnectionKey(const std::string& guid) {
    return "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\" +
           guid + "\\Connection";
}

// An adapter entry under the class key, with its interface range key.
inline void AddAdapterKey(const std::string& subkey, const std::string& lowerRange,
                          const std::string& driverDesc, const std::string& guid) {
    SimAddKey(AdapterKey(subkey));
    SimSetString(AdapterKey(subkey), "DriverDesc", driverDesc);
    SimSetString(AdapterKey(subkey), "NetCfgInstanceID", guid);
    SimSetString(AdapterKey(subkey) + "\\Ndi\\Interfaces", "LowerRange", lowerRange);
}

// Static addressing as Windows stores it: multi-strings for address, mask and gateway.
inline void AddStaticTcpip(const std::string& guid, const std::string& ip, const std::string& mask,
                           const std::string& gateway) {
    SimSetDword(TcpipKey(guid), "EnableDHCP", 0);
    SimSetMultiString(TcpipKey(guid), "IPAddress", {ip});
    SimSetMultiString(TcpipKey(guid), "SubnetMask", {mask});
    SimSetMultiString(TcpipKey(guid), "DefaultGateway", {gateway});
}

inline void AddDhcpTcpip(const std::string& guid, const std::string& ip, const std::string& mask,
                         const std::string& gateway) {
    SimSetDword(TcpipKey(guid), "EnableDHCP", 1);
    SimSetString(TcpipKey(guid), "DhcpIPAddress", ip);
    SimSetString(TcpipKey(guid), "DhcpSubnetMask", mask);
    SimSetString(TcpipKey(guid), "DhcpDefaultGateway", gateway);
    SimSetMultiString(TcpipKey(guid), "IPAddress", {"0.0.0.0"});
    SimSetMultiString(TcpipKey(guid), "SubnetMask", {"0.0.0.0"});
}

inline void AddConnection(const std::string& guid, const std::string& name) {
    SimSetString(ConnectionKey(guid), "Name", name);
}

// A complete adapter that qualifies: static 10.1.2.3/255.255.255.0, gateway 10.1.2.1.
inline void AddStaticLan(const std::string& subkey, const std::string& guid, const std::string& name) {
    AddAdapterKey(subkey, "ndis5,ethernet", "Example Ethernet Controller", guid);
    AddStaticTcpip(guid, "10.1.2.3", "255.255.255.0", "10.1.2.1");
    AddConnection(guid, name);
}

// A record with every field given, in the order of AdapterInfo.
inline AdapterInfo MakeAdapter(uint32_t enableDhcp, const std::string& connectionName, const std::string& driverDesc,
                               const std::string& ip, const std::string& mask, const std::string& gateway,
                               const std::string& broadcast, const std::string& guid) {
    AdapterInfo a;
    a.enableDhcp = enableDhcp;
    a.connectionName = connectionName;
    a.driverDesc = driverDesc;
    a.ipAddress = ip;
    a.subnetMask = mask;
    a.defaultGateway = gateway;
    a.broadcastAddress = broadcast;
    a.netCfgInstanceId = guid;
    return a;
}

// All fields of a record on one line each, for comparisons that show every difference.
inline std::string Describe(const AdapterInfo& a) {
    return "enableDhcp=" + std::to_string(a.enableDhcp) + "\nconnectionName=" + a.connectionName +
           "\ndriverDesc=" + a.driverDesc + "\nipAddress=" + a.ipAddress + "\nsubnetMask=" + a.subnetMask +
           "\ndefaultGateway=" + a.defaultGateway + "\nbroadcastAddress=" + a.broadcastAddress +
           "\nnetCfgInstanceId=" + a.netCfgInstanceId + "\n";
}

// Starts every test from an empty registry, command record and adapter list, and checks
// afterwards that every key that was opened has been closed again.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimReset();
        adapterList.clear();
    }
    void TearDown() override {
        EXPECT_EQ(SimOpenKeyCount(), 0) << "registry keys left open";
        adapterList.clear();
    }
};
