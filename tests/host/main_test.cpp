// The entry's two modes and the report on standard output.
#include "fixtures.h"
#include "main.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

std::unique_ptr<AdapterInfo> Listed(uint32_t enableDhcp, const char* name, const char* desc, const char* ip,
                                   const char* mask, const char* gateway, const char* broadcast) {
    return std::make_unique<AdapterInfo>(
        MakeAdapter(enableDhcp, name, desc, ip, mask, gateway, broadcast, "{not printed}"));
}

std::string Report() {
    ::testing::internal::CaptureStdout();
    PrintAdapterReport();
    return ::testing::internal::GetCapturedStdout();
}

int RunMain(std::vector<std::string> args, std::string* output) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    ::testing::internal::CaptureStdout();
    int status = HostpinMain(static_cast<int>(args.size()), argv.data());
    *output = ::testing::internal::GetCapturedStdout();
    return status;
}

using ReportTest = HostTest;

TEST_F(ReportTest, LayoutByteForByte) {
    adapterList.push_back(Listed(0, "LAN 2", "Example Ethernet Controller", "10.1.2.3", "255.255.255.0", "10.1.2.1",
                                "10.1.2.255"));
    EXPECT_EQ(Report(),
              "LAN 2:\n"
              "\n"
              "        Disable DHCP\n"
              "        Example Ethernet Controller\n"
              "        10.1.2.3\n"
              "        255.255.255.0\n"
              "        10.1.2.1\n"
              "        10.1.2.255\n"
              "\n");
}

TEST_F(ReportTest, EveryNonzeroFlagReadsEnableAndEmptyTextsGiveEightBlanks) {
    adapterList.push_back(Listed(1, "A", "", "", "", "", ""));
    adapterList.push_back(Listed(2, "B", "d", "1", "2", "", "4"));
    adapterList.push_back(Listed(0x100, "", "d", "1", "2", "3", "4"));
    EXPECT_EQ(Report(),
              "A:\n\n        Enable DHCP\n        \n        \n        \n        \n        \n\n"
              "B:\n\n        Enable DHCP\n        d\n        1\n        2\n        \n        4\n\n"
              ":\n\n        Enable DHCP\n        d\n        1\n        2\n        3\n        4\n\n");
}

TEST_F(ReportTest, EmptyListPrintsNothing) {
    EXPECT_EQ(Report(), "");
}

struct PassThroughCase {
    const char* name;
    const char* argument;
};

void PrintTo(const PassThroughCase& c, std::ostream* os) {
    *os << '"' << c.argument << '"';
}

class PassThrough : public HostTest, public ::testing::WithParamInterface<PassThroughCase> {};

// One argument goes to the command interpreter as it is; nothing else happens.
TEST_P(PassThrough, RunsTheSingleArgument) {
    AddStaticLan("0000", "{GUID-A}", "LAN 2");
    std::string output;
    EXPECT_EQ(RunMain({"hostpin.exe", GetParam().argument}, &output), 0);
    EXPECT_EQ(SimCommands(), std::vector<std::string>{GetParam().argument});
    EXPECT_TRUE(SimOpenedKeys().empty());
    EXPECT_TRUE(adapterList.empty());
    EXPECT_EQ(output, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, PassThrough,
                         ::testing::Values(PassThroughCase{"RestoreScript", "reserver.bat"},
                                           PassThroughCase{"Empty", ""}, PassThroughCase{"DashH", "-h"},
                                           PassThroughCase{"SlashQuestion", "/?"},
                                           PassThroughCase{"CommandWithBlanks", "netsh interface show interface"}),
                         [](const ::testing::TestParamInfo<PassThroughCase>& info) {
                             return std::string(info.param.name);
                         });

class AdapterMode : public HostTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

// No argument, or two and more: discovery, switch, restore script and report; the
// arguments are never run.
TEST_P(AdapterMode, SwitchesAndReports) {
    AddStaticLan("0000", "{GUID-A}", "LAN 2");
    std::string output;
    EXPECT_EQ(RunMain(GetParam(), &output), 0);
    EXPECT_EQ(SimCommands(),
              (std::vector<std::string>{
                  "netsh interface ip set address \"LAN 2\" static 192.168.0.23 255.255.240.0 192.168.0.3 0",
                  "echo netsh interface ip set address \"LAN 2\" static 10.1.2.3 255.255.255.0 10.1.2.1 0 > "
                  "./reserver.bat"}));
    EXPECT_EQ(output,
              "LAN 2:\n\n        Disable DHCP\n        Example Ethernet Controller\n        10.1.2.3\n"
              "        255.255.255.0\n        10.1.2.1\n        10.1.2.255\n\n");
}

INSTANTIATE_TEST_SUITE_P(Arguments, AdapterMode,
                         ::testing::Values(std::vector<std::string>{"hostpin.exe"},
                                           std::vector<std::string>{"hostpin.exe", "reserver.bat", "x"},
                                           std::vector<std::string>{"hostpin.exe", "netsh", "interface", "show"}),
                         [](const ::testing::TestParamInfo<std::vector<std::string>>& info) {
                             return std::to_string(info.param.size() - 1) + "Arguments";
                         });

using Entry = HostTest;

TEST_F(Entry, NoQualifyingAdapterPrintsNothing) {
    SimAddKey(kClassKey);
    std::string output;
    EXPECT_EQ(RunMain({"hostpin.exe"}, &output), 0);
    EXPECT_EQ(output, "");
    EXPECT_TRUE(SimCommands().empty());
}

// Standard output on a device that rejects every write: the switch and the restore script
// still happen and the status stays 0.
TEST_F(Entry, RejectedStandardOutputStillSwitches) {
    AddStaticLan("0000", "{GUID-A}", "LAN 2");
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    dup2(full, STDOUT_FILENO);
    close(full);

    char program[] = "hostpin.exe";
    char* argv[] = {program, nullptr};
    int status = HostpinMain(1, argv);
    bool failed = ferror(stdout) != 0;

    dup2(saved, STDOUT_FILENO);
    close(saved);
    clearerr(stdout);

    EXPECT_EQ(status, 0);
    EXPECT_TRUE(failed);
    EXPECT_EQ(SimCommands().size(), 2u);
    EXPECT_EQ(adapterList.size(), 1u);
}

}  // namespace
