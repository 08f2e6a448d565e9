// The output file of the file being extracted. One C stream object serves
// every output file in turn (freopen) with one static buffer, so extracting
// a file allocates nothing; only one file is written at any time.
#ifndef KVZ_UNPACK_OUTPUT_FILE_H
#define KVZ_UNPACK_OUTPUT_FILE_H

#include <stdio.h>

// Opens path with the mode "wb" (created or emptied). NULL on failure.
FILE *OpenOutputFile(const char *path);

// Flushes the open output file; false when its buffered bytes could not all
// be written.
bool FlushOutputFile(void);

// Closes the output file; the next OpenOutputFile starts a new stream.
void CloseOutputFile(void);

#endif
