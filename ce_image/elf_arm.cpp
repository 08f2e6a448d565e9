#include "elf_arm.h"

// ---- Relocation names ----
// The types the writer handles, and those an ARM link can leave that it
// refuses: absolute and Thumb forms, dynamic-linking, GOT and TLS ones.
struct ArmRelocType {
    uint32_t type;
    const char *name;
};

static const ArmRelocType kArmRelocTypes[] = {
    {kArmRelNone, "R_ARM_NONE"},
    {kArmRelPc24, "R_ARM_PC24"},
    {kArmRelAbs32, "R_ARM_ABS32"},
    {kArmRelRel32, "R_ARM_REL32"},
    {5, "R_ARM_ABS16"},
    {8, "R_ARM_ABS8"},
    {10, "R_ARM_THM_CALL"},
    {20, "R_ARM_COPY"},
    {21, "R_ARM_GLOB_DAT"},
    {22, "R_ARM_JUMP_SLOT"},
    {23, "R_ARM_RELATIVE"},
    {24, "R_ARM_GOTOFF32"},
    {25, "R_ARM_BASE_PREL"},
    {26, "R_ARM_GOT_BREL"},
    {27, "R_ARM_PLT32"},
    {kArmRelCall, "R_ARM_CALL"},
    {kArmRelJump24, "R_ARM_JUMP24"},
    {30, "R_ARM_THM_JUMP24"},
    {38, "R_ARM_TARGET1"},
    {kArmRelV4bx, "R_ARM_V4BX"},
    {41, "R_ARM_TARGET2"},
    {kArmRelPrel31, "R_ARM_PREL31"},
    {43, "R_ARM_MOVW_ABS_NC"},
    {44, "R_ARM_MOVT_ABS"},
    {45, "R_ARM_MOVW_PREL_NC"},
    {46, "R_ARM_MOVT_PREL"},
    {47, "R_ARM_THM_MOVW_ABS_NC"},
    {48, "R_ARM_THM_MOVT_ABS"},
    {51, "R_ARM_THM_JUMP19"},
    {96, "R_ARM_GOT_PREL"},
    {102, "R_ARM_THM_JUMP11"},
    {103, "R_ARM_THM_JUMP8"},
    {104, "R_ARM_TLS_GD32"},
    {105, "R_ARM_TLS_LDM32"},
    {106, "R_ARM_TLS_LDO32"},
    {107, "R_ARM_TLS_IE32"},
    {108, "R_ARM_TLS_LE32"},
};

const char *ArmRelocName(uint32_t type)
{
    for (const ArmRelocType &t : kArmRelocTypes)
        if (t.type == type)
            return t.name;
    return nullptr;
}
