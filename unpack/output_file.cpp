#include "unpack/output_file.h"

#include "platform/file_stream.h"

// Big enough that a large file is written in few system calls.
#define OUTPUT_STREAM_BUFFER_BYTES 65536

static char OutputStreamBuffer[OUTPUT_STREAM_BUFFER_BYTES];
static FILE *OutputStream = NULL;

FILE *OpenOutputFile(const char *path)
{
    if (OutputStream == NULL)
        OutputStream = KvzOpenFileStreamA(path, "wb");
    else
        OutputStream = KvzReopenFileStreamA(path, "wb", OutputStream);
    if (OutputStream != NULL)
        setvbuf(OutputStream, OutputStreamBuffer, _IOFBF, sizeof OutputStreamBuffer);
    return OutputStream;
}

bool FlushOutputFile(void)
{
    return OutputStream != NULL && fflush(OutputStream) == 0;
}

void CloseOutputFile(void)
{
    if (OutputStream != NULL)
        fclose(OutputStream);
    OutputStream = NULL;
}
