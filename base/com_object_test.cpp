#include "base/com_object.h"
#include "base/com_ptr.h"

#include <gtest/gtest.h>

// The interfaces are not in an anonymous namespace: ParentInterface is declared and never
// defined, as the pattern asks.
namespace base::com_test {

constexpr GUID IID_IShape = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID IID_ICircle = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};
constexpr GUID IID_INamed = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 10}};
constexpr GUID IID_IOther = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 11}};

class IShape : public IUnknown
{
public:
    virtual int Corners() = 0;
};
class ICircle : public IShape
{
public:
    virtual int Radius() = 0;
};
class INamed : public IUnknown
{
public:
    virtual const char* Name() = 0;
};
inline const GUID& InterfaceId(const IShape*)
{
    return IID_IShape;
}
inline const GUID& InterfaceId(const ICircle*)
{
    return IID_ICircle;
}
IShape* ParentInterface(const ICircle*);
inline const GUID& InterfaceId(const INamed*)
{
    return IID_INamed;
}

} // namespace base::com_test

namespace base {
namespace {

using namespace com_test;

int Alive = 0;

class TCircle : public ComObject<ICircle, INamed>
{
public:
    TCircle() { ++Alive; }
    ~TCircle() override { --Alive; }
    int Corners() override { return 0; }
    int Radius() override { return 5; }
    const char* Name() override { return "circle"; }
};

template <class I> ComPtr<I> Query(ICircle* object, const GUID& iid)
{
    void* found = nullptr;
    return object->QueryInterface(iid, &found) == S_OK ? ComPtr<I>::Adopt(static_cast<I*>(found)) : nullptr;
}

TEST(ComObject, AnswersItsInterfacesTheirParentsAndIUnknownAndCountsReferences)
{
    {
        const ComPtr<TCircle> circle = MakeCom<TCircle>();
        EXPECT_EQ(Alive, 1);
        EXPECT_EQ(Query<ICircle>(circle.Get(), IID_ICircle)->Radius(), 5);
        EXPECT_EQ(Query<IShape>(circle.Get(), IID_IShape)->Corners(), 0); // the parent of ICircle
        EXPECT_STREQ(Query<INamed>(circle.Get(), IID_INamed)->Name(), "circle");
        const ComPtr<IUnknown> unknown = Query<IUnknown>(circle.Get(), IID_IUnknown);
        EXPECT_EQ(unknown.Get(), static_cast<IUnknown*>(static_cast<ICircle*>(circle.Get())));
        void* none = &none;
        EXPECT_EQ(circle->QueryInterface(IID_IOther, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(circle->QueryInterface(IID_ICircle, nullptr), E_POINTER);

        const ComPtr<INamed> named = circle; // a second reference through a base
        const ComPtr<INamed> shared = ComPtr<INamed>::Share(named.Get());
        EXPECT_EQ(named->AddRef(), 5u); // circle, unknown, named, shared and this one
        EXPECT_EQ(named->Release(), 4u);
    }
    EXPECT_EQ(Alive, 0); // the last reference deleted it
}

} // namespace
} // namespace base
