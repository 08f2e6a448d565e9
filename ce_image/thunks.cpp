#include "thunks.h"

#include "imports.h"

// ldr/ldr/bx rather than "ldr pc, [r12]": bx switches to Thumb when coredll's
// or the next library's entry is Thumb code, as ARMV4I devices allow.
static const char kThunk[] = "\n"
                             "\t.section .kvz_thunk.%1$s,\"ax\",%%progbits\n"
                             "\t.global %1$s\n"
                             "\t.type %1$s, %%function\n"
                             "\t.p2align 2\n"
                             "%1$s:\n"
                             "\tldr r12, 1f\n"
                             "\tldr r12, [r12]\n"
                             "\tbx r12\n"
                             "1:\t.word %2$s%1$s\n"
                             "\t.size %1$s, . - %1$s\n"
                             "\n"
                             "\t.section .kvz_iat.%1$s,\"aw\",%%progbits\n"
                             "\t.global %2$s%1$s\n"
                             "\t.type %2$s%1$s, %%object\n"
                             "\t.p2align 2\n"
                             "%2$s%1$s:\n"
                             "\t.word 0\n"
                             "\t.size %2$s%1$s, 4\n";

bool ThunksWrite(const NameList *coredll, const char *list_name, FILE *out)
{
    fprintf(out,
            "@ Thunks for the exports of coredll.dll, written by kvz_ce_image from %s.\n"
            "@ Do not edit.\n"
            "\t.syntax unified\n"
            "\t.arm\n",
            list_name);
    for (uint32_t i = 0; i < coredll->count; i++)
        fprintf(out, kThunk, coredll->names[i], kImportSlotPrefix);
    return !ferror(out);
}
