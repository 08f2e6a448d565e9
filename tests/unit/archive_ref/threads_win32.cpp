// RunThreads with Win32 threads: the win32 toolchain's C++ library has no
// std::thread.
#include "ref_test_util.h"

#include <vector>

struct ThreadStart {
    void (*body)(void *, int);
    void *context;
    int index;
};

static DWORD WINAPI ThreadMain(LPVOID parameter)
{
    ThreadStart *start = static_cast<ThreadStart *>(parameter);
    start->body(start->context, start->index);
    return 0;
}

void RunThreads(int count, void (*body)(void *context, int index), void *context)
{
    std::vector<ThreadStart> starts(count);
    std::vector<HANDLE> threads;
    for (int i = 0; i < count; i++) {
        starts[i] = {body, context, i};
        threads.push_back(CreateThread(nullptr, 0, ThreadMain, &starts[i], 0, nullptr));
    }
    WaitForMultipleObjects((DWORD)threads.size(), threads.data(), TRUE, INFINITE);
    for (HANDLE t : threads)
        CloseHandle(t);
}
