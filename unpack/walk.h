// WalkDirectory: lists and extracts one directory of the mounted archive,
// walking its subdirectories depth first.
#ifndef KVZ_UNPACK_WALK_H
#define KVZ_UNPACK_WALK_H

// Run counters, zeroed by the run after the mount.
extern int MatchedCount;      // entries that passed every test, directories too
extern int ExtractedCount;    // files copied to their end and reported "OK"
extern int ArchiveEntryCount; // entries the platform does not find on disk
// Failures the walk reported, one per message: a file not extracted, a name
// or path refused, a directory that could not be searched or created (the
// mount directory and the target directory too). A directory whose walk got
// past its search and its output directory is no failure.
extern int FailedCount;

// Names the run's target directory (absolute), so that the walk never enters
// it as a real entry: with -a it may lie among the real files the walk
// copies, and would be copied into itself. NULL or "" names none.
void SetRunOutputDir(const char *target_dir);

// Walks the directory in dir_path (a buffer of kPathChars, dir_length
// characters used) into the output directory in output_path (output_length
// characters used; unused with -d). depth is 0 for the mount directory and
// sets the indentation of the listing lines. On return dir_path reads again
// as on entry; output_path holds whatever the walk last wrote. When extracting
// with -a, a real file whose output path resolves to its own path is skipped
// like "." and "..", so no file is opened for writing while it is read.
void WalkDirectory(char *dir_path, int dir_length, char *output_path, int output_length, int depth);

#endif
