// SPDX-License-Identifier: MIT
#include "platform/component.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

// Records the removal notifications it receives and keeps a link that it
// empties when the linked component goes away.
class Watcher : public TComponent {
public:
    Watcher(TComponent* owner, std::vector<std::string>* destroyed, const std::string& name)
        : TComponent(owner), destroyed_(destroyed) {
        SetName(name);
    }
    ~Watcher() override {
        if (destroyed_) destroyed_->push_back(Name());
    }
    TComponent* link = nullptr;
    int removals = 0;

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation != TOperation::Remove) return;
        ++removals;
        if (component == link) link = nullptr;
    }

private:
    std::vector<std::string>* destroyed_;
};

}  // namespace

TEST(Components, OwnerDestroysWhatItOwnsLastToFirst) {
    std::vector<std::string> destroyed;
    auto* owner = new Watcher(nullptr, &destroyed, "owner");
    new Watcher(owner, &destroyed, "a");
    new Watcher(owner, &destroyed, "b");
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(1)->Name(), "b");
    delete owner;
    EXPECT_EQ(destroyed, (std::vector<std::string>{"owner", "b", "a"}));
}

TEST(Components, RemovalIsNotifiedToTheOwnersOtherComponents) {
    Watcher owner(nullptr, nullptr, "owner");
    auto* socket = new Watcher(&owner, nullptr, "socket");
    auto* ras = new Watcher(&owner, nullptr, "ras");
    socket->link = ras;
    delete ras;
    EXPECT_EQ(socket->link, nullptr);
    EXPECT_EQ(socket->removals, 1);
    EXPECT_EQ(owner.removals, 1);
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(Components, ALinkToAnotherOwnersComponentIsNotNotified) {
    Watcher ownerA(nullptr, nullptr, "A");
    Watcher ownerB(nullptr, nullptr, "B");
    auto* socket = new Watcher(&ownerA, nullptr, "socket");
    auto* ras = new Watcher(&ownerB, nullptr, "ras");
    socket->link = ras;
    delete ras;
    EXPECT_EQ(socket->removals, 0);
    EXPECT_EQ(socket->link, ras);
}
