#pragma once
// Components: owned objects with a name, a loading/designing/destroying state, Loaded and
// removal notifications, destroyed by their owner in the reverse order of their creation.
#include <cstdint>
#include <string>
#include <vector>

namespace rtl {

class TObject {
public:
    virtual ~TObject() = default;
};

/// Objects that can be copied from another of their kind; the generic Assign refuses.
class TPersistent : public TObject {
public:
    virtual void Assign(const TPersistent& source);
};

enum TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateFlag : uint8_t { csLoading = 1, csDesigning = 2, csDestroying = 4 };

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::vector<TComponent*>& Components() const { return components_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }

    bool IsLoading() const { return state_ & csLoading; }
    bool IsDesigning() const { return state_ & csDesigning; }
    bool IsDestroying() const { return state_ & csDestroying; }
    uint8_t ComponentState() const { return state_; }

    /// Marks the start of applying a stored layout: setters only store.
    void BeginLoading() { state_ |= csLoading; }
    /// Puts the component in design mode (a form designer edits it; no device is touched).
    void SetDesigning(bool on);

    /// Asks to be told (Notification opRemove) when AComponent is destroyed, whatever its owner.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    /// Called once all stored properties are set; clears the loading state.
    virtual void Loaded();
    virtual void Notification(TComponent* AComponent, TOperation Operation);

    /// Applies Loaded to every owned component in creation order (end of a stored layout).
    void LoadedAll();

    /// Enters the destroying state and tells the owner's other components and every
    /// free-notification client that this component goes, while it is still whole. The
    /// owner calls it before deleting an owned component; a component deleted directly
    /// should call it first thing in its destructor. Runs once.
    void BeforeDestruction();

protected:
    /// Destroys the owned components, last created first.
    void DestroyComponents();

private:
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    std::string name_;
    intptr_t tag_ = 0;
    uint8_t state_ = 0;
    bool announced_ = false;
};

} // namespace rtl
