// Copy of one archive file through the one 100-byte CopyBuffer; see extract.h.
#include "unpack/extract.h"

#include <stdint.h>

#include "unpack/console.h"
#include "unpack/library.h"
#include "unpack/output_file.h"

// The unit of every read from the archive library.
static const DWORD kCopyPieceBytes = 100;
static_assert(kCopyPieceBytes == kOutputPieceBytes, "pieces go to the output whole");

static unsigned char CopyBuffer[kCopyPieceBytes];

// Progress: one dot whenever the tens of the percentage copied grow. The
// tens are copied * 10 / size rounded down, computed in 64 bits; the test
// itself is a multiplication, so the loop divides only when a dot is due.
struct Progress {
    uint32_t size;
    uint32_t tensShown;
    uint64_t nextDotAt; // copied * 10 reaching this shows the next dot
};

static void StartProgress(Progress *progress, uint32_t size)
{
    progress->size = size;
    progress->tensShown = 0;
    progress->nextDotAt = size;
}

static void ShowProgress(Progress *progress, uint32_t copied)
{
    if (progress->size == 0) {
        // Nothing to measure: one dot, as for every file of up to 100 bytes.
        if (progress->tensShown == 0) {
            PrintChar('.');
            progress->tensShown = 10;
        }
        return;
    }
    uint64_t scaled = (uint64_t)copied * 10;
    if (scaled < progress->nextDotAt)
        return;
    PrintChar('.');
    progress->tensShown = (uint32_t)(scaled / progress->size);
    progress->nextDotAt = ((uint64_t)progress->tensShown + 1) * progress->size;
}

// Result of CopyPieces.
#define COPY_DONE 0
#define COPY_READ_SHORT 1
#define COPY_WRITE_FAILED 2

static int CopyPieces(KVZHANDLE entry, uint32_t size)
{
    Progress progress;
    StartProgress(&progress, size);
    uint32_t copied = 0;
    for (;;) {
        ShowProgress(&progress, copied);
        DWORD count = 0;
        KvzReadFile(entry, CopyBuffer, kCopyPieceBytes, &count, NULL);
        if (count == 0)
            break;
        if (count > kCopyPieceBytes) {
            FlushOutputFile();
            return COPY_READ_SHORT; // a count the buffer cannot hold is no honest read
        }
        if (!WriteOutputPiece(CopyBuffer, count))
            return COPY_WRITE_FAILED;
        copied += count;
    }
    // The library reports a failed read as 0 bytes: only the size tells. The
    // bytes that did arrive stay in the output file either way.
    bool written = FlushOutputFile();
    if (copied != size)
        return COPY_READ_SHORT;
    return written ? COPY_DONE : COPY_WRITE_FAILED;
}

static bool ReportCopy(int result)
{
    if (result == COPY_DONE)
        PrintLine("OK");
    else if (result == COPY_READ_SHORT)
        PrintLine("Fehler beim Lesen der Datei!");
    else
        PrintLine("Fehler beim Schreiben der Datei!");
    return result == COPY_DONE;
}

bool ExtractFile(const char *entry_path, const char *output_path, unsigned long size)
{
    KVZHANDLE entry = KvzCreateFile(entry_path, GENERIC_READ, 0, NULL, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (entry == KVZ_INVALID_HANDLE) {
        PrintLineEnd();
        PrintText("Eingabedatei '");
        PrintText(entry_path);
        PrintLine("' ging nicht zu oeffnen.");
        return false;
    }
    if (!OpenOutputFile(output_path)) {
        PrintLineEnd();
        PrintText("Ausgabedatei '");
        PrintText(output_path);
        PrintLine("' ging nicht zu oeffnen.");
        KvzCloseHandle(entry);
        return false;
    }
    PrintChar(' ');
    bool copied = ReportCopy(CopyPieces(entry, (uint32_t)size));
    KvzCloseHandle(entry);
    return copied;
}

void FinishExtracting(void)
{
    CloseOutputFile();
}
