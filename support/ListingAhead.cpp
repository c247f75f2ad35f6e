#include "support/ListingAhead.h"

#include <cwchar>
#include <system_error>

void HeldListing::List(const std::wstring& folder)
{
    m_entries.clear();
    m_names.clear();
    m_end = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        const size_t length = wcsnlen(e.cFileName, MAX_PATH - 1);
        m_entries.push_back({e.dwFileAttributes, e.ftCreationTime, e.ftLastAccessTime, e.ftLastWriteTime,
                             e.nFileSizeHigh, e.nFileSizeLow, e.dwReserved0, m_names.size(),
                             static_cast<unsigned>(length)});
        m_names.append(e.cFileName, length);
    });
}

void HeldListing::Fill(const ENTRY& entry, WIN32_FIND_DATAW& data) const noexcept
{
    data.dwFileAttributes = entry.attributes;
    data.ftCreationTime = entry.created;
    data.ftLastAccessTime = entry.accessed;
    data.ftLastWriteTime = entry.written;
    data.nFileSizeHigh = entry.sizeHigh;
    data.nFileSizeLow = entry.sizeLow;
    data.dwReserved0 = entry.reparseTag;
    wmemcpy(data.cFileName, m_names.data() + entry.nameAt, entry.nameLength);
    data.cFileName[entry.nameLength] = 0;
}

ListingAhead::~ListingAhead()
{
    // The walk's last error outlives it.
    const DWORD error = ::GetLastError();
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_lister.joinable()) m_lister.join();
    ::SetLastError(error);
}

void ListingAhead::Expect(const std::wstring& folder)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_alone || m_slots.count(folder)) return;
    if (!m_lister.joinable()) {
        try {
            m_lister = std::thread([this] { ListExpected(); });
        } catch (const std::system_error&) {
            m_alone = true;
            return;
        }
    }
    auto slot = std::make_shared<SLOT>();
    slot->folder = folder;
    m_queue.push_back(slot);
    m_slots.emplace(folder, std::move(slot));
    m_changed.notify_all();
}

HeldListing ListingAhead::Take(const std::wstring& folder)
{
    HeldListing listing;
    {
        std::unique_lock<std::mutex> hold(m_lock);
        const auto found = m_slots.find(folder);
        if (found != m_slots.end()) {
            const std::shared_ptr<SLOT> slot = found->second;
            m_slots.erase(found);
            if (slot->state == SlotState::Listing)
                m_changed.wait(hold, [&] { return slot->state != SlotState::Listing; });
            if (slot->state == SlotState::Listed) {
                m_heldEntries -= slot->listing.Count();
                m_changed.notify_all();
                return std::move(slot->listing);
            }
            // Still expected: the second thread skips it from now on.
            slot->state = SlotState::Dropped;
        }
    }
    listing.List(folder);
    return listing;
}

void ListingAhead::ListExpected()
{
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [&] { return m_stopping || (!m_queue.empty() && m_heldEntries < kHeldEntriesMost); });
        if (m_stopping) return;
        const std::shared_ptr<SLOT> slot = std::move(m_queue.back());
        m_queue.pop_back();
        if (slot->state != SlotState::Expected) continue;
        slot->state = SlotState::Listing;
        hold.unlock();
        bool listed = true;
        try {
            slot->listing.List(slot->folder);
        } catch (...) {
            // Out of memory here: the walk lists the folder itself.
            listed = false;
        }
        hold.lock();
        slot->state = listed ? SlotState::Listed : SlotState::Dropped;
        if (listed) m_heldEntries += slot->listing.Count();
        m_changed.notify_all();
    }
}
