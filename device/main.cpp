// addrstamp -m MAC
//
// Stores MAC as the boot environment variable ethaddr, and MAC plus one as eth1addr, in
// the environment block on /dev/mtd2, under a fresh CRC-32. The address text is not
// validated; at most its first 17 characters are used.
//
// Exit status: 0 when both variables were set and the block was stored; 1 when the
// device could not be opened or loaded, a variable did not fit, or the store failed;
// 255 for any other command line (the usage line is printed).
#include "main.h"

#include "env.h"
#include "flash.h"
#include "message.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* DEVICE_PATH = "/dev/mtd2";
// Six two-digit octets joined by five colons.
constexpr size_t MAC_TEXT_LENGTH = 17;
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 255;

bool is_hex_step(char c)
{
    return (c >= '0' && c <= '8') || (c >= 'a' && c <= 'e') || (c >= 'A' && c <= 'E');
}

} // namespace

void mac_increment(char* mac)
{
    int i = static_cast<int>(MAC_TEXT_LENGTH) - 1;
    for (;;) {
        char c = mac[i];
        if (c != 'f' && c != 'F') {
            if (c == '9')
                mac[i] = 'a';
            else if (is_hex_step(c))
                mac[i] = static_cast<char>(c + 1);
            return;
        }
        mac[i] = '0';
        if (--i < 0)
            return;
        if (mac[i] == ':' && --i < 0)
            return;
    }
}

int provision_mac(const char* text)
{
    EnvBlock buffer[ENV_BUFFER_SIZE / sizeof(EnvBlock)];
    static_assert(sizeof(buffer) == ENV_BUFFER_SIZE, "the block buffer holds ENV_BUFFER_SIZE bytes");
    memset(buffer, 0, sizeof(buffer));
    EnvBlock* block = &buffer[0];

    int fd = env_open(DEVICE_PATH, block);
    if (fd < 0)
        return -1;

    char mac[MAC_BUFFER_SIZE];
    memset(mac, 0, sizeof(mac));
    strncpy(mac, text, MAC_TEXT_LENGTH);

    int result = 0;
    print_now("Got MAC address %s \n", mac);
    if (env_set(block, "ethaddr", mac) < 0)
        result = -1;
    mac_increment(mac);
    print_now("Got MAC address %s \n", mac);
    if (env_set(block, "eth1addr", mac) < 0)
        result = -1;
    // The block is stored even when a variable did not fit, as the other one may have.
    if (env_close(fd, block) < 0)
        result = -1;
    return result;
}

int addrstamp_main(int argc, char** argv)
{
    if (argc != 3 || strcmp(argv[1], "-m") != 0) {
        printf("addrstamp -m 02:5E:71:00:00:01 \n");
        return EXIT_USAGE;
    }
    return provision_mac(argv[2]) == 0 ? EXIT_OK : EXIT_FAILED;
}
