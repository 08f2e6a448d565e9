// The command line of kvz_unpack: options first, then the archive path.
#ifndef KVZ_UNPACK_OPTIONS_H
#define KVZ_UNPACK_OPTIONS_H

// Run settings, set only by ReadOptions.
extern bool ListOnly;            // -d: print the top level only
extern bool ArchiveOnly;         // cleared by -a: also real files beside the archive
extern const char *TargetDirArg; // rest of the last -o ("" = default)

// Result codes of ReadOptions.
#define OPTIONS_READ 0      // *archive_index is the archive argument, or argc
#define OPTIONS_NO_MEMORY 1 // "Nicht genug Speicher!" was printed

// Reads the options from argv[1] on: -d, -a, -f<name>, -o<dir>; reports any
// other letter (or a lone "-") as "Unbekannter Schalter: " and goes on.
// Stops at the first argument that does not begin with "-".
int ReadOptions(int argc, char **argv, int *archive_index);

// True for the usual requests for help: "-h", "-?", "--help" and "/?".
// Only the first argument is looked at for them.
bool IsHelpRequest(const char *argument);

// The six lines of the usage text.
void PrintUsage(void);

#endif
