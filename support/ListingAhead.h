#pragma once
// Listing ahead of a depth-first walk. The walk says which folders it will
// list later (Expect); a second thread lists them meanwhile, most recently
// expected first, and the walk takes each listing when it gets there (Take).
// Every folder is listed once, by whichever thread comes to it first; the walk
// sees the same entries in the same order as its own listing would show, only
// sooner. When the second thread cannot start, the walk lists everything itself.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>
#include "support/DirListing.h"
#include "support/NoCopy.h"

// A folder's entries as one listing found them, kept after the listing closed,
// with how it ended.
class HeldListing {
public:
    // Lists `folder` now (with or without a trailing separator).
    void List(const std::wstring& folder);

    size_t Count() const noexcept { return m_entries.size(); }

    // Hands every entry to `onEntry` in listing order, as ForEachEntry does,
    // and ends as the listing ended. An `onEntry` that answers bool stops the
    // replay by answering false.
    template <typename OnEntry>
    LISTING_END ForEach(OnEntry&& onEntry) const
    {
        WIN32_FIND_DATAW data{};
        for (const ENTRY& entry : m_entries) {
            Fill(entry, data);
            if (!OnEntryGoesOn(onEntry, data)) {
                LISTING_END stopped;
                stopped.opened = stopped.stopped = true;
                return stopped;
            }
        }
        return m_end;
    }

private:
    // What the program reads of an entry; the names lie end to end in m_names.
    struct ENTRY {
        DWORD attributes;
        FILETIME created, accessed, written;
        DWORD sizeHigh, sizeLow;
        DWORD reparseTag;
        size_t nameAt;
        unsigned nameLength;
    };
    void Fill(const ENTRY& entry, WIN32_FIND_DATAW& data) const noexcept;

    std::vector<ENTRY> m_entries;
    std::wstring m_names;
    LISTING_END m_end;
};

class ListingAhead : CNoCopy {
public:
    ListingAhead() = default;
    // Waits for the listing in hand, if any; what was listed ahead and never
    // taken is dropped. The last error stays as it was.
    ~ListingAhead();

    // `folder`, spelled as it will be taken, will be listed later.
    void Expect(const std::wstring& folder);
    // The listing of `folder`: the one made ahead, waited for while it is being
    // made, else made now on this thread.
    HeldListing Take(const std::wstring& folder);

private:
    enum class SlotState { Expected, Listing, Listed, Dropped };
    struct SLOT {
        std::wstring folder;
        SlotState state = SlotState::Expected;
        HeldListing listing;
    };
    // Entries held at most in listings not yet taken: beyond it the second
    // thread waits until the walk takes some.
    static constexpr size_t kHeldEntriesMost = 1u << 18;

    void ListExpected();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::shared_ptr<SLOT>> m_queue;   // the most recently expected last
    std::unordered_map<std::wstring, std::shared_ptr<SLOT>> m_slots;
    size_t m_heldEntries = 0;
    bool m_stopping = false;
    bool m_alone = false;   // the second thread could not start
    std::thread m_lister;
};
