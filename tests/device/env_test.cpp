#include "env.h"

#include "support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// CRC-32 values computed with zlib, independently of the tool.
struct CrcCase {
    std::string data;
    uint32_t expected;
};

std::string Pattern(size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; i++)
        out.push_back(static_cast<char>(i & 0xFF));
    return out;
}

std::string Padded(const std::string& text, size_t length)
{
    return text + std::string(length - text.size(), '\0');
}

TEST(Crc32, MatchesIeee8023)
{
    const CrcCase cases[] = {
        {"", 0x00000000},
        {"a", 0xe8b7be43},
        {"123456789", 0xcbf43926},           // eight per pass, then one byte
        {Pattern(13), 0xe6fe46b8},           // eight, then five one at a time
        {Pattern(1024), 0xb70b4c26},
        {std::string(4092, '\0'), 0x603b0489},
        {std::string(4092, '\xff'), 0x6e909c7c},
        {Padded(Nul("ethaddr=02:5E:71:00:00:01|eth1addr=02:5E:71:00:00:02||"), 4092), 0xb00b9dcc},
    };
    for (const CrcCase& c : cases) {
        std::vector<uint32_t> aligned(c.data.size() / 4 + 1);
        memcpy(aligned.data(), c.data.data(), c.data.size());
        EXPECT_EQ(crc32(0, aligned.data(), static_cast<uint32_t>(c.data.size())), c.expected)
            << "length " << c.data.size();
    }
}

TEST(Crc32, ChainsOverStretchesAndKeepsTheSeedForNoBytes)
{
    alignas(4) char text[] = "123456789abcdefghijk";
    for (uint32_t split : {0u, 4u, 8u, 12u, 20u}) {
        uint32_t first = crc32(0, text, split);
        EXPECT_EQ(crc32(first, text + split, 20 - split), crc32(0, text, 20)) << "split at " << split;
    }
    EXPECT_EQ(crc32(0x12345678, text, 0), 0x12345678u);
}

TEST(Checksums, RefuseUnalignedStartEvenForNoBytes)
{
    alignas(4) unsigned char bytes[16] = {1, 2, 3};
    for (uint32_t count : {0u, 8u}) {
        uint32_t crc = 0, sum = 0;
        std::string out = Captured([&] {
            crc = crc32(0, bytes + 1, count);
            sum = sum32(0, bytes + 1, count);
        });
        EXPECT_EQ(crc, 0xFFFFFFFFu);
        EXPECT_EQ(sum, 0xFFFFFFFFu);
        EXPECT_EQ(out, "unalign address for crc32(...),gave up!\nunalign address for sum32(...),gave up!\n");
    }
}

TEST(Sum32, AddsBytesModulo2To32)
{
    alignas(4) unsigned char bytes[] = {1, 2, 255, 0};
    EXPECT_EQ(sum32(0, bytes, 3), 258u);
    EXPECT_EQ(sum32(0xFFFFFFFF, bytes, 1), 0u);
    EXPECT_EQ(sum32(7, bytes, 0), 7u);
}

