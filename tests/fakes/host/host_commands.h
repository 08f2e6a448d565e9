// Commands of the host application: each calls one or a few entry points of
// the loaded archive library and prints its result on standard output.
#ifndef KVZ_HOST_COMMANDS_H
#define KVZ_HOST_COMMANDS_H

#include <stdio.h>

#include "platform/win32.h"

// Longest command line (bytes, with its terminator) a command may have.
#define KVZ_HOST_MAX_LINE 4096

// Binds ordinals 1 to 20 of module in ascending order. Returns 0 when all are
// bound, or the first ordinal that is missing (later ones are not tried).
unsigned HostBindLibrary(HMODULE module);

// Lists the commands on out, one line each: name, arguments, what it calls.
// A closing note says how handles and numbers are written.
void HostPrintCommands(FILE *out);

// Runs one command line (modified in place) on the bound library and prints
// its result line(s), each flushed. An empty line prints nothing. Malformed
// arguments print "bad <command>", an unknown command "unknown <word>".
void HostRunCommand(char *line);

#endif
