#pragma once
// Base objects of the framework: TObject, the event types, and TComponent, which owns the
// components created with it as owner and frees them with itself.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace framework {

class TObject
{
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

// An event: a callback together with its receiver (captured by the callable); the first
// argument is always the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TObject
{
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* Owner() const noexcept { return FOwner; }
    const std::wstring& Name() const noexcept { return FName; }
    void SetName(std::wstring name) { FName = std::move(name); }

    // Components in the order they were created with this owner.
    const std::vector<TComponent*>& Components() const noexcept { return FComponents; }
    TComponent* FindComponent(const std::wstring& name) const;

    // `other` refers to this component: when either is destroyed, the other's Notification
    // is called with it, so that no reference outlives what it refers to.
    void FreeNotification(TComponent* other);

protected:
    // `component`, which this one was linked with by FreeNotification, goes away.
    virtual void Notification(TComponent*) {}

private:
    TComponent* FOwner;
    std::wstring FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
};

// Stores a property value and reports whether it changed, so setters announce only real
// changes: `if (SetIfChanged(FColor, value)) Invalidate();`.
template <class T, class U> bool SetIfChanged(T& field, U&& value)
{
    if (field == value)
        return false;
    field = std::forward<U>(value);
    return true;
}

} // namespace framework
