// The command line's options; see options.h.
#include "unpack/options.h"

#include <string.h>

#include "platform/win32.h"
#include "unpack/console.h"
#include "unpack/name_filter.h"

bool ListOnly = false;
bool ArchiveOnly = true;
const char *TargetDirArg = "";

static void ReportUnknownOption(const char *argument)
{
    PrintText("Unbekannter Schalter: ");
    if (argument[1] == 0)
        PrintText("''");
    else
        PrintChar(argument[1]);
    PrintLineEnd();
}

// One option argument; false when storage ran out.
static bool ReadOption(char *argument)
{
    char *rest = argument + 2;
    switch (argument[1]) {
    case 'd':
        ListOnly = true;
        break;
    case 'a':
        ArchiveOnly = false;
        break;
    case 'f':
        if (argument[2] != 0 && !AddFilterName(rest)) {
            PrintLine("Nicht genug Speicher!");
            return false;
        }
        break;
    case 'o':
        if (argument[2] != 0)
            KvzArgToPath(rest);
        TargetDirArg = rest;
        break;
    default:
        ReportUnknownOption(argument);
        break;
    }
    return true;
}

int ReadOptions(int argc, char **argv, int *archive_index)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++)
        if (!ReadOption(argv[i]))
            return OPTIONS_NO_MEMORY;
    *archive_index = i;
    return OPTIONS_READ;
}

bool IsHelpRequest(const char *argument)
{
    static const char *const requests[] = {"-h", "-?", "--help", "/?"};
    for (const char *request : requests)
        if (strcmp(argument, request) == 0)
            return true;
    return false;
}

void PrintUsage(void)
{
    PrintLine("Aufruf: kvz_unpack [-d] [-a] [-f<D1> [-f<D2>] ...] [-o<Zielordner>] <KVZ-Datei>");
    PrintLine("Optionen:");
    PrintLine("\t-d\tEs wird nur die Dateistruktur ausgegeben");
    PrintLine("\t-a\tNicht nur die Dateien im KVZ-Archiv werden durchlaufen");
    PrintLine("\t-o\tAngabe des Zielverzeichnis, in das entpackt wird (wird ggf. angelegt)");
    PrintLine("\t-f\tDatei(en) ohne Pfad, die durchlaufen werden soll(en) (ansonsten: alle)");
}
