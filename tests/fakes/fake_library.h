// Test helper: the fake handheld library loaded and bound, for tests in the
// same process. Header-only, test code.
#ifndef KVZ_FAKE_LIBRARY_H
#define KVZ_FAKE_LIBRARY_H

#include <gtest/gtest.h>

#include "archive_api/kvz_api.h"
#include "tests/fakes/fake_control.h"

struct FakeLibrary {
    HMODULE module = NULL;
    PFN_KvzFakeSetScript set_script = nullptr;
    PFN_KvzFakeCallCount call_count = nullptr;
    PFN_KvzFakeGetCall get_call = nullptr;
    FARPROC entries[KVZ_HANDHELD_ORDINAL_COUNT] = {};

    template <typename T> T Entry(unsigned ordinal) const
    {
        return (T)(void (*)(void))entries[ordinal - 1];
    }
    template <typename T> T Control(const char *name) const
    {
        return (T)(void (*)(void))GetProcAddress(module, name);
    }

    // Loads fake_pda.dll from the program's directory and binds everything;
    // fails the test, naming what is missing, when it cannot.
    void Load()
    {
        module = LoadLibraryW(TEXT("fake_pda.dll"));
        ASSERT_NE(module, (HMODULE)NULL)
            << "LoadLibraryW(fake_pda.dll) failed, error " << GetLastError();
        set_script = Control<PFN_KvzFakeSetScript>("KvzFakeSetScript");
        call_count = Control<PFN_KvzFakeCallCount>("KvzFakeCallCount");
        get_call = Control<PFN_KvzFakeGetCall>("KvzFakeGetCall");
        ASSERT_TRUE(set_script && call_count && get_call) << "a control export is missing";
        for (unsigned ordinal = 1; ordinal <= KVZ_HANDHELD_ORDINAL_COUNT; ordinal++) {
            entries[ordinal - 1] = GetProcAddressW(module, KVZ_ORDINAL_NAMEW(ordinal));
            ASSERT_NE(entries[ordinal - 1], nullptr) << "ordinal " << ordinal << " missing";
        }
    }

    void Free()
    {
        if (module != NULL)
            FreeLibrary(module);
        module = NULL;
    }
};

#endif
