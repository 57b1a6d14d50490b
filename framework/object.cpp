#include "framework/object.h"

#include <algorithm>

namespace framework {

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner)
{
    if (FOwner)
        FOwner->FComponents.push_back(this);
}

TComponent::~TComponent()
{
    for (TComponent* other : std::vector<TComponent*>(FFreeNotifies)) {
        std::erase(other->FFreeNotifies, this);
        other->Notification(this);
    }
    // Owned components go newest first, so a control is freed before the controls it was
    // created in front of.
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        FComponents.pop_back();
        last->FOwner = nullptr;
        delete last;
    }
    if (FOwner) {
        auto& list = FOwner->FComponents;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this ||
        std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) != FFreeNotifies.end())
        return;
    FFreeNotifies.push_back(other);
    other->FFreeNotifies.push_back(this);
}

TComponent* TComponent::FindComponent(const std::wstring& name) const
{
    for (TComponent* c : FComponents)
        if (c->Name() == name)
            return c;
    return nullptr;
}

} // namespace framework
