// The output file of the file being extracted. Only one file is written at a
// time, so one C stream object serves every output file in turn (freopen)
// and one static buffer of the unpacker's own collects the 100-byte pieces:
// extracting a file allocates nothing, and a large file reaches the system
// in few big writes instead of one stream call per piece.
#ifndef KVZ_UNPACK_OUTPUT_FILE_H
#define KVZ_UNPACK_OUTPUT_FILE_H

#include <stddef.h>
#include <stdio.h>
#include <string.h>

// Large enough that the system call per buffer costs little beside the
// copy, small enough to stay in the processor's cache between the copy into
// it and the write out of it.
#ifndef KVZ_UNPACK_OUTPUT_BUFFER_BYTES
#define KVZ_UNPACK_OUTPUT_BUFFER_BYTES (256u * 1024u)
#endif

extern unsigned char OutputBuffer[KVZ_UNPACK_OUTPUT_BUFFER_BYTES];
extern size_t OutputBuffered; // bytes of OutputBuffer not yet written

// Opens path with the mode "wb" (created or emptied) and empties the buffer.
// False on failure.
bool OpenOutputFile(const char *path);

// The write behind WriteOutputPiece when the buffer is full: writes the
// buffer out, then keeps or writes the bytes. False when a write failed.
bool WriteOutputFileSlow(const void *bytes, size_t count);

// The unit of the copy: every piece the unpacker writes comes in a buffer of
// this many bytes.
static const size_t kOutputPieceBytes = 100;

// Adds the first count bytes (at most kOutputPieceBytes) of piece, a buffer
// of kOutputPieceBytes bytes, to the output file. False when the file could
// not take them; every later write and flush of this file then fails too.
// Inline, and it copies the whole piece whatever count says (the bytes
// behind count are overwritten by the next piece or never written out): a
// copy of fixed length is a few moves, one of varying length a slow loop.
inline bool WriteOutputPiece(const unsigned char *piece, size_t count)
{
    if (KVZ_UNPACK_OUTPUT_BUFFER_BYTES - OutputBuffered >= kOutputPieceBytes) {
        memcpy(OutputBuffer + OutputBuffered, piece, kOutputPieceBytes);
        OutputBuffered += count;
        return true;
    }
    return WriteOutputFileSlow(piece, count);
}

// Writes out everything buffered and flushes the stream; false when any
// write of this file failed, now or before.
bool FlushOutputFile(void);

// Closes the output file; the next OpenOutputFile starts a new stream.
void CloseOutputFile(void);

#endif
