// kvz_unpack: lists or extracts one KVZ archive through KVZ32.DLL.
#include "unpack/run.h"

int main(int argc, char **argv)
{
    return RunUnpacker(argc, argv);
}
