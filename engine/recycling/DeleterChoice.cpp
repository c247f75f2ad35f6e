#include "engine/recycling/DeleterChoice.h"

#include <objbase.h>

#include "engine/recycling/ShellDelete.h"
#include "engine/recycling/FileOperationRecycler.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

namespace {

// Today's path: one SHFileOperationW call per item, answered at once.
class CShellDeleteRecycler final : public IRecycler {
public:
    CShellDeleteRecycler(HWND owner, RECYCLER_EVENTS events) : m_owner(owner), m_events(std::move(events)) {}

    bool Add(const std::wstring& path, RecycleKind kind) override
    {
        return m_events.done(path, {ShellDeleteItem(path, ShellFlagsFor(kind), m_owner), {}, false});
    }
    bool Flush() override { return true; }

private:
    HWND m_owner;
    RECYCLER_EVENTS m_events;
};

// Where the shell's file operation failed its check: nothing goes anywhere.
// The first item's turn says why, in one line; every item stays and fails.
class CRefusingRecycler final : public IRecycler {
public:
    CRefusingRecycler(HRESULT probe, RECYCLER_EVENTS events) : m_probe(probe), m_events(std::move(events)) {}

    bool Add(const std::wstring& path, RecycleKind) override
    {
        if (!m_told && m_events.line) m_events.line(NoDeleterLine(m_probe));
        m_told = true;
        return m_events.done(path, {kErrorNoDeleter, {}, true});
    }
    bool Flush() override { return true; }

private:
    HRESULT m_probe;
    RECYCLER_EVENTS m_events;
    bool m_told = false;
};

// IFileOperation wants an apartment-threaded COM thread; any other thread
// (no COM, or the multithreaded apartment) keeps to today's path. The
// apartment's kind is asked of Windows 7 and later by name (Vista lacks the
// function, and the programs must start there); elsewhere a second
// CoInitializeEx tells it: S_FALSE when the thread already has that apartment.
bool IsApartmentThreaded()
{
    using GetApartmentType = HRESULT(WINAPI*)(APTTYPE*, APTTYPEQUALIFIER*);
    static const auto query = reinterpret_cast<GetApartmentType>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ole32.dll"), "CoGetApartmentType")));
    if (query) {
        APTTYPE type{};
        APTTYPEQUALIFIER qualifier{};
        return SUCCEEDED(query(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
    }
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) ::CoUninitialize();   // balanced: the thread keeps what it had
    return hr == S_FALSE;
}

// Asked on the first apartment-threaded thread that wants to know, then kept.
HRESULT ProbeResult()
{
    static const HRESULT probe = ProbeFileOperationDeletes();
    return probe;
}

DeleterChoice ThisThreadsDeleter()
{
    return IsApartmentThreaded() ? ChooseDeleter(ProbeResult()) : DeleterChoice::ShellCall;
}

} // namespace

std::unique_ptr<IRecycler> CreateRecycler(HWND owner, RECYCLER_EVENTS events)
{
    switch (ThisThreadsDeleter()) {
    case DeleterChoice::FileOperation: return CreateFileOperationRecycler(owner, std::move(events));
    case DeleterChoice::None: return std::make_unique<CRefusingRecycler>(ProbeResult(), std::move(events));
    case DeleterChoice::ShellCall: break;
    }
    return std::make_unique<CShellDeleteRecycler>(owner, std::move(events));
}

const wchar_t* ActiveDeleterName()
{
    switch (ThisThreadsDeleter()) {
    case DeleterChoice::FileOperation: return L"IFileOperation";
    case DeleterChoice::None: return L"none";
    case DeleterChoice::ShellCall: break;
    }
    return L"SHFileOperation";
}
