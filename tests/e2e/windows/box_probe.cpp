// Stand-in for the proxy's message boxes: shows one box with the proxy's
// caption, text and flags, prints the answer and returns it as exit code, so
// the message-box machinery can be proved without the proxy.
//
//   box_probe <kind>   kind: log (error, OK), warn (Yes/No), missing (error)
#include "platform/win32.h"

#include <stdio.h>
#include <string.h>

struct ProbeBox {
    const char *kind;
    LPCWSTR text;
    UINT flags;
};

static const ProbeBox ProbeBoxes[] = {
    {"log", TEXT("Fehler beim \u00d6ffnen der Log-Datei.\nLogging deaktiviert."), 0x10},
    {"warn",
     TEXT("Obwohl eigene Sounds installiert sind, k\u00f6nnen sie nicht abgespielt werden, da sie "
          "sich im selben Verzeichnis wie das .KVZ-Archiv befinden.\n\nTrotzdem Fortfahren?"),
     0x10034},
    {"missing", TEXT("Die Datei missing.dll wurde nicht gefunden!"), 0x10},
};

static const ProbeBox *FindProbeBox(const char *kind)
{
    for (const ProbeBox &box : ProbeBoxes)
        if (strcmp(box.kind, kind) == 0)
            return &box;
    return NULL;
}

int main(int argc, char **argv)
{
    const ProbeBox *box = argc == 2 ? FindProbeBox(argv[1]) : NULL;
    if (box == NULL) {
        fprintf(stderr, "usage: box_probe log|warn|missing\n");
        return 2;
    }
    printf("showing %s\n", box->kind);
    fflush(stdout);
    int answer = MessageBoxW(NULL, box->text, TEXT("Tonvaro - pdaKVZ.dll"), box->flags);
    printf("answer %d\n", answer);
    fflush(stdout);
    return answer;
}
