#include "flash.h"

#include "main.h"
#include "sim_mtd.h"
#include "support.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t KIB = 1024;
const char* const MAC = "02:5E:71:00:00:01";
const char* const ETHADDR = "ethaddr=02:5E:71:00:00:01";
const char* const ETH1ADDR = "eth1addr=02:5E:71:00:00:02";
const char* const GOT_MACS = "Got MAC address 02:5E:71:00:00:01 \nGot MAC address 02:5E:71:00:00:02 \n";
const char* const CLEARED = "failed to crc,clear all,Success\n";

struct RunResult {
    int status;
    std::string out;
};

// The whole command, in process, against the simulated partition.
RunResult Provision(const char* mac = MAC)
{
    const char* argv[] = {"addrstamp", "-m", mac, nullptr};
    RunResult run{};
    errno = 0;
    run.out = Captured([&] { run.status = addrstamp_main(3, const_cast<char**>(argv)); });
    return run;
}

std::vector<unsigned char> FlashAt(uint32_t offset, uint32_t length)
{
    return std::vector<unsigned char>(sim.bytes.begin() + offset, sim.bytes.begin() + offset + length);
}

bool AllErased(uint32_t offset, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++)
        if (sim.bytes[offset + i] != 0xFF)
            return false;
    return true;
}

void PutImage(uint32_t offset, const std::vector<std::string>& entries)
{
    std::vector<unsigned char> image = EnvImage(entries);
    SimPut(offset, image.data(), image.size());
}

// --- Provisioning end to end ---------------------------------------------------------

struct ProvisionCase {
    const char* name;
    uint8_t type;
    uint32_t size, erasesize, writesize;
    std::set<uint32_t> badBlocks;
    uint32_t earlierAt;          // where an earlier environment lies, or UINT32_MAX for blank
    uint32_t storedAt;           // where the new block must land
    std::string out;
};

const std::vector<std::string> EARLIER = {"bootdelay=3", "ethaddr=00:11:22:33:44:55", "serverip=192.168.0.3",
                                          "eth1addr=00:11:22:33:44:56", "bootcmd=run flash_boot"};
const std::vector<std::string> KEPT = {"bootdelay=3", "serverip=192.168.0.3", "bootcmd=run flash_boot"};

