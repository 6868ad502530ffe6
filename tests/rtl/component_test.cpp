#include "rtl/Component.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_events;

struct Probe : rtl::TComponent {
    Probe(rtl::TComponent* owner, std::string n) : TComponent(owner) { SetName(n); }
    ~Probe() override {
        BeforeDestruction();
        g_events.push_back("destroy " + Name());
    }
    void Loaded() override {
        TComponent::Loaded();
        g_events.push_back("loaded " + Name());
    }
    void Notification(rtl::TComponent* c, rtl::TOperation op) override {
        TComponent::Notification(c, op);
        if (op == rtl::opRemove) g_events.push_back(Name() + " told " + c->Name() + " goes");
    }
};

TEST(Component, OwnerDestroysInReverseCreationOrderAndTellsSiblings) {
    g_events.clear();
    auto* owner = new Probe(nullptr, "form");
    new Probe(owner, "a");
    new Probe(owner, "b");
    new Probe(owner, "c");
    delete owner;
    // The owner's own destructor body runs first, as a derived destructor does; then its
    // components go, each announced to the remaining siblings while still whole.
    std::vector<std::string> expected = {"destroy form", "a told c goes", "b told c goes",
                                         "destroy c",    "a told b goes", "destroy b",
                                         "destroy a"};
    EXPECT_EQ(g_events, expected);
}

TEST(Component, LoadedAllRunsInCreationOrderAndEndsLoading) {
    g_events.clear();
    Probe owner(nullptr, "form");
    auto* a = new Probe(&owner, "a");
    auto* b = new Probe(&owner, "b");
    a->BeginLoading();
    b->BeginLoading();
    EXPECT_TRUE(a->IsLoading());
    owner.LoadedAll();
    EXPECT_FALSE(a->IsLoading());
    EXPECT_FALSE(b->IsLoading());
    ASSERT_GE(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "loaded a");
    EXPECT_EQ(g_events[1], "loaded b");
}

TEST(Component, FreeNotificationReachesComponentsOfAnotherOwner) {
    g_events.clear();
    Probe ownerA(nullptr, "formA");
    Probe ownerB(nullptr, "formB");
    auto* port = new Probe(&ownerA, "port");
    auto* watcher = new Probe(&ownerB, "watcher");
    watcher->FreeNotification(port);
    delete port;
    EXPECT_NE(std::find(g_events.begin(), g_events.end(), "watcher told port goes"),
              g_events.end());
    // Once told, the watcher is forgotten: destroying it later reaches nobody stale.
    g_events.clear();
    delete watcher;
    EXPECT_EQ(g_events, (std::vector<std::string>{"formB told watcher goes", "destroy watcher"}));
}

TEST(Persistent, GenericAssignRefusesWithAConversionError) {
    rtl::TPersistent a, b;
    EXPECT_THROW(a.Assign(b), rtl::EConvertError);
}

} // namespace
