// Components: named objects in an ownership tree with removal notices.
//
// A component may have an owner. The owner frees every component it owns
// when it is destroyed, last created first; an owned component must therefore
// be created with `new` and never be held by a std::unique_ptr elsewhere.
// A component without an owner belongs to whoever created it (stack, member
// or unique_ptr). Destroying an owned component directly is allowed: it
// leaves its owner's list first.
//
// Components that keep pointers to other components ask for a free notice
// (`FreeNotification`): when the other goes away they receive
// Notification(other, opRemove) and must forget it. The owner tree is told
// of every removal as well.
//
// Components are not thread-safe: one thread at a time uses a component tree.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/FieldTypes.h"
#include "rtl/Streams.h"

namespace db {

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = Set<TComponentStateFlag>;

class TComponent : public rtl::TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(owned_.size()); }
  TComponent* Components(int index) const { return owned_.at(index).get(); }
  // Destroys a component this one owns (after which the pointer dangles).
  void DestroyComponent(TComponent* component);
  // The owned component of that name (case-insensitive), or null.
  TComponent* FindComponent(const std::string& name) const;

  // Asks for Notification(this, opRemove) to be sent to `other` when this
  // component is destroyed, and the other way round.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  TComponentState ComponentState() const { return state_; }
  bool Loading() const { return state_.Contains(csLoading); }
  bool Destroying() const { return state_.Contains(csDestroying); }
  bool Designing() const { return state_.Contains(csDesigning); }
  void SetDesigning(bool designing);

  // Loading from a stored form: between BeginLoading and EndLoading the
  // component is in loading state; EndLoading runs Loaded().
  void BeginLoading();
  void EndLoading();

 protected:
  // Called after loading finished; clears the loading flag.
  virtual void Loaded();
  // Told of components that are inserted into or removed from the owner tree
  // and of components this one asked free notices from. The default forwards
  // the notice to the owned components.
  virtual void Notification(TComponent* component, TOperation operation);
  // Marks the component as being destroyed (idempotent). Derived destructors
  // call it first so that overridden operations see the flag.
  void Destroying_();

 private:
  void InsertOwned(TComponent* component);
  void ReleaseOwned(TComponent* component);

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> owned_;
  std::vector<TComponent*> free_notifies_;
  TComponentState state_;
};

// Shows an exception that an event handler let through, the way the
// application's default error display does. The silent abort is ignored.
// The display can be replaced (the agent installs its message box); the
// default writes the message to standard error.
void ShowException(const std::exception& error);
using TExceptionDisplay = std::function<void(const std::exception&)>;
void SetExceptionDisplay(TExceptionDisplay display);

}  // namespace db
