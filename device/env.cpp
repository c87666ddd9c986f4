// Environment block: checksums, look-up, listing and editing of the variable list.
//
// Positions are byte offsets from the start of the block. Nothing here reads or writes at
// ENV_SIZE or beyond: such a position reads as NUL, and a write there is skipped. So a
// block whose data area has no end marker (possible only from flash whose CRC matched)
// is still handled safely.
#include "env.h"

#include "message.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t DATA_START = 4;

struct CrcTable {
    uint32_t word[256];
};

constexpr CrcTable make_crc_table()
{
    CrcTable table{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table.word[i] = c;
    }
    return table;
}

// Built by the compiler: the program carries the table as constant data.
constexpr CrcTable CRC_TABLE = make_crc_table();

bool is_aligned(const void* start)
{
    return reinterpret_cast<uintptr_t>(start) % 4 == 0;
}

uint32_t crc_byte(uint32_t c, unsigned char b)
{
    return CRC_TABLE.word[(c ^ b) & 0xFF] ^ (c >> 8);
}

unsigned char* bytes_of(EnvBlock* block)
{
    return reinterpret_cast<unsigned char*>(block);
}

unsigned char byte_at(const unsigned char* base, size_t pos)
{
    return pos < ENV_SIZE ? base[pos] : 0;
}

void put_byte(unsigned char* base, size_t pos, unsigned char value)
{
    if (pos < ENV_SIZE)
        base[pos] = value;
}

// Offset one past the entry that starts at start: its NUL, or the block end.
size_t entry_end(const unsigned char* base, size_t start)
{
    size_t pos = start;
    while (pos < ENV_SIZE && base[pos] != 0)
        pos++;
    return pos;
}

// env_match with the entry bounded by limit bytes (the distance to the block end).
int match_bounded(const char* entry, size_t limit, const char* name)
{
    auto entry_char = [&](size_t i) { return i < limit ? entry[i] : '\0'; };
    size_t i = 0;
    for (;;) {
        char e = entry_char(i);
        if (e != name[i])
            return 0;
        // Both texts ended together with no '=' between: not a variable of that name.
        if (e == '\0')
            return 0;
        i++;
        e = entry_char(i);
        if (e == '=' && name[i] == '\0')
            return 1;
        if (e == '\0' && name[i] == '=')
            return 1;
    }
}

// Walks the list for the first entry of name. Returns its start, or the walk's end
// point (which may lie past the block end) when there is none; *found tells which.
size_t find_entry(const unsigned char* base, const char* name, bool* found)
{
    size_t pos = DATA_START;
    while (pos < ENV_SIZE && base[pos] != 0) {
        const char* entry = reinterpret_cast<const char*>(base + pos);
        if (match_bounded(entry, ENV_SIZE - pos, name)) {
            *found = true;
            return pos;
        }
        pos = entry_end(base, pos) + 1;
    }
    *found = false;
    return pos;
}

// Removes the entry at start by moving the rest of the list down over it, and ends the
// list with its end marker and one more NUL. Returns where the next entry goes.
size_t delete_entry(unsigned char* base, size_t start)
{
    size_t src = entry_end(base, start) + 1;
    size_t dst = start;
    if (byte_at(base, src) != 0) {
        for (;;) {
            unsigned char c = byte_at(base, src++);
            put_byte(base, dst++, c);
            if (c == 0 && byte_at(base, src) == 0)
                break;
        }
    }
    put_byte(base, dst, 0);
    put_byte(base, dst + 1, 0);
    return dst;
}

void put_text(unsigned char* base, size_t* pos, const char* text)
{
    for (; *text; text++)
        put_byte(base, (*pos)++, static_cast<unsigned char>(*text));
}

} // namespace

uint32_t crc32(uint32_t crc, const void* start, uint32_t count)
{
    if (!is_aligned(start)) {
        printf("unalign address for crc32(...),gave up!\n");
        return 0xFFFFFFFF;
    }
    const unsigned char* p = static_cast<const unsigned char*>(start);
    uint32_t c = ~crc;
    for (; count >= 8; count -= 8, p += 8) {
        c = crc_byte(c, p[0]);
        c = crc_byte(c, p[1]);
        c = crc_byte(c, p[2]);
        c = crc_byte(c, p[3]);
        c = crc_byte(c, p[4]);
        c = crc_byte(c, p[5]);
        c = crc_byte(c, p[6]);
        c = crc_byte(c, p[7]);
    }
    for (; count > 0; count--, p++)
        c = crc_byte(c, *p);
    return ~c;
}

uint32_t sum32(uint32_t sum, const void* start, uint32_t count)
{
    if (!is_aligned(start)) {
        printf("unalign address for sum32(...),gave up!\n");
        return 0xFFFFFFFF;
    }
    const unsigned char* p = static_cast<const unsigned char*>(start);
    for (uint32_t i = 0; i < count; i++)
        sum += p[i];
    return sum;
}

int env_match(const char* entry, const char* name)
{
    return match_bounded(entry, SIZE_MAX, name);
}

int env_set(EnvBlock* block, const char* name, const char* value)
{
    unsigned char* base = bytes_of(block);
    bool found = false;
    size_t insert = find_entry(base, name, &found);
    if (found)
        insert = delete_entry(base, insert);
    if (!value)
        return 0;

    long need = static_cast<long>(strlen(name) + strlen(value) + 3);
    long room = static_cast<long>(ENV_SIZE) - static_cast<long>(insert);
    if (room < need) {
        print_now("env overflow, \"%s\" deleted\n", name);
        return ENV_ERR_NO_ROOM;
    }
    put_text(base, &insert, name);
    put_byte(base, insert++, '=');
    put_text(base, &insert, value);
    // The entry's NUL, the end marker, and one more NUL (skipped at the block end).
    put_byte(base, insert++, 0);
    put_byte(base, insert++, 0);
    put_byte(base, insert, 0);
    return 0;
}

char* env_find(EnvBlock* block, const char* name)
{
    unsigned char* base = bytes_of(block);
    if (name) {
        bool found = false;
        size_t pos = find_entry(base, name, &found);
        return found ? reinterpret_cast<char*>(base + pos) : nullptr;
    }
    for (size_t pos = DATA_START; pos < ENV_SIZE && base[pos] != 0;) {
        size_t end = entry_end(base, pos);
        printf("%.*s\n", static_cast<int>(end - pos), reinterpret_cast<char*>(base + pos));
        pos = end + 1;
    }
    return nullptr;
}

int env_clear(EnvBlock* block)
{
    memset(block->data, 0, ENV_DATA_SIZE);
    return 0;
}
