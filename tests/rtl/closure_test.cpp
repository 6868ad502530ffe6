#include "rtl/Closure.h"

#include <gtest/gtest.h>

namespace {

struct Target {
    int hits = 0;
    void A(int v) { hits += v; }
    void B(int v) { hits -= v; }
};

using IntEvent = rtl::Closure<void(int)>;

TEST(Closure, EqualOnlyWhenFunctionAndObjectMatch) {
    Target t1, t2;
    auto a1 = IntEvent::Of<&Target::A>(&t1);
    EXPECT_EQ(a1, IntEvent::Of<&Target::A>(&t1));
    EXPECT_FALSE(a1 == IntEvent::Of<&Target::B>(&t1)); // same object, other function
    EXPECT_FALSE(a1 == IntEvent::Of<&Target::A>(&t2)); // same function, other object
    EXPECT_FALSE(a1 == IntEvent());
    EXPECT_EQ(IntEvent(), IntEvent(nullptr));
}

struct Derived : Target {};

TEST(Closure, SameMemberThroughABaseOrDerivedPointerIsOneHandler) {
    Derived d;
    Target* base = &d;
    EXPECT_EQ(IntEvent::Of<&Target::A>(&d), IntEvent::Of<&Target::A>(base));
}

TEST(Closure, CallsTheBoundMember) {
    Target t;
    auto a = IntEvent::Of<&Target::A>(&t);
    ASSERT_TRUE(a.Assigned());
    a(5);
    IntEvent::Of<&Target::B> (&t)(2);
    EXPECT_EQ(t.hits, 3);
    EXPECT_FALSE(IntEvent().Assigned());
}

TEST(Handler, EachInstanceIsADistinctHandler) {
    int calls = 0;
    rtl::Handler<void(int)> h1([&](int v) { calls += v; });
    rtl::Handler<void(int)> h2([&](int v) { calls += 10 * v; });
    IntEvent c1 = h1;
    EXPECT_EQ(c1, h1.closure());
    EXPECT_FALSE(c1 == h2.closure());
    c1(1);
    h2.closure()(1);
    EXPECT_EQ(calls, 11);
    EXPECT_FALSE(rtl::Handler<void(int)>().closure().Assigned());
}

} // namespace
