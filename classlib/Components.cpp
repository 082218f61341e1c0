#include "classlib/Components.h"

#include <algorithm>

void TPersistent::Assign(const TPersistent* source) {
  throw EConvertError("Cannot assign a " + (source ? source->ClassName() : std::string("nil")) + " to a " +
                      ClassName());
}

VELMORA_PUBLISH(TComponent) {
  p.String("Name", &TComponent::Name, &TComponent::SetName)
      .Integer("Tag", &TComponent::Tag, &TComponent::SetTag)
      .Default(0);
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  state_.Include(TComponentStateItem::csDestroying);
  // Each side of a free-notification link forgets the other before being told.
  std::vector<TComponent*> notifies;
  notifies.swap(freeNotifies_);
  for (TComponent* other : notifies) {
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
  }
  for (TComponent* other : notifies) other->Notification(this, TOperation::opRemove);
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto found = std::find(list.begin(), list.end(), this);
  return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

namespace {

bool IsIdentifier(std::string_view name) {
  if (name.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

}  // namespace

void TComponent::ValidateName(const std::string& name, const TComponent* owner) const {
  if (name.empty()) return;
  if (!IsIdentifier(name)) throw EComponentError("\"" + name + "\" is not a valid component name");
  if (owner) {
    TComponent* existing = owner->FindComponent(name);
    if (existing && existing != this)
      throw EComponentError("A component named " + name + " already exists");
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  ValidateName(name, owner_);
  SetReference(false);
  name_ = name;
  SetReference(true);
}

void TComponent::SetReference(bool enable) {
  if (!owner_ || name_.empty()) return;
  const TPublishedField* field = GetPublishedField(owner_->ClassType(), name_);
  if (!field) return;
  if (enable) {
    // A field of another class is left alone rather than given a wrong pointer.
    if (InheritsFrom(field->FieldClass)) field->Set(*owner_, this);
  } else if (field->Get(*owner_) == this) {
    field->Set(*owner_, nullptr);
  }
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this) return;
  component->ValidateName(component->name_, this);
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  component->SetReference(true);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this) return;
  Notification(component, TOperation::opRemove);
  component->SetReference(false);
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    last->SetReference(false);
    last->owner_ = nullptr;  // so its destructor does not look for itself here
    delete last;
  }
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
    freeNotifies_.push_back(component);
  auto& theirs = component->freeNotifies_;
  if (std::find(theirs.begin(), theirs.end(), this) == theirs.end()) theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
  auto& theirs = component->freeNotifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Loaded() { state_.Exclude(TComponentStateItem::csLoading); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component)
    freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
  // A copy: a receiver may insert or remove components while being told.
  std::vector<TComponent*> owned = components_;
  for (TComponent* c : owned) {
    if (c == component) continue;
    // Skip one that an earlier receiver removed (and maybe freed) meanwhile.
    if (std::find(components_.begin(), components_.end(), c) == components_.end()) continue;
    c->Notification(component, operation);
  }
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, const TComponent* root) const {
  if (root != this) return;
  for (TComponent* c : components_)
    if (!c->HasParent()) proc(c);
}

void TComponent::SetState(TComponentStateItem item, bool on) {
  if (on)
    state_.Include(item);
  else
    state_.Exclude(item);
}
