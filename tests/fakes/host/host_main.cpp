// kvz_host: loads an archive library by path as the handheld application does
// (LoadLibraryW, then binding ordinals 1 to 20 with GetProcAddressW) and runs
// commands on it, printing each call's result on one line.
//
//   kvz_host <library path> [command ...]
//
// Each further argument is one command line ("mount \a\x.KVZ \a"); without
// any, command lines are read from standard input until its end. The commands
// are listed by "kvz_host --help" (or -h, or no arguments), their output in
// host_commands.cpp.
//
// Standard input: a Yes/No message box shown while the library loads (the
// proxy's same-directory question) reads one answer line from standard input
// first, before any command line, so a caller that expects the box feeds
// "n\n" or "y\n" ahead of its commands.
//
// Output: "loaded" once the library is loaded; "load failed <error>" with exit
// code 2 when it cannot be; "bind failed <ordinal>" with exit code 3 at the
// first missing ordinal. Exit code 0 after the last command.
#include <stdio.h>
#include <string.h>

#include "tests/fakes/fake_text.h"
#include "tests/fakes/host/host_commands.h"

static void RunArgument(const char *argument)
{
    char line[KVZ_HOST_MAX_LINE];
    size_t length = strlen(argument);
    if (length >= sizeof line) {
        printf("bad line\n");
        fflush(stdout);
        return;
    }
    memcpy(line, argument, length + 1);
    HostRunCommand(line);
}

// Skips the rest of a line that did not fit.
static void SkipRestOfLine(void)
{
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
    }
}

static void RunStandardInput(void)
{
    char line[KVZ_HOST_MAX_LINE];
    while (fgets(line, sizeof line, stdin) != NULL) {
        size_t length = strlen(line);
        int whole = length > 0 && line[length - 1] == '\n';
        if (!whole && length + 1 == sizeof line) {
            SkipRestOfLine();
            printf("bad line\n");
            fflush(stdout);
            continue;
        }
        line[strcspn(line, "\r\n")] = 0;
        HostRunCommand(line);
    }
}

// The command line and the commands.
static void PrintUsage(FILE *out)
{
    fprintf(out, "usage: kvz_host <library path> [command ...]\n"
                 "Each command is one argument, or one line of standard input:\n");
    HostPrintCommands(out);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    if (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    KvzArgToPath(argv[1]);
    WCHAR path[MAX_PATH];
    HMODULE library = NULL;
    if (FakeUtf8ToWide(argv[1], path, MAX_PATH) < 0)
        SetLastError(ERROR_INVALID_NAME);
    else
        library = LoadLibraryW(path);
    if (library == NULL) {
        printf("load failed %lu\n", (unsigned long)GetLastError());
        return 2;
    }
    printf("loaded\n");
    fflush(stdout);
    unsigned missing = HostBindLibrary(library);
    if (missing != 0) {
        printf("bind failed %u\n", missing);
        FreeLibrary(library);
        return 3;
    }
    if (argc > 2)
        for (int i = 2; i < argc; i++)
            RunArgument(argv[i]);
    else
        RunStandardInput();
    FreeLibrary(library);
    return 0;
}
