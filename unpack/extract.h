// ExtractFile: the copy of one archive file to its output file, 100 bytes at
// a time, with its progress dots. One output stream serves every file in
// turn (output_file.h), so the last file stays open until FinishExtracting.
#ifndef KVZ_UNPACK_EXTRACT_H
#define KVZ_UNPACK_EXTRACT_H

// Copies one archive file (entry_path) to output_path, printing the dots and
// "OK" or the reason it failed behind the listing line; size is the entry's
// size from its find data. True when the file was copied to its end and
// "OK" printed; false after a failure message.
bool ExtractFile(const char *entry_path, const char *output_path, unsigned long size);

// Closes the output file that the last ExtractFile left open. Called once,
// after the walk; harmless when nothing was extracted.
void FinishExtracting(void);

#endif