void PrintTo(const ProvisionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Provisioning : public testing::TestWithParam<ProvisionCase> {};

TEST_P(Provisioning, StoresBothAddressesUnderAFreshCrc)
{
    const ProvisionCase& c = GetParam();
    SimReset(c.type, c.size, c.erasesize, c.writesize);
    sim.badBlocks = c.badBlocks;
    bool blank = c.earlierAt == UINT32_MAX;
    if (!blank)
        PutImage(c.earlierAt, EARLIER);
    std::vector<unsigned char> before = sim.bytes;

    RunResult run = Provision();

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    std::vector<unsigned char> stored = FlashAt(c.storedAt, ENV_SIZE);
    EXPECT_TRUE(EnvCrcValid(stored.data()));
    std::vector<std::string> expected = blank ? std::vector<std::string>{} : KEPT;
    expected.push_back(ETHADDR);
    expected.push_back(ETH1ADDR);
    EXPECT_EQ(EnvEntries(stored.data()), expected);
    // The image is exactly the new block: no bits of an earlier block survive.
    std::vector<std::string> entries = EnvEntries(stored.data());
    EXPECT_EQ(stored, EnvImage(entries));
    // Outside the erase block that took the image, the partition is as it was.
    uint32_t blockStart = c.storedAt / c.erasesize * c.erasesize;
    for (uint32_t i = 0; i < c.size; i++) {
        if (i >= blockStart && i < blockStart + c.erasesize)
            continue;
        ASSERT_EQ(sim.bytes[i], before[i]) << "byte " << i;
    }
    EXPECT_TRUE(AllErased(c.storedAt + ENV_SIZE, blockStart + c.erasesize - c.storedAt - ENV_SIZE));
    EXPECT_FALSE(sim.isOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, Provisioning,
    testing::Values(
        ProvisionCase{"NandBlank", MTD_NANDFLASH, 1024 * KIB, 128 * KIB, 2 * KIB, {}, UINT32_MAX, 0,
                      std::string(CLEARED) + GOT_MACS},
        ProvisionCase{"NandEarlier", MTD_NANDFLASH, 1024 * KIB, 128 * KIB, 2 * KIB, {}, 0, 0, GOT_MACS},
        ProvisionCase{"NandFirstBlockBad", MTD_NANDFLASH, 1024 * KIB, 128 * KIB, 2 * KIB, {0}, 128 * KIB, 128 * KIB,
                      std::string(GOT_MACS) + "Skipping bad block at 0x00000000\n"},
        ProvisionCase{"NandFirstTwoBlocksBad", MTD_NANDFLASH, 1024 * KIB, 128 * KIB, 2 * KIB, {0, 1}, UINT32_MAX,
                      256 * KIB,
                      std::string(CLEARED) + GOT_MACS +
                          "Skipping bad block at 0x00000000\nSkipping bad block at 0x00020000\n"},
        ProvisionCase{"NandSmallPages", MTD_NANDFLASH, 256 * KIB, 16 * KIB, 512, {}, 0, 0, GOT_MACS},
        ProvisionCase{"NandSmallPagesBlank", MTD_NANDFLASH, 256 * KIB, 16 * KIB, 512, {}, UINT32_MAX, 0,
                      std::string(CLEARED) + GOT_MACS},
        ProvisionCase{"NorBlank", MTD_NORFLASH, 64 * KIB, 4 * KIB, 1, {}, UINT32_MAX, 0,
                      std::string(CLEARED) + GOT_MACS},
        ProvisionCase{"NorEarlier", MTD_NORFLASH, 64 * KIB, 4 * KIB, 1, {}, 0, 0, GOT_MACS},
        ProvisionCase{"NorLargeEraseBlock", MTD_NORFLASH, 256 * KIB, 64 * KIB, 1, {}, 0, 0, GOT_MACS}),
    [](const testing::TestParamInfo<ProvisionCase>& info) { return std::string(info.param.name); });

TEST(ProvisioningSequence, NandRunMakesExactlyTheseRequests)
{
    SimReset(MTD_NANDFLASH, 1024 * KIB, 128 * KIB, 2 * KIB);
    PutImage(0, EARLIER);
    ASSERT_EQ(Provision().status, 0);
    EXPECT_EQ(sim.log, (std::vector<std::string>{
                           "open", "MEMGETINFO",
                           "MEMGETBADBLOCK 0x0", "lseek 0x0", "read 2048",
                           "MEMGETBADBLOCK 0x800", "lseek 0x800", "read 2048",
                           "MEMGETINFO", "MEMGETBADBLOCK 0x0", "MEMERASE 0x0+0x20000", "MEMGETBADBLOCK 0x0",
                           "lseek 0x0", "write 4096", "close"}));
    EXPECT_EQ(sim.openFlags, O_RDWR | O_SYNC);
}

TEST(ProvisioningSequence, NandReadsWholePagesOfEachSize)
{
    struct {
        uint32_t writesize;
        int reads;
    } cases[] = {{512, 8}, {2048, 2}, {4096, 1}, {8192, 1}};
    for (const auto& c : cases) {
        SimReset(MTD_NANDFLASH, 1024 * KIB, 128 * KIB, c.writesize);
        PutImage(0, EARLIER);
        Provision();
        int reads = 0;
        for (const std::string& entry : sim.log)
            reads += entry == "read " + std::to_string(c.writesize);
        EXPECT_EQ(reads, c.reads) << "page size " << c.writesize;
    }
}

TEST(ProvisioningSequence, NorErasesBeforeItWrites)
{
    SimReset(MTD_NORFLASH, 64 * KIB, 4 * KIB, 1);
    PutImage(0, EARLIER);
    ASSERT_EQ(Provision().status, 0);
    EXPECT_EQ(sim.log, (std::vector<std::string>{"open", "MEMGETINFO", "lseek 0x0", "read 4096", "MEMGETINFO",
                                                 "MEMERASE 0x0+0x1000", "lseek 0x0", "write 4096", "close"}));
}

TEST(ProvisioningAddress, TakesAtMost17CharactersForBothVariables)
{
    SimReset(MTD_NORFLASH, 64 * KIB, 4 * KIB, 1);
    PutImage(0, {});
    RunResult run = Provision("02:5E:71:00:00:0Fjunk");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Got MAC address 02:5E:71:00:00:0F \nGot MAC address 02:5E:71:00:00:10 \n");
    EXPECT_EQ(EnvEntries(sim.bytes.data()),
              (std::vector<std::string>{"ethaddr=02:5E:71:00:00:0F", "eth1addr=02:5E:71:00:00:10"}));
}

TEST(ProvisioningAddress, EmptyTextStoresEmptyValues)
{
    SimReset(MTD_NORFLASH, 64 * KIB, 4 * KIB, 1);
    PutImage(0, {"a=1"});
    RunResult run = Provision("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Got MAC address  \nGot MAC address  \n");
    EXPECT_EQ(EnvEntries(sim.bytes.data()), (std::vector<std::string>{"a=1", "ethaddr=", "eth1addr="}));
}

TEST(ProvisioningAddress, VariablesThatDoNotFitFailTheRunButTheBlockIsStored)
{
    SimReset(MTD_NORFLASH, 64 * KIB, 4 * KIB, 1);
    std::string filler = "f=" + std::string(ENV_DATA_SIZE - 4, 'x');
    PutImage(0, {filler});
    RunResult run = Provision();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Got MAC address 02:5E:71:00:00:01 \nenv overflow, \"ethaddr\" deleted\n"
                       "Got MAC address 02:5E:71:00:00:02 \nenv overflow, \"eth1addr\" deleted\n");
    EXPECT_TRUE(EnvCrcValid(sim.bytes.data()));
    EXPECT_EQ(EnvEntries(sim.bytes.data()), std::vector<std::string>{filler});
}

// --- Failures, one request at a time ------------------------------------------------

// What the partition holds after the run: the earlier block untouched; the first erase
// block erased and nothing written; a write torn after the fault's short count; the new
// block in block 0; the new block in block 1 with block 0 untouched (the erase failed) or
// erased; only the two addresses (the load cleared a bad block).
enum class After { Untouched, ErasedOnly, Torn, StoredAt0, StoredAtBlock1, MovedToBlock1, Cleared };

struct FailureCase {
    const char* name;
    uint8_t type;
    uint32_t erasesize, writesize;
    std::vector<SimFault> faults;
    std::set<uint32_t> badAfterErase;
    int status;
    std::string out;
    After after;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class Failures : public testing::TestWithParam<FailureCase> {};

TEST_P(Failures, ReportAndLeaveTheFlashAsExpected)
{
    const FailureCase& c = GetParam();
    uint32_t size = c.type == MTD_NORFLASH ? 64 * KIB : 1024 * KIB;
    SimReset(c.type, size, c.erasesize, c.writesize);
    sim.faults = c.faults;
    sim.badAfterErase = c.badAfterErase;
    PutImage(0, EARLIER);
    std::vector<unsigned char> before = sim.bytes;

    RunResult run = Provision();

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    std::vector<std::string> updated = KEPT;
    updated.push_back(ETHADDR);
    updated.push_back(ETH1ADDR);
    switch (c.after) {
    case After::Untouched:
        EXPECT_EQ(sim.bytes, before);
        break;
    case After::ErasedOnly:
        EXPECT_TRUE(AllErased(0, c.erasesize));
        break;
    case After::Torn: {
        uint32_t torn = static_cast<uint32_t>(c.faults.front().shortCount);
        std::vector<unsigned char> image = EnvImage(updated);
        EXPECT_EQ(FlashAt(0, torn), std::vector<unsigned char>(image.begin(), image.begin() + torn));
        EXPECT_TRUE(AllErased(torn, c.erasesize - torn));
        break;
    }
    case After::MovedToBlock1:
        EXPECT_TRUE(AllErased(0, c.erasesize));
        EXPECT_EQ(FlashAt(c.erasesize, ENV_SIZE), EnvImage(updated));
        break;
    case After::StoredAt0:
        EXPECT_EQ(FlashAt(0, ENV_SIZE), EnvImage(updated));
        break;
    case After::StoredAtBlock1:
        // The failed block keeps the earlier environment, which a later load reads first.
        EXPECT_EQ(FlashAt(0, ENV_SIZE), EnvImage(EARLIER));
        EXPECT_EQ(FlashAt(c.erasesize, ENV_SIZE), EnvImage(updated));
        break;
    case After::Cleared:
        EXPECT_EQ(EnvEntries(sim.bytes.data()), (std::vector<std::string>{ETHADDR, ETH1ADDR}));
        EXPECT_TRUE(EnvCrcValid(sim.bytes.data()));
        break;
    }
}

const char* const SAVE_FAILED_EIO = "failed to save env,Input/output error,3\n";
const char* const INIT_FAILED_EIO = "failed to init env,Input/output error,/dev/mtd2\n";
constexpr uint32_t NAND_BLOCK = 128 * KIB;
constexpr uint32_t NAND_PAGE = 2 * KIB;
constexpr uint32_t NOR_BLOCK = 4 * KIB;

INSTANTIATE_TEST_SUITE_P(
    Flash, Failures,
    testing::Values(
        FailureCase{"OpenFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Open, 1, EACCES}}, {}, 1,
                    "failed to open mtd,Permission denied,/dev/mtd2\n", After::Untouched},
        FailureCase{"LoadInfoFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::GetInfo, 1, EIO}}, {}, 1,
                    std::string("ioctl MEMGETINFO failed,Input/output error\n") + INIT_FAILED_EIO, After::Untouched},
        FailureCase{"NandLoadSeekFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Lseek, 2, EIO}}, {}, 1,
                    std::string("failed to lseek,Input/output error\n") + INIT_FAILED_EIO, After::Untouched},
        FailureCase{"NandReadFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Read, 1, EIO}}, {}, 1,
                    std::string("failed to nand read,Input/output error\n") + INIT_FAILED_EIO, After::Untouched},
        // A short page leaves zeros where the rest of the page should be: the CRC fails.
        FailureCase{"NandShortRead", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Read, 1, 0, 100}}, {}, 0,
                    std::string("failed to read,Success\n") + CLEARED + GOT_MACS, After::Cleared},
        // A failed bad-block query during the load counts as a good block.
        FailureCase{"NandLoadBadBlockQueryFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE,
                    {{SimOp::GetBadBlock, 1, EIO}}, {}, 0, GOT_MACS, After::StoredAt0},
        FailureCase{"NorSeekFails", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Lseek, 1, EIO}}, {}, 1,
                    std::string("failed to lseek,Input/output error\n") + INIT_FAILED_EIO, After::Untouched},
        FailureCase{"NorShortRead", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Read, 1, EIO, 4095}}, {}, 1,
                    std::string("failed to nor read,Input/output error\n") + INIT_FAILED_EIO, After::Untouched},
        // No line break after the first message: the save message follows on the same line.
        FailureCase{"StoreInfoFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::GetInfo, 2, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to info mtd,Input/output error" + SAVE_FAILED_EIO,
                    After::Untouched},
        FailureCase{"StoreBadBlockQueryFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE,
                    {{SimOp::GetBadBlock, 3, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to MEMGETBADBLOCK,Input/output error\n" + SAVE_FAILED_EIO,
                    After::Untouched},
        FailureCase{"StoreBadBlockQueryFailsAfterErase", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE,
                    {{SimOp::GetBadBlock, 4, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to MEMGETBADBLOCK,Input/output error\n" + SAVE_FAILED_EIO,
                    After::ErasedOnly},
        // The image lands in the next block, but a load reads the failed block first: the
        // store must not count as done.
        FailureCase{"NandEraseFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Erase, 1, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "MTD Erase failure: Input/output error\n" +
                        "env stored behind block 0x00000000, which a load reads first\n" + SAVE_FAILED_EIO,
                    After::StoredAtBlock1},
        FailureCase{"NandBlockTurnsBadOnErase", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {}, {0}, 0,
                    std::string(GOT_MACS) + "Skipping bad block at 0x00000000,while erase...\n",
                    After::MovedToBlock1},
        FailureCase{"NandStoreSeekFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Lseek, 3, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to lseek,Input/output error\n" +
                        "env stored behind block 0x00000000, which a load reads first\n" + SAVE_FAILED_EIO,
                    After::MovedToBlock1},
        FailureCase{"NandWriteFails", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Write, 1, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to nand write,Input/output error\n" + SAVE_FAILED_EIO,
                    After::ErasedOnly},
        FailureCase{"NandShortWrite", MTD_NANDFLASH, NAND_BLOCK, NAND_PAGE, {{SimOp::Write, 1, ENOSPC, 2048}}, {}, 1,
                    std::string(GOT_MACS) + "failed to nand write,No space left on device\n" +
                        "failed to save env,No space left on device,3\n",
                    After::Torn},
        FailureCase{"NorEraseFails", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Erase, 1, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "MTD Erase failure: Input/output error\n" + SAVE_FAILED_EIO,
                    After::Untouched},
        FailureCase{"NorStoreSeekFails", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Lseek, 2, EIO}}, {}, 1,
                    std::string(GOT_MACS) + "failed to lseek,Input/output error\n" + SAVE_FAILED_EIO,
                    After::ErasedOnly},
        FailureCase{"NorShortWrite", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Write, 1, EIO, 100}}, {}, 1,
                    std::string(GOT_MACS) + "failed to nor write,Input/output error\n" + SAVE_FAILED_EIO,
                    After::Torn},
        FailureCase{"NorWriteFails", MTD_NORFLASH, NOR_BLOCK, 1, {{SimOp::Write, 1, EROFS}}, {}, 1,
                    std::string(GOT_MACS) + "failed to nor write,Read-only file system\n" +
                        "failed to save env,Read-only file system,3\n",
                    After::ErasedOnly}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

