// Message texts from a compact string table carried as a resource of type
// "S_StringTable". An entry is a signed 16-bit id, a one-byte length L and L
// bytes of text; the id 0 ends the table. Tables are looked up by name through
// a process-wide cache that keeps every table it opened until the end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pagorix {

inline constexpr const char* kStringTableType = "S_StringTable";
inline constexpr const char* kStreamTable = "S_Stream";

// Messages of the program's ordinary string table, by id.
inline constexpr int kIdCannotLoadResource = 4288;
inline constexpr int kIdCannotLockResource = 4289;
inline constexpr int kIdNoSuchResource = 4290;
inline constexpr const char* SCannotLoadResource = "Cannot load Korvel string resource";
inline constexpr const char* SCannotLockResource = "Cannot lock string resource";
inline constexpr const char* SNoSuchResource = "No such string resource: %s";

class TS_StringResource {
public:
    // Opens the named table when the name is not empty.
    explicit TS_StringResource(const std::string& name);
    virtual ~TS_StringResource();
    TS_StringResource(const TS_StringResource&) = delete;
    TS_StringResource& operator=(const TS_StringResource&) = delete;

    // The entry after entry, or null at the end of the table's bytes.
    virtual const std::uint8_t* NextEntry(const std::uint8_t* entry);
    // The entry with that id, or null (the end mark stops the walk).
    virtual const std::uint8_t* FindEntry(std::int16_t id);
    // Raises "No such string resource: %s" when the table does not exist.
    virtual void Open(const std::string& name);
    virtual void Close();
    virtual void Lock();
    virtual void Unlock();

    // The text of the entry with that id, or the empty string.
    std::string GetString(std::int16_t id);

private:
    std::optional<std::span<const std::uint8_t>> m_resData;
    const std::uint8_t* m_entries = nullptr;
};

// The text with that id in the named table, through the cache.
std::string GetResString(const std::string& table, int id);

// The bytes of the "S_Stream" table: seven entries and the end mark.
std::span<const std::uint8_t> StreamTableBytes();

}  // namespace pagorix
