#include "main.h"

int main(int argc, char** argv)
{
    return addrstamp_main(argc, argv);
}
