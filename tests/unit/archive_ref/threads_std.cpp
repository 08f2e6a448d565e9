// RunThreads with the standard library's threads (host builds).
#include "ref_test_util.h"

#include <thread>
#include <vector>

void RunThreads(int count, void (*body)(void *context, int index), void *context)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; i++)
        threads.emplace_back(body, context, i);
    for (std::thread &t : threads)
        t.join();
}
