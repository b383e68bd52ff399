// The string table's lookups (the stream errors' texts, which come through it,
// are checked with the buffer stream).
#include "streams/string_resource.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"

namespace pagorix {
namespace {

// The end mark's id and ids outside the table find nothing, table names
// ignore case, and a missing table raises every time (it is not cached).
TEST(StringTable, LookupById) {
    for (const char* table : {"S_Stream", "s_stream"}) {
        EXPECT_EQ(GetResString(table, 1), "Seek error");
        EXPECT_EQ(GetResString(table, 7), "Cannot write to a resource stream");
        for (const int id : {0, 9, -1})
            EXPECT_EQ(GetResString(table, id), "") << table << " " << id;
    }
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_THROW(GetResString("S_Nothing", 1), Exception);
}

}  // namespace
}  // namespace pagorix
