#include "archive/object_list.h"

#include <algorithm>

#include "archive/archive_errors.h"
#include "framework/sysutils.h"

namespace pagorix {

TObjectList::~TObjectList() {
    FreeAll();
}

void TObjectList::Error() {
    throw EListError(kListIndexError);
}

void TObjectList::Grow() {
    std::int32_t delta = 4;
    if (m_capacity > 8) {
        delta = 16;
    } else if (m_capacity > 4) {
        delta = 8;
    }
    SetCapacity(m_capacity + delta);
}

void TObjectList::SetCapacity(std::int32_t n) {
    if (n < Count() || n > kMaxListCapacity) Error();
    // The storage grows geometrically underneath the list's own capacity,
    // which grows by 16: otherwise filling a large directory moves every
    // entry again at each step.
    const auto wanted = static_cast<size_t>(n);
    if (wanted > m_items.capacity()) m_items.reserve(std::max(wanted, m_items.capacity() * 2));
    m_capacity = n;
}

void TObjectList::SetCount(std::int32_t n) {
    if (n < 0 || n > kMaxListCapacity) Error();
    if (n > m_capacity) SetCapacity(n);
    m_items.resize(static_cast<size_t>(n));
}

TListObject* TObjectList::Get(std::int32_t index) const {
    if (index < 0 || index >= Count()) const_cast<TObjectList*>(this)->Error();
    return m_items[static_cast<size_t>(index)].item;
}

void TObjectList::Put(std::int32_t index, TListObject* item) {
    if (index < 0 || index >= Count()) Error();
    // The new object is only referred to. An object the list owned dies with
    // the replacement rather than leaking, unless it is put back in place.
    Slot& slot = m_items[static_cast<size_t>(index)];
    if (slot.item == item) return;
    slot.owned.reset();
    slot.item = item;
}

void TObjectList::FreeItem(TListObject* item) {
    if (!OwnsObjects || item == nullptr) return;
    for (Slot& slot : m_items) {
        if (slot.item == item && slot.owned) {
            slot.owned.reset();
            slot.item = nullptr;
            return;
        }
    }
    if (m_pending.get() == item) m_pending.reset();
}

std::int32_t TObjectList::Add(TListObject* item) {
    const std::int32_t index = Count();
    InsertAt(index, item);
    return index;
}

std::int32_t TObjectList::Add(std::unique_ptr<TListObject> item) {
    TListObject* raw = item.get();
    if (OwnsObjects) m_pending = std::move(item);
    const std::int32_t countBefore = Count();
    std::int32_t index = -1;
    try {
        index = Add(raw);
    } catch (...) {
        m_pending.reset();
        throw;
    }
    // A sorted list that ignored a duplicate did not take the object: it
    // dies with m_pending, as nobody else holds it.
    m_pending.reset();
    return Count() > countBefore ? index : -1;
}

void TObjectList::InsertAt(std::int32_t index, TListObject* item) {
    if (index < 0 || index > Count()) Error();
    if (Count() == m_capacity) Grow();
    Slot slot;
    slot.item = item;
    if (OwnsObjects && m_pending && m_pending.get() == item) slot.owned = std::move(m_pending);
    m_items.insert(m_items.begin() + index, std::move(slot));
}

void TObjectList::Insert(std::int32_t index, TListObject* item) {
    InsertAt(index, item);
}

void TObjectList::Clear() {
    m_items.clear();
    m_items.shrink_to_fit();
    m_capacity = 0;
}

void TObjectList::FreeAll() {
    for (Slot& slot : m_items) {
        if (OwnsObjects) slot.owned.reset();
        slot.item = nullptr;
    }
    Clear();
}

std::int32_t TObjectList::IndexOf(TListObject* item) {
    for (std::int32_t i = 0; i < Count(); ++i) {
        if (m_items[static_cast<size_t>(i)].item == item) return i;
    }
    return -1;
}

// ---- TSortedObjectList ----

bool TSortedObjectList::Find(const TListObject* key, std::int32_t& index) const {
    bool result = false;
    std::int32_t lo = 0;
    std::int32_t hi = Count() - 1;
    while (lo <= hi) {
        const std::int32_t mid = (lo + hi) >> 1;
        const int c = Compare(KeyOf(Get(mid)), key);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                result = true;
                if (Duplicates != TDuplicates::Accept) lo = mid;
            }
        }
    }
    index = lo;
    return result;
}

void TSortedObjectList::Insert(std::int32_t /*index*/, TListObject* item) {
    std::int32_t at = 0;
    if (Find(KeyOf(item), at)) {
        if (Duplicates == TDuplicates::Ignore) return;
        if (Duplicates == TDuplicates::Error) throw EListError(archive_messages::kDuplicateIndex);
    }
    InsertAt(at, item);
}

std::int32_t TSortedObjectList::Add(TListObject* item) {
    Insert(0, item);
    // The sorted place is not reported.
    return -1;
}

std::int32_t TSortedObjectList::IndexOf(TListObject* item) {
    std::int32_t at = 0;
    return Find(KeyOf(item), at) ? at : -1;
}

void TSortedObjectList::Put(std::int32_t /*index*/, TListObject* /*item*/) {
    throw EListError(archive_messages::kSortedPut);
}

}  // namespace pagorix
