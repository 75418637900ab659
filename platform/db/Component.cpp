#include "db/Component.h"

#include <algorithm>
#include <cstdio>

#include "db/DBError.h"
#include "rtl/SysUtils.h"

namespace db {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertOwned(this);
}

TComponent::~TComponent() {
  Destroying_();
  // Owned components go first, last created first.
  while (!owned_.empty()) {
    std::unique_ptr<TComponent> child = std::move(owned_.back());
    owned_.pop_back();
    child->owner_ = nullptr;
    child.reset();
  }
  // Whoever holds a pointer to this component forgets it now.
  std::vector<TComponent*> notifies = std::move(free_notifies_);
  free_notifies_.clear();
  for (TComponent* other : notifies) {
    auto& list = other->free_notifies_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    other->Notification(this, opRemove);
  }
  if (owner_ != nullptr) {
    TComponent* owner = owner_;
    owner->ReleaseOwned(this);
    owner->Notification(this, opRemove);
  }
}

void TComponent::Destroying_() {
  state_.Include(csDestroying);
}

void TComponent::DestroyComponent(TComponent* component) {
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    if (it->get() == component) {
      // The destructor finds itself gone from the list and tells this owner
      // of the removal while the component is still a component.
      std::unique_ptr<TComponent> doomed = std::move(*it);
      owned_.erase(it);
      doomed.reset();
      return;
    }
  }
}

void TComponent::SetName(const std::string& name) {
  name_ = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : owned_)
    if (rtl::SameText(c->Name(), name)) return c.get();
  return nullptr;
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end())
    free_notifies_.push_back(other);
  if (std::find(other->free_notifies_.begin(), other->free_notifies_.end(), this) ==
      other->free_notifies_.end())
    other->free_notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  free_notifies_.erase(std::remove(free_notifies_.begin(), free_notifies_.end(), other),
                       free_notifies_.end());
  auto& list = other->free_notifies_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TComponent::SetDesigning(bool designing) {
  if (designing)
    state_.Include(csDesigning);
  else
    state_.Exclude(csDesigning);
}

void TComponent::BeginLoading() {
  state_.Include(csLoading);
}

void TComponent::EndLoading() {
  Loaded();
}

void TComponent::Loaded() {
  state_.Exclude(csLoading);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  for (std::size_t i = 0; i < owned_.size(); ++i) owned_[i]->Notification(component, operation);
}

void TComponent::InsertOwned(TComponent* component) {
  owned_.emplace_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

void TComponent::ReleaseOwned(TComponent* component) {
  for (auto it = owned_.begin(); it != owned_.end(); ++it) {
    if (it->get() == component) {
      (void)it->release();
      owned_.erase(it);
      break;
    }
  }
  component->owner_ = nullptr;
}

namespace {
TExceptionDisplay& Display() {
  static TExceptionDisplay display;
  return display;
}
}  // namespace

void ShowException(const std::exception& error) {
  if (dynamic_cast<const rtl::EAbort*>(&error) != nullptr) return;
  if (Display()) {
    Display()(error);
    return;
  }
  std::fprintf(stderr, "%s\n", error.what());
}

void SetExceptionDisplay(TExceptionDisplay display) {
  Display() = std::move(display);
}

std::string ComponentMessage(const std::string& message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty()) return component->Name() + ": " + message;
  return message;
}

void DatabaseError(const std::string& message, const TComponent* component) {
  throw EDatabaseError(ComponentMessage(message, component));
}

}  // namespace db