struct GeometryCase {
    uint8_t type;
    uint32_t erasesize, writesize;
    std::string out;
};

TEST(FlashGeometry, RefusesWhatWouldHangOrOverflowTheBuffer)
{
    const GeometryCase cases[] = {
        {1, NAND_BLOCK, NAND_PAGE, "unsupported flash:1\nfailed to init env,Success,/dev/mtd2\n"},
        {2, NAND_BLOCK, NAND_PAGE, "unsupported flash:2\nfailed to init env,Success,/dev/mtd2\n"},
        {MTD_NANDFLASH, NAND_BLOCK, 0,
         "unsupported flash geometry,writesize:0,erasesize:131072\nfailed to init env,Success,/dev/mtd2\n"},
        {MTD_NANDFLASH, 0, NAND_PAGE,
         "unsupported flash geometry,writesize:2048,erasesize:0\nfailed to init env,Success,/dev/mtd2\n"},
        {MTD_NANDFLASH, 256 * KIB, 16 * KIB,
         "unsupported flash geometry,writesize:16384,erasesize:262144\nfailed to init env,Success,/dev/mtd2\n"},
    };
    for (const GeometryCase& c : cases) {
        SimReset(c.type, 1024 * KIB, c.erasesize, c.writesize);
        PutImage(0, EARLIER);
        std::vector<unsigned char> before = sim.bytes;
        RunResult run = Provision();
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(sim.bytes, before);
        EXPECT_FALSE(sim.isOpen) << "the descriptor of a failed load is closed";
    }
}

