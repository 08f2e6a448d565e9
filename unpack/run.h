// The run of kvz_unpack: options, archive path, KVZ32.DLL, mount, walk,
// summary, unmount.
#ifndef KVZ_UNPACK_RUN_H
#define KVZ_UNPACK_RUN_H

// Exit codes.
#define UNPACK_EXIT_OK 0          // the archive was walked without a failure, or help was asked
#define UNPACK_EXIT_FAILED 1      // a failure before the walk; its message was printed
#define UNPACK_EXIT_WALK_FAILED 2 // the walk reported a failure, or a -f name matched nothing

// Runs the program on its command line and returns its exit code. Path
// arguments are turned into the kit's backslash form where they are read.
int RunUnpacker(int argc, char **argv);

#endif
