#pragma once
// The component family: TComponent (owner, owned components, free notification)
// <- TIdInitializerComponent <- TIdBaseComponent <- TIdComponent (smtp/IdComponent.h).
//
// Each class sets its defaults in a virtual InitializeDefaults, which must run on the
// fully built object (a C++ constructor cannot call the most-derived override). So
// components are only made through the creation functions below, which construct
// the object and then run InitializeDefaults once; constructors take a
// TIdCreationKey that only those functions can make.
//
//   auto smtp = MakeComponent<TIdSMTP>();                  // caller owns it
//   TIdMessage& msg = MakeOwnedComponent<TIdMessage>(owner); // owner destroys it
//
// An override calls the inherited step first, then sets its own defaults.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TComponent;

class TIdCreationKey {
private:
    TIdCreationKey() = default;
    template <class T, class... Args>
    friend std::unique_ptr<T> MakeComponent(Args&&... args);
};

enum class TOperation { opInsert, opRemove };

// An event that passes only its sender (a client that has connected, a handler about
// to bind its socket).
using TNotifyEvent = std::function<void(TComponent* Sender)>;

class TComponent {
public:
    explicit TComponent(TIdCreationKey) {}
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // The component that destroys this one, or none.
    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent& Components(int index) const { return *FComponents.at(static_cast<std::size_t>(index)); }

    // Takes ownership of a component made without owner.
    void InsertComponent(std::unique_ptr<TComponent> component);
    // Gives up ownership of an owned component (for explicit release in a chosen order).
    std::unique_ptr<TComponent> RemoveComponent(TComponent& component);

    // Asks to be told (Notification with opRemove) when `other` is destroyed. Both sides
    // keep the link; it is dropped when either dies or RemoveFreeNotification is called.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

    // True while the component's stored properties are being loaded; setters that
    // apply rules only for a user's change look at it.
    bool IsLoading() const { return FLoading; }
    // Ending a load calls Loaded, so rules skipped while loading can be applied then.
    void SetLoading(bool loading)
    {
        const bool finished = FLoading && !loading;
        FLoading = loading;
        if (finished)
            Loaded();
    }

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    // The stored properties are all in place. Nothing here.
    virtual void Loaded() {}

private:
    TComponent* FOwner = nullptr;
    std::vector<std::unique_ptr<TComponent>> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    bool FLoading = false;
};

// Runs InitializeDefaults once, after the whole object is built.
class TIdInitializerComponent : public TComponent {
public:
    explicit TIdInitializerComponent(TIdCreationKey key) : TComponent(key) {}

protected:
    virtual void InitializeDefaults() {}

private:
    template <class T, class... Args>
    friend std::unique_ptr<T> MakeComponent(Args&&... args);
};

class TIdBaseComponent : public TIdInitializerComponent {
public:
    explicit TIdBaseComponent(TIdCreationKey key) : TIdInitializerComponent(key) {}
};

template <class T, class... Args>
std::unique_ptr<T> MakeComponent(Args&&... args)
{
    auto component = std::make_unique<T>(TIdCreationKey(), std::forward<Args>(args)...);
    static_cast<TIdInitializerComponent&>(*component).InitializeDefaults();
    return component;
}

template <class T, class... Args>
T& MakeOwnedComponent(TComponent& owner, Args&&... args)
{
    auto component = MakeComponent<T>(std::forward<Args>(args)...);
    T& ref = *component;
    owner.InsertComponent(std::move(component));
    return ref;
}
