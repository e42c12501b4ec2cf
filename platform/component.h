// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace platform {

enum class TOperation { Insert, Remove };

// The component base: an owner that destroys what it owns, a name, and the
// notification that tells the owner's components that one of them is gone,
// so that links to it can be emptied.
class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }

    // Asks this component to tell `component` (Remove) when it is
    // destroyed, whoever owns either of them. The request goes both ways,
    // so whichever of the two goes first is forgotten by the other.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

protected:
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
};

}  // namespace platform
