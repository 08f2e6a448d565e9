// The fake's record stays exact when several threads call it at once.
#include <set>
#include <thread>
#include <vector>

#include "tests/fakes/fake_library.h"

namespace
{

TEST(FakePdaThreads, ConcurrentCallsAreAllRecordedWithUniqueHandles)
{
    FakeLibrary fake;
    ASSERT_NO_FATAL_FAILURE(fake.Load());
    fake.set_script("");
    const unsigned kThreads = 4, kCalls = 500;
    std::vector<std::vector<KVZHANDLE>> handles(kThreads);
    std::vector<std::thread> threads;
    auto open = fake.Entry<PFN_KVZ_CreateFileW>(KVZ_ORD_CreateFile);
    for (unsigned t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] {
            for (unsigned i = 0; i < kCalls; i++)
                handles[t].push_back(open(TEXT("\\a\\b.ogg"), GENERIC_READ, FILE_SHARE_READ, NULL,
                                          OPEN_EXISTING, 0, NULL));
        });
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(fake.call_count(), kThreads * kCalls);
    std::set<KVZHANDLE> unique;
    for (const auto &list : handles)
        unique.insert(list.begin(), list.end());
    EXPECT_EQ(unique.size(), (size_t)kThreads * kCalls);
    EXPECT_EQ(*unique.begin(), 100u);
    for (unsigned i = 0; i < kThreads * kCalls; i++)
        ASSERT_EQ(fake.get_call(i)->ordinal, (unsigned)KVZ_ORD_CreateFile) << "call " << i;
    fake.Free();
}

} // namespace
