// COM for a scope: it undoes only what it did itself.
#include <gtest/gtest.h>

#include <thread>

#include "support/ComInit.h"

namespace {

constexpr int kNoCom = -1;

// The thread's COM: "none", "sta" or "mta".
const char* Apartment()
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    if (FAILED(::CoGetApartmentType(&type, &qualifier))) return "none";
    return (type == APTTYPE_STA || type == APTTYPE_MAINSTA) ? "sta" : "mta";
}

} // namespace

TEST(ScopedComInit, BalancesOnlyItsOwnSuccessfulCall)
{
    struct CASE {
        int before;             // how the thread was initialised first (kNoCom: not at all)
        HRESULT answer;         // what an apartment-threaded ScopedComInit then answers
        std::string during;     // the thread's COM inside the scope
        std::string after;      // and after it: as before the scope
    };
    const CASE cases[] = {
        {kNoCom, S_OK, "sta", "none"},
        {COINIT_APARTMENTTHREADED, S_FALSE, "sta", "sta"},
        {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE, "mta", "mta"},
    };
    for (const CASE& c : cases) {
        HRESULT answer = E_FAIL;
        std::string during, after;
        std::thread([&] {
            const HRESULT first = c.before != kNoCom ? ::CoInitializeEx(nullptr, static_cast<DWORD>(c.before)) : E_FAIL;
            {
                ScopedComInit com;
                answer = com.result();
                during = Apartment();
            }
            after = Apartment();
            if (SUCCEEDED(first)) ::CoUninitialize();
        }).join();
        EXPECT_EQ(answer, c.answer) << c.before;
        EXPECT_EQ(during, c.during) << c.before;
        EXPECT_EQ(after, c.after) << c.before;
    }
}
