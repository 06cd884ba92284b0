#include "smtp/IdBaseComponent.h"

#include <algorithm>

TComponent::~TComponent()
{
    // Tell everyone who asked, then drop the links both ways.
    const std::vector<TComponent*> notifies = std::move(FFreeNotifies);
    FFreeNotifies.clear();
    for (TComponent* other : notifies) {
        auto& theirs = other->FFreeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, TOperation::opRemove);
    }
    // Owned components die with their owner, most recently inserted first.
    while (!FComponents.empty()) {
        std::unique_ptr<TComponent> last = std::move(FComponents.back());
        FComponents.pop_back();
        last->FOwner = nullptr;
        last.reset();
    }
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component)
{
    component->FOwner = this;
    FComponents.push_back(std::move(component));
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent& component)
{
    for (auto it = FComponents.begin(); it != FComponents.end(); ++it) {
        if (it->get() == &component) {
            std::unique_ptr<TComponent> out = std::move(*it);
            FComponents.erase(it);
            out->FOwner = nullptr;
            return out;
        }
    }
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
        FFreeNotifies.push_back(other);
    auto& theirs = other->FFreeNotifies;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end())
        theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other)
{
    if (!other)
        return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
    auto& theirs = other->FFreeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent*, TOperation)
{
}
