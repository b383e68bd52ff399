// The engine's object lists.
//
// TObjectList is an array of object references of at most 65,534 slots that
// grows by 4, 8 or 16. An owning list (OwnsObjects) frees the objects it
// releases; the storage keeps the owned objects in unique_ptrs, so an owning
// list never leaks what it holds and a non-owning list never frees anything.
// TSortedObjectList keeps its items ordered by the virtual Compare, with a
// binary search (Find) that decides where equal keys land, and a duplicates
// policy (ignore, accept, error).
//
// Lists stream through a registry of classes by name; the system registers
// none itself, so an item of any class not registered cannot be saved or
// loaded.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/stream.h"

namespace pagorix {

// Far above the 65,535 entries of a classic archive, so a ZIP64 directory
// fits too; a list grows only as entries are actually read.
inline constexpr std::int32_t kMaxListCapacity = 0x7FFFFFF0;
inline constexpr std::size_t kMaxStreamedClassName = 63;
inline constexpr const char* kListIndexError = "Index liste hors bornes";

// The base of every object a list holds.
class TListObject {
public:
    virtual ~TListObject() = default;
    virtual std::string ClassName() const = 0;
};

// How a class streams: its factory, the routine that reads its data and the
// routine that writes it.
struct tRegisterRec {
    std::function<std::unique_ptr<TListObject>()> create;
    std::function<void(TListObject&, TStream&)> load;
    std::function<void(const TListObject&, TStream&)> save;
};
void RegisterListClass(const std::string& className, tRegisterRec record);
void UnregisterListClass(const std::string& className);

enum class TDuplicates : std::uint8_t { Ignore = 0, Accept = 1, Error = 2 };

class TObjectList {
public:
    TObjectList() = default;
    virtual ~TObjectList();
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;

    bool OwnsObjects = true;

    std::int32_t Count() const { return static_cast<std::int32_t>(m_items.size()); }
    std::int32_t Capacity() const { return m_capacity; }

    [[noreturn]] virtual void Error();
    virtual void Grow();
    virtual void Put(std::int32_t index, TListObject* item);
    virtual void FreeItem(TListObject* item);
    virtual std::int32_t Add(TListObject* item);
    virtual void Clear();
    virtual std::int32_t IndexOf(TListObject* item);
    virtual void Insert(std::int32_t index, TListObject* item);
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);
    TListObject* First() { return Get(0); }
    TListObject* Last() { return Get(Count() - 1); }
    virtual TListObject* Neighbour(TListObject* item, bool forward);

    // An owning list takes the object over; a non-owning one only refers to it.
    std::int32_t Add(std::unique_ptr<TListObject> item);

    TListObject* Get(std::int32_t index) const;
    void SetCapacity(std::int32_t n);
    void SetCount(std::int32_t n);
    void FreeAll();

protected:
    // The storage itself, bypassing the sorted order of derived lists.
    void InsertAt(std::int32_t index, TListObject* item);

private:
    struct Slot {
        TListObject* item = nullptr;
        std::unique_ptr<TListObject> owned;
    };
    std::vector<Slot> m_items;
    std::int32_t m_capacity = 0;
    // Objects handed over as unique_ptr wait here until they are inserted.
    std::unique_ptr<TListObject> m_pending;
};

class TSortedObjectList : public TObjectList {
public:
    explicit TSortedObjectList(TDuplicates duplicates) : Duplicates(duplicates) {}

    TDuplicates Duplicates;

    void Put(std::int32_t index, TListObject* item) override;
    std::int32_t Add(TListObject* item) override;
    using TObjectList::Add;
    std::int32_t IndexOf(TListObject* item) override;
    void Insert(std::int32_t index, TListObject* item) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

    virtual const TListObject* KeyOf(const TListObject* item) const { return item; }
    virtual int Compare(const TListObject* key1, const TListObject* key2) const = 0;
    virtual bool Find(const TListObject* key, std::int32_t& index) const;
};

}  // namespace pagorix
