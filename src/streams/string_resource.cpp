#include "streams/string_resource.h"

#include <array>
#include <map>
#include <memory>
#include <string_view>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace pagorix {

namespace {

// The "S_Stream" table, laid out at compile time from its texts.
constexpr std::array<std::string_view, 7> kStreamTexts = {"Seek error",
                                                          "Invalid seek origin (%d)",
                                                          "Putback overflow",
                                                          "Cannot find resource",
                                                          "Cannot access resource",
                                                          "Seek past end of resource stream",
                                                          "Cannot write to a resource stream"};

constexpr size_t StreamTableSize() {
    size_t size = 2;  // end mark
    for (auto text : kStreamTexts)
        size += 3 + text.size();
    return size;
}

constexpr std::array<std::uint8_t, StreamTableSize()> MakeStreamTable() {
    std::array<std::uint8_t, StreamTableSize()> bytes{};
    size_t at = 0;
    std::int16_t id = 1;
    for (auto text : kStreamTexts) {
        bytes[at++] = static_cast<std::uint8_t>(id & 0xFF);
        bytes[at++] = static_cast<std::uint8_t>((id >> 8) & 0xFF);
        bytes[at++] = static_cast<std::uint8_t>(text.size());
        for (char c : text)
            bytes[at++] = static_cast<std::uint8_t>(c);
        ++id;
    }
    return bytes;  // the last two bytes stay 00 00: the end mark
}

constexpr auto kStreamTableData = MakeStreamTable();
static_assert(kStreamTableData.size() == 180);

// On hosts without resource sections the table is embedded data.
const bool kRegistered = [] {
    platform::RegisterResource({kStringTableType, kStreamTable, kStreamTableData});
    return true;
}();

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareText(a, b) < 0;
    }
};

using Cache = std::map<std::string, std::unique_ptr<TS_StringResource>, CaseInsensitiveLess>;

Cache& TheCache() {
    static Cache cache;
    return cache;
}

}  // namespace

std::span<const std::uint8_t> StreamTableBytes() {
    return kStreamTableData;
}

TS_StringResource::TS_StringResource(const std::string& name) {
    if (!name.empty()) Open(name);
}

TS_StringResource::~TS_StringResource() {
    Close();
}

const std::uint8_t* TS_StringResource::NextEntry(const std::uint8_t* entry) {
    if (entry == nullptr || !m_resData) return nullptr;
    const std::uint8_t* const end = m_resData->data() + m_resData->size();
    if (end - entry < 3) return nullptr;
    const std::uint8_t* next = entry + 3 + entry[2];
    return next < end ? next : nullptr;
}

const std::uint8_t* TS_StringResource::FindEntry(std::int16_t id) {
    if (!m_resData) return nullptr;
    const std::uint8_t* const end = m_resData->data() + m_resData->size();
    for (const std::uint8_t* entry = m_entries; entry != nullptr && end - entry >= 2;
         entry = NextEntry(entry)) {
        const auto entryId = static_cast<std::int16_t>(entry[0] | (entry[1] << 8));
        if (entryId == 0) return nullptr;
        // An entry whose text would run past the table's end is not usable.
        if (end - entry < 3 || end - entry < 3 + entry[2]) return nullptr;
        if (entryId == id) return entry;
    }
    return nullptr;
}

void TS_StringResource::Open(const std::string& name) {
    Close();
    m_resData = platform::FindProgramResource(kStringTableType, name);
    if (!m_resData) throw Exception(Format(SNoSuchResource, name.c_str()));
}

void TS_StringResource::Close() {
    while (m_entries != nullptr)
        Unlock();
    m_resData.reset();
}

void TS_StringResource::Lock() {
    if (!m_resData) throw EOutOfResources(SCannotLockResource);
    m_entries = m_resData->data();
}

void TS_StringResource::Unlock() {
    m_entries = nullptr;
}

std::string TS_StringResource::GetString(std::int16_t id) {
    Lock();
    std::string text;
    try {
        if (const std::uint8_t* entry = FindEntry(id)) {
            text.assign(reinterpret_cast<const char*>(entry + 3), entry[2]);
        }
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
    return text;
}

std::string GetResString(const std::string& table, int id) {
    (void)kRegistered;
    Cache& cache = TheCache();
    auto it = cache.find(table);
    if (it == cache.end()) {
        auto resource = std::make_unique<TS_StringResource>(table);
        it = cache.emplace(table, std::move(resource)).first;
    }
    return it->second->GetString(static_cast<std::int16_t>(id));
}

}  // namespace pagorix
