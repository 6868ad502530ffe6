#pragma once
// Components: owned objects with a name, a loading/designing/destroying state, Loaded and
// removal notifications, destroyed by their owner in the reverse order of their creation.
#include <cstdint>
#include <string>
#include <vector>

/// The runtime the components are built on: components, closures, threads, main loop, text.
namespace rtl {

/// The root of the component classes: destroyed through a base pointer.
class TObject {
  public:
    /// Destroys the object.
    virtual ~TObject() = default;
};

/// Objects that can be copied from another of their kind; the generic Assign refuses.
class TPersistent : public TObject {
  public:
    /// Copies source; this generic form raises EConvertError.
    virtual void Assign(const TPersistent& source);
};

/// What a Notification reports: a component inserted or removed.
enum TOperation : uint8_t { opInsert, opRemove };

/// The state bits of a component.
enum TComponentStateFlag : uint8_t { csLoading = 1, csDesigning = 2, csDestroying = 4 };

/// An owned object with a name and a state; its owner destroys it, last created first.
class TComponent : public TPersistent {
  public:
    /// A component owned by AOwner (none: the caller deletes it).
    explicit TComponent(TComponent* AOwner);
    /// Destroys the owned components, then leaves the owner.
    ~TComponent() override;
    /// Not copyable: a component has one owner.
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    /// The owner, or none.
    TComponent* Owner() const { return owner_; }
    /// The owned components in creation order.
    const std::vector<TComponent*>& Components() const { return components_; }
    /// The number of owned components.
    int ComponentCount() const { return static_cast<int>(components_.size()); }

    /// The component's name.
    const std::string& Name() const { return name_; }
    /// Stores the name.
    void SetName(const std::string& name) { name_ = name; }
    /// A value free for the program's use.
    intptr_t Tag() const { return tag_; }
    /// Stores the program's value.
    void SetTag(intptr_t tag) { tag_ = tag; }

    /// True while a stored layout is applied (setters only store).
    bool IsLoading() const { return state_ & csLoading; }
    /// True in design mode.
    bool IsDesigning() const { return state_ & csDesigning; }
    /// True once destruction has begun.
    bool IsDestroying() const { return state_ & csDestroying; }
    /// The state bits (TComponentStateFlag).
    uint8_t ComponentState() const { return state_; }

    /// Marks the start of applying a stored layout: setters only store.
    void BeginLoading() { state_ |= csLoading; }
    /// Puts the component in design mode (a form designer edits it; no device is touched).
    void SetDesigning(bool on);

    /// Asks to be told (Notification opRemove) when AComponent is destroyed, whatever its owner.
    void FreeNotification(TComponent* AComponent);
    /// Stops the notifications FreeNotification asked for.
    void RemoveFreeNotification(TComponent* AComponent);

    /// Called once all stored properties are set; clears the loading state.
    virtual void Loaded();
    /// Told that AComponent was inserted or is being removed.
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
