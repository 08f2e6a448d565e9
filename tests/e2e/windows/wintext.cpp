// Reads a message box of another process: finds the top-level window by its
// caption and prints, one field per line, what a user sees in it. Text is
// UTF-8 with line feed, carriage return and backslash escaped as \n, \r, \\.
//
//   wintext "<caption>"
//
// Output:
//   caption <caption>
//   icon hand|exclamation|question|asterisk|none|other
//   iconrect <left> <top> <width> <height>   on the screen
//   button <control id> <text>        one line per button, in child order
//   text <static text>                one line per static text control
//   foreground 0|1
// Exit code 0 when the window was found, 1 when it was not, 2 on bad usage.
#include "platform/win32.h"

#include <stdio.h>
#include <string.h>

// Longest text read from one control; the proxy's longest box has ~150.
static const int MaxControlText = 2048;

static void PrintEscaped(LPCWSTR text)
{
    char utf8[MaxControlText * 4];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof utf8, NULL, NULL);
    if (n <= 0) {
        fputs("<unconvertible>", stdout);
        return;
    }
    for (const char *p = utf8; *p != 0; p++) {
        if (*p == '\n')
            fputs("\\n", stdout);
        else if (*p == '\r')
            fputs("\\r", stdout);
        else if (*p == '\\')
            fputs("\\\\", stdout);
        else
            putchar(*p);
    }
}

// Another process's control: ask the control itself, bounded in time.
static void ReadControlText(HWND control, WCHAR *text, int room)
{
    DWORD_PTR got = 0;
    text[0] = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, (WPARAM)room, (LPARAM)text, SMTO_ABORTIFHUNG,
                             2000, &got) ||
        got == 0)
        GetWindowTextW(control, text, room);
    text[room - 1] = 0;
}

static const char *IconName(HICON icon)
{
    if (icon == NULL)
        return "none";
    if (icon == LoadIconW(NULL, (LPCWSTR)IDI_HAND))
        return "hand";
    if (icon == LoadIconW(NULL, (LPCWSTR)IDI_EXCLAMATION))
        return "exclamation";
    if (icon == LoadIconW(NULL, (LPCWSTR)IDI_QUESTION))
        return "question";
    if (icon == LoadIconW(NULL, (LPCWSTR)IDI_ASTERISK))
        return "asterisk";
    return "other";
}

static BOOL CALLBACK PrintIcon(HWND child, LPARAM found)
{
    WCHAR cls[64];
    if (GetClassNameW(child, cls, 64) == 0 || lstrcmpiW(cls, TEXT("Static")) != 0)
        return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    // Icon handles are private to their process, so the icon is named only
    // when it happens to be shared; its place lets a screenshot show it.
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
    RECT r;
    GetWindowRect(child, &r);
    printf("icon %s\n", IconName((HICON)icon));
    printf("iconrect %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    *(BOOL *)found = TRUE;
    return TRUE;
}

static BOOL CALLBACK PrintButton(HWND child, LPARAM)
{
    WCHAR cls[64];
    if (GetClassNameW(child, cls, 64) == 0 || lstrcmpiW(cls, TEXT("Button")) != 0)
        return TRUE;
    if (!IsWindowVisible(child))
        return TRUE;
    WCHAR text[MaxControlText];
    ReadControlText(child, text, MaxControlText);
    printf("button %d ", GetDlgCtrlID(child));
    PrintEscaped(text);
    putchar('\n');
    return TRUE;
}

static BOOL CALLBACK PrintStaticText(HWND child, LPARAM)
{
    WCHAR cls[64];
    if (GetClassNameW(child, cls, 64) == 0 || lstrcmpiW(cls, TEXT("Static")) != 0)
        return TRUE;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        return TRUE;
    WCHAR text[MaxControlText];
    ReadControlText(child, text, MaxControlText);
    fputs("text ", stdout);
    PrintEscaped(text);
    putchar('\n');
    return TRUE;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: wintext <caption>\n");
        return 2;
    }
    WCHAR caption[256];
    if (MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, caption, 256) == 0)
        return 2;
    HWND box = FindWindowW(NULL, caption);
    if (box == NULL) {
        printf("no window\n");
        return 1;
    }
    fputs("caption ", stdout);
    PrintEscaped(caption);
    putchar('\n');
    BOOL haveIcon = FALSE;
    EnumChildWindows(box, PrintIcon, (LPARAM)&haveIcon);
    if (!haveIcon)
        printf("icon none\n");
    EnumChildWindows(box, PrintButton, 0);
    EnumChildWindows(box, PrintStaticText, 0);
    printf("foreground %d\n", GetForegroundWindow() == box ? 1 : 0);
    fflush(stdout);
    return 0;
}
