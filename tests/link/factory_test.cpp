// Creating the link object through the library's C entry point.
#include <gtest/gtest.h>

#include "rdx5Comm3.h"

namespace {

TEST(Factory, CreatesByClassIdOrProgrammaticName)
{
    for (const char* identity : {"{67ACDFDF-81AA-4AD8-B39C-077F8CFB1AF6}", "67ACDFDF-81AA-4AD8-B39C-077F8CFB1AF6",
                                 "{67acdfdf-81aa-4ad8-b39c-077f8cfb1af6}", "RDX500Comm3.rdx5Comm3"}) {
        rdx::_rdx5Comm3* object = RDX500Comm3_Create(identity);
        ASSERT_NE(object, nullptr) << identity;
        // A fresh object with its closed port.
        EXPECT_EQ(object->BaudRate(), "9600");
        EXPECT_EQ(object->Port(), "COM1");
        EXPECT_EQ(object->CommID(), -1);
        RDX500Comm3_Release(object);
    }
    for (const char* identity : {"", "{67ACDFDF-81AA-4AD8-B39C-077F8CFB1AF7}", rdx::kInterfaceId, rdx::kLibraryId,
                                 "{67ACDFDF-81AA-4AD8-B39C-077F8CFB1AF6", "RDX500Comm3"})
        EXPECT_EQ(RDX500Comm3_Create(identity), nullptr) << identity;
    EXPECT_EQ(RDX500Comm3_Create(nullptr), nullptr);
    RDX500Comm3_Release(nullptr);
}

}  // namespace
