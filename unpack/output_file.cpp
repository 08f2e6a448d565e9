// The output file and its buffer; see output_file.h.
#include "unpack/output_file.h"

#include "platform/file_stream.h"

unsigned char OutputBuffer[KVZ_UNPACK_OUTPUT_BUFFER_BYTES];
size_t OutputBuffered = 0;

static FILE *OutputStream = NULL;
static bool OutputFailed = false; // a write of the open file failed

bool OpenOutputFile(const char *path)
{
    if (OutputStream == NULL)
        OutputStream = KvzOpenFileStreamA(path, "wb");
    else
        OutputStream = KvzReopenFileStreamA(path, "wb", OutputStream);
    OutputBuffered = 0;
    OutputFailed = false;
    if (OutputStream == NULL)
        return false;
    // The stream's own buffer would only copy the bytes a second time.
    setvbuf(OutputStream, NULL, _IONBF, 0);
    return true;
}

static bool WriteThrough(const void *bytes, size_t count)
{
    if (OutputFailed || OutputStream == NULL)
        return false;
    if (count > 0 && fwrite(bytes, 1, count, OutputStream) != count)
        OutputFailed = true;
    return !OutputFailed;
}

static bool WriteBuffered(void)
{
    size_t count = OutputBuffered;
    OutputBuffered = 0;
    return WriteThrough(OutputBuffer, count);
}

bool WriteOutputFileSlow(const void *bytes, size_t count)
{
    if (!WriteBuffered())
        return false;
    if (count >= KVZ_UNPACK_OUTPUT_BUFFER_BYTES)
        return WriteThrough(bytes, count);
    memcpy(OutputBuffer, bytes, count);
    OutputBuffered = count;
    return true;
}

bool FlushOutputFile(void)
{
    if (!WriteBuffered())
        return false;
    if (fflush(OutputStream) != 0)
        OutputFailed = true;
    return !OutputFailed;
}

void CloseOutputFile(void)
{
    if (OutputStream != NULL)
        fclose(OutputStream);
    OutputStream = NULL;
    OutputBuffered = 0;
}