TEST(EnvMatch, MatchesWholeNamesOnly)
{
    struct {
        const char* entry;
        const char* name;
        int expected;
    } cases[] = {
        {"ethaddr=02:5E", "ethaddr", 1},
        {"ethaddr=", "ethaddr", 1},
        {"ethaddr=02:5E", "eth", 0},
        {"eth1addr=02:5E", "ethaddr", 0},
        {"ethaddr1=02:5E", "ethaddr", 0},
        {"ETHADDR=1", "ethaddr", 0},
        {"a=b=x", "a=b", 1},       // a name's later characters compare like any other
        {"a", "a=", 1},            // the entry ends where the name has '='
        {"=x", "", 0},             // an empty name matches nothing
        {"abc", "abc", 0},         // equal texts without '=' are not a variable
        {"ab=1", "abc", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(env_match(c.entry, c.name), c.expected) << c.entry << " / " << c.name;
}

// A block whose data area starts with the given bytes and holds 'Z' after them, so any
// byte written beyond what an edit should touch shows.
struct BlockFixture : testing::Test {
    std::unique_ptr<EnvBlock> block = std::make_unique<EnvBlock>();

    void Load(const std::string& data)
    {
        block->crc = 0xC0FFEE00;
        memset(block->data, 'Z', ENV_DATA_SIZE);
        memcpy(block->data, data.data(), data.size());
    }
    std::string Data() const { return std::string(block->data, ENV_DATA_SIZE); }
    std::string Expect(const std::string& data) const
    {
        return data + std::string(ENV_DATA_SIZE - data.size(), 'Z');
    }
};

using EnvSet = BlockFixture;

TEST_F(EnvSet, EditsTheListInPlace)
{
    struct {
        const char* before;
        const char* name;
        const char* value;
        const char* after;
    } cases[] = {
        {"a=1|ethaddr=old|c=3||", "ethaddr", "new", "a=1|c=3|ethaddr=new|||"},
        {"a=1|ethaddr=old|c=3||", "ethaddr", nullptr, "a=1|c=3|||r=old|c=3||"},
        {"a=1|ethaddr=old||", "ethaddr", nullptr, "a=1|||haddr=old||"},
        {"|", "ethaddr", "", "ethaddr=|||"},
        {"a=1||", "eth", "x", "a=1|eth=x|||"},
        {"|", "ethaddr", nullptr, "|"},                                  // delete from an empty list
        {"a=1||", "b", nullptr, "a=1||"},                                // delete an absent name
        {"ethaddr=old||", "ethaddr", nullptr, "||haddr=old||"},          // the only entry
        {"ethaddr=1|b=2||", "ethaddr", "1", "b=2|ethaddr=1|||"},         // same value moves to the end
        {"ethaddr=1||", "eth", "2", "ethaddr=1|eth=2|||"},
        {"eth1addr=1||", "ethaddr", "2", "eth1addr=1|ethaddr=2|||"},
        {"a=1|x=2|a=3||", "a", "9", "x=2|a=3|a=9|||"},                   // only the first duplicate goes
        {"a=1||", "", "v", "a=1|=v|||"},
    };
    for (const auto& c : cases) {
        Load(Nul(c.before));
        EXPECT_EQ(env_set(block.get(), c.name, c.value), 0) << c.before;
        EXPECT_EQ(Data(), Expect(Nul(c.after))) << c.before << " set " << c.name;
        EXPECT_EQ(block->crc, 0xC0FFEE00u);
    }
}

TEST_F(EnvSet, EthaddrThenEth1addrAreTheLastTwoEntries)
{
    Load(Nul("eth1addr=old1|a=1|ethaddr=old|b=2||"));
    ASSERT_EQ(env_set(block.get(), "ethaddr", "02:5E:71:00:00:01"), 0);
    ASSERT_EQ(env_set(block.get(), "eth1addr", "02:5E:71:00:00:02"), 0);
    unsigned char image[ENV_SIZE];
    memcpy(image, block.get(), ENV_SIZE);
    EXPECT_EQ(EnvEntries(image),
              (std::vector<std::string>{"a=1", "b=2", "ethaddr=02:5E:71:00:00:01", "eth1addr=02:5E:71:00:00:02"}));
}

TEST_F(EnvSet, RoomEqualToNeedFillsTheBlockExactly)
{
    Load(Nul("|"));
    std::string value(ENV_DATA_SIZE - 4, 'v');   // "n" + "=" + value + NUL + end marker
    ASSERT_EQ(env_set(block.get(), "n", value.c_str()), 0);
    EXPECT_EQ(Data(), Nul("n=" + value + "||"));
}

TEST_F(EnvSet, RoomOneLessThanNeedOverflowsAndKeepsTheBlock)
{
    Load(Nul("|"));
    std::string value(ENV_DATA_SIZE - 3, 'v');
    std::string before = Data();
    int result = 0;
    std::string out = Captured([&] { result = env_set(block.get(), "n", value.c_str()); });
    EXPECT_EQ(result, -14);
    EXPECT_EQ(out, "env overflow, \"n\" deleted\n");
    EXPECT_EQ(Data(), before);
}

// A full list: "ethaddr=old", then one filler entry whose NUL is followed by the end
// marker in the block's last byte.
std::string FullList()
{
    std::string head = "ethaddr=old|";
    std::string filler = "f=" + std::string(ENV_DATA_SIZE - head.size() - 4, 'x') + "||";
    return Nul(head + filler);
}

TEST_F(EnvSet, FullListRefusesNewVariables)
{
    Load(FullList());
    std::string out = Captured([&] { EXPECT_EQ(env_set(block.get(), "z", "1"), -14); });
    EXPECT_EQ(out, "env overflow, \"z\" deleted\n");
    EXPECT_EQ(Data(), FullList());
}

TEST_F(EnvSet, FullListTakesAReplacementNoLongerThanTheOld)
{
    Load(FullList());
    ASSERT_EQ(env_set(block.get(), "ethaddr", "new"), 0);
    std::string filler = FullList().substr(12, ENV_DATA_SIZE - 13);
    EXPECT_EQ(Data(), filler + Nul("ethaddr=new||"));
}

TEST_F(EnvSet, FullListOverflowsALongerReplacementAfterDeletingTheOld)
{
    Load(FullList());
    std::string out = Captured([&] { EXPECT_EQ(env_set(block.get(), "ethaddr", "newer"), -14); });
    EXPECT_EQ(out, "env overflow, \"ethaddr\" deleted\n");
    EXPECT_EQ(env_find(block.get(), "ethaddr"), nullptr);
    ASSERT_NE(env_find(block.get(), "f"), nullptr);
    EXPECT_EQ(env_find(block.get(), "f"), block->data);
}

TEST_F(EnvSet, DataAreaWithoutNul)
{
    Load(std::string(ENV_DATA_SIZE, 'x'));
    std::string out = Captured([&] { EXPECT_EQ(env_set(block.get(), "a", "1"), -14); });
    EXPECT_EQ(out, "env overflow, \"a\" deleted\n");
    EXPECT_EQ(Data(), std::string(ENV_DATA_SIZE, 'x'));
    EXPECT_EQ(env_find(block.get(), "x"), nullptr);

    // Starting with the name and '=', the whole area is that variable's entry.
    Load("ethaddr=" + std::string(ENV_DATA_SIZE - 8, 'x'));
    ASSERT_EQ(env_set(block.get(), "ethaddr", "new"), 0);
    EXPECT_EQ(Data().substr(0, 15), Nul("ethaddr=new|||x"));
    EXPECT_EQ(Data().substr(15), std::string(ENV_DATA_SIZE - 15, 'x'));
}

using EnvFind = BlockFixture;

TEST_F(EnvFind, ReturnsTheStartOfTheEntry)
{
    Load(Nul("a=1|ethaddr=02:5E|c=3||"));
    EXPECT_EQ(env_find(block.get(), "ethaddr"), block->data + 4);
    EXPECT_EQ(env_find(block.get(), "c"), block->data + 18);
    EXPECT_EQ(env_find(block.get(), "eth"), nullptr);
    EXPECT_EQ(env_find(block.get(), "Z"), nullptr);   // stale bytes after the end marker
}

TEST_F(EnvFind, NullNameListsEveryEntry)
{
    Load(Nul("a=1|ethaddr=02:5E||stale=1||"));
    char* result = block->data;
    EXPECT_EQ(Captured([&] { result = env_find(block.get(), nullptr); }), "a=1\nethaddr=02:5E\n");
    EXPECT_EQ(result, nullptr);

    Load(Nul("|"));
    EXPECT_EQ(Captured([&] { env_find(block.get(), nullptr); }), "");

    // An entry that runs to the block end is listed up to there and no further.
    Load("v=" + std::string(ENV_DATA_SIZE - 2, 'x'));
    EXPECT_EQ(Captured([&] { env_find(block.get(), nullptr); }), "v=" + std::string(ENV_DATA_SIZE - 2, 'x') + "\n");
}

TEST_F(EnvFind, ClearEmptiesTheDataAreaAndKeepsTheCrc)
{
    Load(Nul("a=1|b=2||"));
    EXPECT_EQ(env_clear(block.get()), 0);
    EXPECT_EQ(Data(), std::string(ENV_DATA_SIZE, '\0'));
    EXPECT_EQ(block->crc, 0xC0FFEE00u);
    EXPECT_EQ(Captured([&] { env_find(block.get(), nullptr); }), "");
}

} // namespace
