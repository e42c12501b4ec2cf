// SPDX-License-Identifier: MIT
#include "platform/component.h"

#include <algorithm>

namespace platform {

TComponent::TComponent(TComponent* owner) : owner_(nullptr) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        std::erase(other->freeNotifies_, this);
        other->Notification(this, TOperation::Remove);
    }
    // Owned components go last to first; they leave the list before they are
    // destroyed, so the owner's half-destroyed siblings are not notified.
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        delete last;
    }
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
        freeNotifies_.push_back(component);
    }
    if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
        component->freeNotifies_.end()) {
        component->freeNotifies_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    std::erase(freeNotifies_, component);
    std::erase(component->freeNotifies_, this);
}

void TComponent::InsertComponent(TComponent* component) {
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::Insert);
    for (TComponent* other : components_) {
        if (other != component) other->Notification(component, TOperation::Insert);
    }
}

void TComponent::RemoveComponent(TComponent* component) {
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
    Notification(component, TOperation::Remove);
    // Copied: a notification handler may destroy further components.
    std::vector<TComponent*> others = components_;
    for (TComponent* other : others) other->Notification(component, TOperation::Remove);
}

}  // namespace platform
