#include "main.h"

#include "sim_mtd.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(MacIncrement, AddsOneFromTheLastDigit)
{
    struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"02:5E:71:00:00:01", "02:5E:71:00:00:02"},
        {"02:5E:71:00:00:0F", "02:5E:71:00:00:10"},
        {"02:5E:71:00:00:FF", "02:5E:71:00:01:00"},
        {"02:5E:71:00:00:19", "02:5E:71:00:00:1a"},   // '9' always becomes lower-case 'a'
        {"02:5E:71:00:00:9f", "02:5E:71:00:00:a0"},
        {"02:5E:71:00:00:0e", "02:5E:71:00:00:0f"},
        {"02:5E:71:00:00:0E", "02:5E:71:00:00:0F"},
        {"02:5E:71:FF:FF:FF", "02:5E:72:00:00:00"},
        {"ff:ff:ff:ff:ff:ff", "00:00:00:00:00:00"},   // the carry out of the first digit is dropped
        {"2:5E:71:0:0:1", "2:5E:71:0:0:1"},           // short: the 17th character is the NUL
        {"02-5E-71-00-00-0F", "02-5E-71-00-00-10"},
        {"02-5E-71-00-00-FF", "02-5E-71-00-00-00"},   // the carry stops at a dash
        {"02:5E:71:00:00:0G", "02:5E:71:00:00:0G"},
        {"02:5E:71:00::FF", "02:5E:71:00::FF"},       // short again
        {"02:5E:71:00:0::FF", "02:5E:71:00:0::00"},   // a second ':' stops the carry
        {"02:5E:71:00:00:\xff" "F", "02:5E:71:00:00:\xff" "0"},
        {"", ""},
    };
    for (const auto& c : cases) {
        char mac[MAC_BUFFER_SIZE] = {};
        strncpy(mac, c.before, 17);
        mac_increment(mac);
        EXPECT_STREQ(mac, c.after) << c.before;
    }
}

TEST(Entry, AnyOtherCommandLinePrintsUsageAndLeavesTheDeviceAlone)
{
    const std::vector<std::vector<const char*>> lines = {
        {"addrstamp"},
        {"addrstamp", "-m"},
        {"addrstamp", "02:5E:71:00:00:01"},
        {"addrstamp", "-M", "02:5E:71:00:00:01"},
        {"addrstamp", "-m ", "02:5E:71:00:00:01"},
        {"addrstamp", "-m", "02:5E:71:00:00:01", "x"},
    };
    for (auto argv : lines) {
        SimReset(MTD_NORFLASH, 64 * 1024, 4096, 1);
        int argc = static_cast<int>(argv.size());
        argv.push_back(nullptr);
        int status = 0;
        std::string out = Captured([&] { status = addrstamp_main(argc, const_cast<char**>(argv.data())); });
        EXPECT_EQ(status, 255);
        EXPECT_EQ(out, "addrstamp -m 02:5E:71:00:00:01 \n");
        EXPECT_TRUE(sim.log.empty());
    }
}

} // namespace
