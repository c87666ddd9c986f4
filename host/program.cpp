#include "main.h"

int main(int argc, char** argv) {
    return HostpinMain(argc, argv);
}
