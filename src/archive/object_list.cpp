#include "archive/object_list.h"

#include <algorithm>
#include <map>

#include "archive/archive_errors.h"
#include "framework/sysutils.h"

namespace pagorix {

namespace {

std::map<std::string, tRegisterRec>& Registry() {
    static std::map<std::string, tRegisterRec> registry;
    return registry;
}

const tRegisterRec* FindClass(const std::string& name) {
    auto& registry = Registry();
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const auto& entry) { return SameText(entry.first, name); });
    return it == registry.end() ? nullptr : &it->second;
}

}  // namespace

void RegisterListClass(const std::string& className, tRegisterRec record) {
    Registry()[className] = std::move(record);
}

void UnregisterListClass(const std::string& className) {
    Registry().erase(className);
}

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

TListObject* TObjectList::Neighbour(TListObject* item, bool forward) {
    if (item == nullptr) {
        if (Count() == 0) return nullptr;
        return forward ? First() : Last();
    }
    std::int32_t index = TObjectList::IndexOf(item);
    if (index < 0) {
        throw EListError(Format(archive_messages::kNotInList, item->ClassName().c_str()));
    }
    index += forward ? 1 : -1;
    if (index < 0 || index >= Count()) return nullptr;
    return Get(index);
}

void TObjectList::SaveToStream(TStream& stream) {
    const std::uint8_t owns = OwnsObjects ? 1 : 0;
    stream.WriteBuffer(&owns, 1);
    const std::int32_t count = Count();
    const std::uint8_t countBytes[4] = {
        static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
        static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
    stream.WriteBuffer(countBytes, 4);
    for (std::int32_t i = 0; i < count; ++i) {
        const TListObject* item = Get(i);
        if (item == nullptr) throw EClassNotFound(archive_messages::kNilSourceClass);
        const std::string name = item->ClassName().substr(0, kMaxStreamedClassName);
        const tRegisterRec* record = FindClass(name);
        if (record == nullptr) {
            throw EClassNotFound(Format(archive_messages::kSourceNotRegistered, name.c_str()));
        }
        const auto length = static_cast<std::uint8_t>(name.size());
        stream.WriteBuffer(&length, 1);
        stream.WriteBuffer(name.data(), length);
        if (record->save) record->save(*item, stream);
    }
}

void TObjectList::LoadFromStream(TStream& stream) {
    std::uint8_t owns = 0;
    stream.ReadBuffer(&owns, 1);
    OwnsObjects = owns != 0;
    std::uint8_t countBytes[4] = {};
    stream.ReadBuffer(countBytes, 4);
    const std::int32_t count =
        static_cast<std::int32_t>(countBytes[0] | countBytes[1] << 8 | countBytes[2] << 16 |
                                  static_cast<std::uint32_t>(countBytes[3]) << 24);
    if (count < 0 || count > kMaxListCapacity - Count()) Error();
    if (Count() + count > m_capacity) SetCapacity(Count() + count);
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t length = 0;
        stream.ReadBuffer(&length, 1);
        std::string name(length, '\0');
        stream.ReadBuffer(name.data(), length);
        const tRegisterRec* record = FindClass(name);
        if (record == nullptr || !record->create) {
            throw EClassNotFound(Format(archive_messages::kClassNotRegistered, name.c_str()));
        }
        std::unique_ptr<TListObject> made = record->create();
        if (record->load) record->load(*made, stream);
        Add(std::move(made));
    }
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

void TSortedObjectList::SaveToStream(TStream& stream) {
    const auto duplicates = static_cast<std::uint8_t>(Duplicates);
    stream.WriteBuffer(&duplicates, 1);
    TObjectList::SaveToStream(stream);
}

void TSortedObjectList::LoadFromStream(TStream& stream) {
    std::uint8_t duplicates = 0;
    stream.ReadBuffer(&duplicates, 1);
    Duplicates = static_cast<TDuplicates>(duplicates > 2 ? 2 : duplicates);
    TObjectList::LoadFromStream(stream);
}

}  // namespace pagorix
