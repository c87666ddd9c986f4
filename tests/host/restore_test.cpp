// The switch command, the two restore forms, their sizes, and the refusal of texts that
// would change what the command interpreter runs.
#include "fixtures.h"
#include "restore.h"

namespace {

AdapterInfo Adapter(uint32_t enableDhcp, const std::string& name, const std::string& ip, const std::string& mask,
                    const std::string& gateway) {
    return MakeAdapter(enableDhcp, name, "Example Ethernet Controller", ip, mask, gateway, "", "");
}

using Restore = HostTest;

TEST_F(Restore, SwitchCommandLiteral) {
    PinFixedAddress(Adapter(1, "Local Area Connection", "10.0.0.5", "255.0.0.0", "10.0.0.1"));
    ASSERT_EQ(SimCommands().size(), 1u);
    EXPECT_EQ(SimCommands()[0],
              "netsh interface ip set address \"Local Area Connection\" static 192.168.0.23 255.255.240.0 "
              "192.168.0.3 0");
}

struct RestoreCase {
    const char* name;
    AdapterInfo adapter;
    const char* command;
};

void PrintTo(const RestoreCase& c, std::ostream* os) {
    *os << c.name;
}

class RestoreForms : public HostTest, public ::testing::WithParamInterface<RestoreCase> {};

TEST_P(RestoreForms, ComposesTheRestoreCommand) {
    WriteRestoreScript(&GetParam().adapter);
    ASSERT_EQ(SimCommands().size(), 1u);
    EXPECT_EQ(SimCommands()[0], GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RestoreForms,
    ::testing::Values(
        RestoreCase{"Dhcp", Adapter(1, "LAN 2", "10.0.0.5", "255.0.0.0", "10.0.0.1"),
                    "echo netsh interface ip set address \"LAN 2\" source=dhcp > ./reserver.bat"},
        RestoreCase{"DhcpAnyNonzero", Adapter(0x80000000u, "LAN 2", "10.0.0.5", "255.0.0.0", "10.0.0.1"),
                    "echo netsh interface ip set address \"LAN 2\" source=dhcp > ./reserver.bat"},
        RestoreCase{"Static", Adapter(0, "LAN 2", "10.1.2.3", "255.255.255.0", "10.1.2.1"),
                    "echo netsh interface ip set address \"LAN 2\" static 10.1.2.3 255.255.255.0 10.1.2.1 0 > "
                    "./reserver.bat"},
        RestoreCase{"StaticEmptyGateway", Adapter(0, "LAN 2", "10.1.2.3", "255.255.255.0", ""),
                    "echo netsh interface ip set address \"LAN 2\" static 10.1.2.3 255.255.255.0  0 > "
                    "./reserver.bat"}),
    [](const ::testing::TestParamInfo<RestoreCase>& info) { return std::string(info.param.name); });

TEST_F(Restore, NullRecordRunsNothing) {
    WriteRestoreScript(nullptr);
    EXPECT_TRUE(SimCommands().empty());
}

// Texts of 256 characters, the most a registry read can give: every command is run whole,
// although the static restore command is then far longer than 511 characters.
TEST_F(Restore, LongestTextsAreNeverTruncated) {
    const std::string name(256, 'N');
    const std::string address(256, '1');
    AdapterInfo adapter = Adapter(0, name, address, address, address);
    PinFixedAddress(adapter);
    WriteRestoreScript(&adapter);
    adapter.enableDhcp = 1;
    WriteRestoreScript(&adapter);
    ASSERT_EQ(SimCommands().size(), 3u);
    EXPECT_EQ(SimCommands()[0], "netsh interface ip set address \"" + name +
                                    "\" static 192.168.0.23 255.255.240.0 192.168.0.3 0");
    EXPECT_EQ(SimCommands()[1], "echo netsh interface ip set address \"" + name + "\" static " + address + " " +
                                    address + " " + address + " 0 > ./reserver.bat");
    EXPECT_EQ(SimCommands()[1].size(), 67u + 4 * 256);
    EXPECT_EQ(SimCommands()[2], "echo netsh interface ip set address \"" + name + "\" source=dhcp > ./reserver.bat");
}

// At 511 characters the static command just fits the standard buffer; one more character
// must not cut off its end either.
TEST_F(Restore, CommandAtTheBufferLimit) {
    for (size_t total : {444u, 445u}) {
        SimReset();
        AdapterInfo adapter = Adapter(0, std::string(total - 3 * 7, 'N'), "1.1.1.1", "2.2.2.2", "3.3.3.3");
        WriteRestoreScript(&adapter);
        ASSERT_EQ(SimCommands().size(), 1u);
        EXPECT_EQ(SimCommands()[0].size(), 67u + total);
        const std::string tail = " 3.3.3.3 0 > ./reserver.bat";
        EXPECT_EQ(SimCommands()[0].substr(SimCommands()[0].size() - tail.size()), tail);
    }
}

const char kGuid[] = "{33333333-CCCC-4000-8000-000000000003}";

struct UnsafeCase {
    const char* name;
    const char* connectionName;
    const char* ip;
    const char* mask;
    const char* gateway;
    const char* field;  // the field named on standard error, or nullptr when the commands run
};

void PrintTo(const UnsafeCase& c, std::ostream* os) {
    *os << c.name;
}

class UnsafeTexts : public HostTest, public ::testing::WithParamInterface<UnsafeCase> {};

// The adapter is still selected and listed; with an unsafe text neither command runs and
// one line on standard error names the field.
TEST_P(UnsafeTexts, RefusedBeforeAnyCommand) {
    const UnsafeCase& c = GetParam();
    AddAdapterKey("0000", "ethernet", "Example Ethernet Controller", kGuid);
    AddStaticTcpip(kGuid, c.ip, c.mask, c.gateway);
    AddConnection(kGuid, c.connectionName);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(FindEthernetAdapter(), 1);
    std::string errors = ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(adapterList.size(), 1u);
    EXPECT_EQ(adapterList[0]->connectionName, c.connectionName);
    if (!c.field) {
        EXPECT_EQ(errors, "");
        EXPECT_EQ(SimCommands().size(), 2u);
        return;
    }
    EXPECT_TRUE(SimCommands().empty());
    EXPECT_EQ(errors, std::string("hostpin: adapter left unchanged: ") + c.field +
                          " holds characters that are unsafe on a command line\n");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, UnsafeTexts,
    ::testing::Values(
        UnsafeCase{"PlainTexts", "LAN 2", "10.1.2.3", "255.255.255.0", "10.1.2.1", nullptr},
        UnsafeCase{"EmptyAddresses", "LAN 2", "", "", "", nullptr},
        // Inside the quotes these are literal for the command interpreter.
        UnsafeCase{"QuotedMetacharacters", "LAN & <2> | ^ (x) \xE4", "10.1.2.3", "255.255.255.0", "10.1.2.1", nullptr},
        UnsafeCase{"NameWithQuote", "LAN\" & echo x > hacked.txt & \"", "10.1.2.3", "255.255.255.0", "10.1.2.1",
                   "connectionName"},
        UnsafeCase{"NameWithPercent", "LAN %USERNAME%", "10.1.2.3", "255.255.255.0", "10.1.2.1", "connectionName"},
        UnsafeCase{"NameWithControlCharacter", "LAN\r\n2", "10.1.2.3", "255.255.255.0", "10.1.2.1", "connectionName"},
        UnsafeCase{"NameWithDelete", "LAN\x7f", "10.1.2.3", "255.255.255.0", "10.1.2.1", "connectionName"},
        UnsafeCase{"AddressWithCommand", "LAN 2", "10.1.2.3&echo", "255.255.255.0", "10.1.2.1", "ipAddress"},
        UnsafeCase{"MaskWithBlank", "LAN 2", "10.1.2.3", "255.255.255.0 x", "10.1.2.1", "subnetMask"},
        UnsafeCase{"GatewayWithRedirection", "LAN 2", "10.1.2.3", "255.255.255.0", "1>x", "defaultGateway"}),
    [](const ::testing::TestParamInfo<UnsafeCase>& info) { return std::string(info.param.name); });

}  // namespace