// A store straight on an open partition that the load would have refused: nothing is
// written and the descriptor stays open.
TEST(FlashGeometry, StoreRefusesWhatItCannotWrite)
{
    const GeometryCase cases[] = {
        {MTD_NANDFLASH, 0, NAND_PAGE, "unsupported flash geometry,writesize:2048,erasesize:0\n"},
        {MTD_NORFLASH, 0, 1, "unsupported flash geometry,writesize:1,erasesize:0\n"},
        {1, NOR_BLOCK, 1, "unsupported flash:1\n"},
    };
    for (const GeometryCase& c : cases) {
        SimReset(c.type, 64 * KIB, c.erasesize, c.writesize);
        alignas(4) EnvBlock buffer[2] = {};
        int result = 0;
        std::string out = Captured([&] {
            sim.isOpen = true;
            errno = 0;
            result = env_close(sim.fd, &buffer[0]);
        });
        EXPECT_EQ(result, -1);
        EXPECT_EQ(out, c.out + "failed to save env,Success,3\n");
        EXPECT_TRUE(AllErased(0, 64 * KIB));
        EXPECT_TRUE(sim.isOpen) << "a failed store leaves the descriptor open";
    }
}

TEST(FlashNoRoom, NandWithEveryBlockBadFailsTheStore)
{
    SimReset(MTD_NANDFLASH, 4 * NAND_BLOCK, NAND_BLOCK, NAND_PAGE);
    sim.badBlocks = {0, 1, 2, 3};
    RunResult run = Provision();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, std::string(CLEARED) + GOT_MACS +
                           "Skipping bad block at 0x00000000\nSkipping bad block at 0x00020000\n"
                           "Skipping bad block at 0x00040000\nSkipping bad block at 0x00060000\n"
                           "no good block left for env,4096 bytes not written\n"
                           "failed to save env,Success,3\n");
    EXPECT_TRUE(AllErased(0, 4 * NAND_BLOCK));
}

TEST(FlashNoRoom, NandPartitionEndingInsideTheImageFailsTheStore)
{
    // Erase blocks of one 2048-byte page: only one fits before the partition ends.
    SimReset(MTD_NANDFLASH, 2 * NAND_PAGE, NAND_PAGE, NAND_PAGE);
    sim.badBlocks = {1};
    RunResult run = Provision();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, std::string(CLEARED) + GOT_MACS + "Skipping bad block at 0x00000800\n" +
                           "no good block left for env,2048 bytes not written\n" +
                           "failed to save env,Success,3\n");
}

} // namespace
