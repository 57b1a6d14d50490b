// Type names as a report shows them, and the classes a thrown type belongs to.

#include "crash/core/intercept/cpp_type_names.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace crash {
namespace {

struct TLeft : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
struct TMark
{
    virtual ~TMark() = default;
};
struct TBoth : TLeft, TMark
{
    TBoth() : TLeft("both") {}
};

TEST(CppTypeNames, ReadableNamesAndTheChainOfBases)
{
    EXPECT_EQ(ReadableTypeName(&typeid(int)), "int");
    EXPECT_EQ(ReadableTypeName(&typeid(std::out_of_range)), "std::out_of_range");
    EXPECT_EQ(ReadableTypeName(nullptr), "");

    EXPECT_EQ(CppClassChain(&typeid(int)), std::vector<std::string>{"int"});
    EXPECT_TRUE(CppClassChain(nullptr).empty());
    // Single inheritance up to the root.
    EXPECT_EQ(CppClassChain(&typeid(std::out_of_range)),
              (std::vector<std::string>{"std::out_of_range", "std::logic_error", "std::exception"}));
    // Several bases: nearest first, each base's own bases after.
    EXPECT_EQ(CppClassChain(&typeid(TBoth)),
              (std::vector<std::string>{
                  "crash::(anonymous namespace)::TBoth", "crash::(anonymous namespace)::TLeft",
                  "crash::(anonymous namespace)::TMark", "std::runtime_error", "std::exception"}));
}

} // namespace
} // namespace crash
