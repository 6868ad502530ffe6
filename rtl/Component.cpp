#include "rtl/Component.h"

#include "rtl/Exceptions.h"

#include <algorithm>
#include <typeinfo>

namespace rtl {

void TPersistent::Assign(const TPersistent& source) {
    throw EConvertError(std::string("Cannot assign a ") + typeid(source).name() + " to a " +
                        typeid(*this).name());
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    BeforeDestruction();
    DestroyComponents();
}

void TComponent::BeforeDestruction() {
    if (announced_) return;
    announced_ = true;
    state_ |= csDestroying;
    // Tell everyone who asked, then forget them, so nobody calls back into a dead object.
    auto notifies = std::move(freeNotifies_);
    freeNotifies_.clear();
    for (TComponent* c : notifies) {
        std::erase(c->freeNotifies_, this);
        c->Notification(this, opRemove);
    }
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
    state_ |= csDestroying;
    while (!components_.empty()) {
        TComponent* last = components_.back();
        last->BeforeDestruction(); // removes it from components_ while it is still whole
        delete last;
    }
}

void TComponent::SetDesigning(bool on) {
    if (on)
        state_ |= csDesigning;
    else
        state_ &= ~csDesigning;
}

void TComponent::InsertComponent(TComponent* c) {
    c->owner_ = this;
    components_.push_back(c);
    Notification(c, opInsert);
    for (TComponent* sibling : components_)
        if (sibling != c) sibling->Notification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it == components_.end()) return;
    components_.erase(it);
    c->owner_ = nullptr;
    Notification(c, opRemove);
    // Copy: a notified sibling may react by changing the list.
    auto siblings = components_;
    for (TComponent* sibling : siblings)
        if (std::find(components_.begin(), components_.end(), sibling) != components_.end())
            sibling->Notification(c, opRemove);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end())
        freeNotifies_.push_back(AComponent);
    if (std::find(AComponent->freeNotifies_.begin(), AComponent->freeNotifies_.end(), this) ==
        AComponent->freeNotifies_.end())
        AComponent->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    std::erase(freeNotifies_, AComponent);
    if (AComponent) std::erase(AComponent->freeNotifies_, this);
}

void TComponent::Loaded() {
    state_ &= ~csLoading;
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove) std::erase(freeNotifies_, AComponent);
}

void TComponent::LoadedAll() {
    auto list = components_;
    for (TComponent* c : list)
        c->Loaded();
}

} // namespace rtl
