// Discovery over the in-memory registry: which adapter is selected and what is read from it.
#include "fixtures.h"

#include <algorithm>

namespace {

const char kGuidA[] = "{11111111-AAAA-4000-8000-000000000001}";
const char kGuidB[] = "{22222222-BBBB-4000-8000-000000000002}";

struct DiscoveryCase {
    const char* name;
    void (*setup)();
    bool selected;         // an adapter is listed, switched and given a restore script
    AdapterInfo expected;  // the listed record, when selected
};

const char kDesc[] = "Example Ethernet Controller";
const AdapterInfo kLanA = MakeAdapter(0, "LAN 2", kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255", kGuidA);
const AdapterInfo kLanB = MakeAdapter(0, "LAN B", kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255", kGuidB);
const AdapterInfo kNone;

const DiscoveryCase kCases[] = {
    {"static adapter", [] { AddStaticLan("0000", kGuidA, "LAN 2"); }, true, kLanA},
    {"dhcp adapter",
     [] {
         AddAdapterKey("0000", "ethernet", kDesc, kGuidA);
         AddDhcpTcpip(kGuidA, "10.0.0.5", "255.0.0.0", "10.0.0.1");
         AddConnection(kGuidA, "LAN 2");
     },
     true, MakeAdapter(1, "LAN 2", kDesc, "10.0.0.5", "255.0.0.0", "10.0.0.1", "10.255.255.255", kGuidA)},
    {"dhcp value wins over the static one whatever EnableDHCP says",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetString(TcpipKey(kGuidA), "DhcpIPAddress", "10.0.0.5");
         SimSetMultiString(TcpipKey(kGuidA), "IPAddress", {"192.168.1.10"});
     },
     true, MakeAdapter(0, "LAN 2", kDesc, "10.0.0.5", "255.255.255.0", "10.1.2.1", "10.0.0.255", kGuidA)},
    {"multi-string takes the first address",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetMultiString(TcpipKey(kGuidA), "IPAddress", {"10.1.2.3", "10.9.9.9"});
     },
     true, kLanA},
    {"dhcp value over 256 bytes counts as absent",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetString(TcpipKey(kGuidA), "DhcpIPAddress", std::string(256, '1'));  // 257 bytes with NUL
     },
     true, kLanA},
    {"dhcp value that cannot be read falls back to the static one",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetString(TcpipKey(kGuidA), "DhcpSubnetMask", "255.0.0.0");
         SimRefuseValue(TcpipKey(kGuidA), "DhcpSubnetMask", ERROR_ACCESS_DENIED);
     },
     true, kLanA},
    {"both values unreadable leave the text empty",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimRefuseValue(TcpipKey(kGuidA), "DefaultGateway", ERROR_ACCESS_DENIED);
     },
     true, MakeAdapter(0, "LAN 2", kDesc, "10.1.2.3", "255.255.255.0", "", "10.1.2.255", kGuidA)},
    {"text of 255 characters fits the buffer",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetString(AdapterKey("0000"), "DriverDesc", std::string(255, 'd'));
         SimSetString(ConnectionKey(kGuidA), "Name", std::string(255, 'n'));
     },
     true,
     MakeAdapter(0, std::string(255, 'n').c_str(), std::string(255, 'd').c_str(), "10.1.2.3", "255.255.255.0",
            "10.1.2.1", "10.1.2.255", kGuidA)},
    {"256 bytes without a NUL are taken whole",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetValue(ConnectionKey(kGuidA), "Name", SIM_REG_BINARY, std::vector<BYTE>(256, 'n'));
     },
     true,
     MakeAdapter(0, std::string(256, 'n').c_str(), kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255",
            kGuidA)},
    {"EnableDHCP 256 reads as 0",
     [] {
         AddDhcpTcpip(kGuidA, "10.0.0.5", "255.0.0.0", "10.0.0.1");
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetDword(TcpipKey(kGuidA), "EnableDHCP", 256);
     },
     true, MakeAdapter(0, "LAN 2", kDesc, "10.0.0.5", "255.0.0.0", "10.0.0.1", "10.255.255.255", kGuidA)},
    {"EnableDHCP keeps its low byte",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetDword(TcpipKey(kGuidA), "EnableDHCP", 0x1202);
     },
     true, MakeAdapter(2, "LAN 2", kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255", kGuidA)},
    {"EnableDHCP absent counts as static",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimRefuseValue(TcpipKey(kGuidA), "EnableDHCP", ERROR_FILE_NOT_FOUND);
     },
     true, kLanA},
    {"no Name keeps the DriverDesc copy",
     [] {
         AddAdapterKey("0000", "ethernet", kDesc, kGuidA);
         AddStaticTcpip(kGuidA, "10.1.2.3", "255.255.255.0", "10.1.2.1");
         SimSetDword(ConnectionKey(kGuidA), "ShowIcon", 1);
     },
     true, MakeAdapter(0, kDesc, kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255", kGuidA)},
    {"ShowIcon 1 qualifies", [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetDword(ConnectionKey(kGuidA), "ShowIcon", 1);
     },
     true, kLanA},
    {"ShowIcon 0 is passed over for the next adapter",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         SimSetDword(ConnectionKey(kGuidB), "ShowIcon", 0);
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"ShowIcon judged by its first byte",
     [] {
         AddStaticLan("0000", kGuidA, "LAN 2");
         SimSetDword(ConnectionKey(kGuidA), "ShowIcon", 0x100);
     },
     false, kNone},
    {"no TCP/IP key is passed over",
     [] {
         AddAdapterKey("0000", "ethernet", kDesc, kGuidB);
         AddConnection(kGuidB, "LAN B");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"no connection key is passed over",
     [] {
         AddAdapterKey("0000", "ethernet", kDesc, kGuidB);
         AddStaticTcpip(kGuidB, "10.9.9.9", "255.0.0.0", "");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"no interface range key is passed over",
     [] {
         SimAddKey(AdapterKey("0000"));
         SimSetString(AdapterKey("0000"), "DriverDesc", "No range");
         SimSetString(AdapterKey("0000"), "NetCfgInstanceID", kGuidB);
         AddStaticTcpip(kGuidB, "10.9.9.9", "255.0.0.0", "");
         AddConnection(kGuidB, "LAN B");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"adapter key that cannot be opened is passed over",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         SimRefuseOpen(AdapterKey("0000"), ERROR_ACCESS_DENIED);
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"TCP/IP key that cannot be opened is passed over",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         SimRefuseOpen(TcpipKey(kGuidB), ERROR_ACCESS_DENIED);
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"LowerRange Ethernet with a capital E does not match",
     [] { AddStaticLan("0000", kGuidA, "LAN 2"); SimSetString(AdapterKey("0000") + "\\Ndi\\Interfaces", "LowerRange", "Ethernet"); },
     false, kNone},
    {"LowerRange ethernet,wlan matches",
     [] { AddStaticLan("0000", kGuidA, "LAN 2"); SimSetString(AdapterKey("0000") + "\\Ndi\\Interfaces", "LowerRange", "ethernet,wlan"); },
     true, kLanA},
    {"LowerRange without ethernet is passed over",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         SimSetString(AdapterKey("0000") + "\\Ndi\\Interfaces", "LowerRange", "wlan");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanA},
    {"unreadable LowerRange is passed over",
     [] { AddStaticLan("0000", kGuidA, "LAN 2"); SimRefuseValue(AdapterKey("0000") + "\\Ndi\\Interfaces", "LowerRange", ERROR_ACCESS_DENIED); },
     false, kNone},
    {"no DriverDesc is passed over",
     [] { AddStaticLan("0000", kGuidA, "LAN 2"); SimRefuseValue(AdapterKey("0000"), "DriverDesc", ERROR_FILE_NOT_FOUND); },
     false, kNone},
    {"no NetCfgInstanceID is passed over",
     [] { AddStaticLan("0000", kGuidA, "LAN 2"); SimRefuseValue(AdapterKey("0000"), "NetCfgInstanceID", ERROR_FILE_NOT_FOUND); },
     false, kNone},
    {"first of two qualifying adapters only",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     true, kLanB},
    {"no ethernet adapter at all", [] { SimAddKey(kClassKey); }, false, kNone},
    {"subkey name of 255 characters is visited",
     [] { AddStaticLan(std::string(255, 'k'), kGuidA, "LAN 2"); }, true, kLanA},
    {"subkey name over 255 characters ends the walk",
     [] {
         AddStaticLan(std::string(256, 'k'), kGuidB, "LAN B");
         AddStaticLan("0001", kGuidA, "LAN 2");
     },
     false, kNone},
    {"enumeration failure ends the walk",
     [] {
         AddStaticLan("0000", kGuidB, "LAN B");
         SimSetString(AdapterKey("0000") + "\\Ndi\\Interfaces", "LowerRange", "wlan");
         AddStaticLan("0001", kGuidA, "LAN 2");
         SimFailEnumeration(kClassKey, 1, ERROR_ACCESS_DENIED);
     },
     false, kNone},
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscoveryTable : public HostTest, public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(DiscoveryTable, SelectsAndReads) {
    const DiscoveryCase& c = GetParam();
    c.setup();

    EXPECT_EQ(FindEthernetAdapter(), 1);

    if (!c.selected) {
        EXPECT_TRUE(adapterList.empty());
        EXPECT_TRUE(SimCommands().empty());
        return;
    }
    ASSERT_EQ(adapterList.size(), 1u);
    EXPECT_EQ(Describe(*adapterList[0]), Describe(c.expected));
    // The switch and then the restore script, for the selected adapter's connection.
    ASSERT_EQ(SimCommands().size(), 2u);
    EXPECT_EQ(SimCommands()[0].rfind("netsh interface ip set address \"" + c.expected.connectionName + "\" static", 0), 0u);
    EXPECT_EQ(SimCommands()[1].rfind("echo netsh interface ip set address \"" + c.expected.connectionName + "\"", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Registry, DiscoveryTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DiscoveryCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

using Discovery = HostTest;

TEST_F(Discovery, ClassKeyMissingOrRefusedReturnsZero) {
    EXPECT_EQ(FindEthernetAdapter(), 0);
    SimAddKey(kClassKey);
    SimRefuseOpen(kClassKey, ERROR_ACCESS_DENIED);
    EXPECT_EQ(FindEthernetAdapter(), 0);
    EXPECT_TRUE(adapterList.empty());
    EXPECT_TRUE(SimCommands().empty());
}

TEST_F(Discovery, LaterAdaptersAreNeverOpened) {
    AddStaticLan("0000", kGuidA, "LAN 2");
    AddStaticLan("0001", kGuidB, "LAN B");
    FindEthernetAdapter();
    for (const std::string& path : SimOpenedKeys()) {
        EXPECT_EQ(path.find(AdapterKey("0001")), std::string::npos) << path;
        EXPECT_EQ(path.find(kGuidB), std::string::npos) << path;
    }
}

TEST_F(Discovery, ShowIconZeroStillReadsTheTcpipSettings) {
    AddStaticLan("0000", kGuidA, "LAN 2");
    SimSetDword(ConnectionKey(kGuidA), "ShowIcon", 0);
    AdapterInfo adapter;
    adapter.driverDesc = kDesc;
    EXPECT_FALSE(ReadAdapterSettings(adapter, kGuidA));
    // Name is not read, but the broadcast address is computed all the same.
    EXPECT_EQ(Describe(adapter),
              Describe(MakeAdapter(0, kDesc, kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "10.1.2.255", "")));
}

TEST_F(Discovery, NoConnectionKeyLeavesBroadcastEmpty) {
    AddStaticTcpip(kGuidA, "10.1.2.3", "255.255.255.0", "10.1.2.1");
    AdapterInfo adapter;
    adapter.driverDesc = kDesc;
    EXPECT_FALSE(ReadAdapterSettings(adapter, kGuidA));
    EXPECT_EQ(Describe(adapter),
              Describe(MakeAdapter(0, kDesc, kDesc, "10.1.2.3", "255.255.255.0", "10.1.2.1", "", "")));
}

struct BroadcastCase {
    const char* ip;
    const char* mask;
    const char* broadcast;
};

class Broadcast : public HostTest, public ::testing::WithParamInterface<BroadcastCase> {};

TEST_P(Broadcast, FromAddressAndMask) {
    const BroadcastCase& c = GetParam();
    SimSetString(TcpipKey(kGuidA), "IPAddress", c.ip);
    SimSetString(TcpipKey(kGuidA), "SubnetMask", c.mask);
    AddConnection(kGuidA, "LAN 2");
    AdapterInfo adapter;
    EXPECT_TRUE(ReadAdapterSettings(adapter, kGuidA));
    EXPECT_EQ(adapter.broadcastAddress, c.broadcast);
}

INSTANTIATE_TEST_SUITE_P(Examples, Broadcast,
                         ::testing::Values(BroadcastCase{"192.168.1.10", "255.255.255.0", "192.168.1.255"},
                                           BroadcastCase{"192.168.0.23", "255.255.240.0", "192.168.15.255"},
                                           BroadcastCase{"0.0.0.0", "0.0.0.0", "255.255.255.255"},
                                           // inet_addr("") is INADDR_NONE, an all-ones mask
                                           BroadcastCase{"192.168.1.10", "", "192.168.1.10"},
                                           BroadcastCase{"", "", "255.255.255.255"},
                                           // "1.2.3" is read as 1.2.0.3
                                           BroadcastCase{"1.2.3", "255.255.0.0", "1.2.255.255"}));

}  // namespace
