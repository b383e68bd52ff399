#include "streams/string_resource.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"

namespace pagorix {
namespace {

TEST(StringTable, StreamTableIsLaidOutEntryByEntry) {
    const auto bytes = StreamTableBytes();
    ASSERT_EQ(bytes.size(), 180u);
    // First entry: id 1 (little-endian), length 10, "Seek error".
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 10);
    EXPECT_EQ(std::string(bytes.begin() + 3, bytes.begin() + 13), "Seek error");
    // End mark.
    EXPECT_EQ(bytes[178], 0);
    EXPECT_EQ(bytes[179], 0);
}

TEST(StringTable, LookupByIdThroughTheCache) {
    const struct {
        int id;
        const char* text;
    } cases[] = {
        {1, "Seek error"},
        {2, "Invalid seek origin (%d)"},
        {3, "Putback overflow"},
        {4, "Cannot find resource"},
        {5, "Cannot access resource"},
        {6, "Seek past end of resource stream"},
        {7, "Cannot write to a resource stream"},
        {0, ""},  // the end mark's id finds nothing
        {9, ""},  // not in the table
        {-1, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetResString("S_Stream", c.id), c.text) << c.id;
        EXPECT_EQ(GetResString("s_stream", c.id), c.text) << "names ignore case";
    }
}

TEST(StringTable, MissingTableRaisesAndIsNotCached) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            GetResString("S_Nothing", 1);
            FAIL();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "No such string resource: S_Nothing");
        }
    }
}

}  // namespace
}  // namespace pagorix
