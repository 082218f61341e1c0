#pragma once
// Components: objects with an owner that frees them, a name unique among their
// owner's components, a Tag, a component state, a Loaded step after a layout set
// their properties, and free notification. An owner class may publish component
// fields (TPublisher::Field): the field of a component's name then points to it while
// the owner owns it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "classlib/TypInfo.h"

VELMORA_EXCEPTION(EComponentError, Exception)

// An object whose state can be copied from another (Assign) and written to a layout.
class TPersistent : public TObject {
  VELMORA_CLASS(TPersistent, TObject)
 public:
  // Copies `source` into this object. The base knows no pair of classes and raises
  // EConvertError ("Cannot assign a <source class> to a <this class>"); null gives
  // "nil" as the source class.
  virtual void Assign(const TPersistent* source);
};

enum class TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning, csUpdating };
using TComponentState = TSet<TComponentStateItem>;

enum class TOperation { opInsert, opRemove };

class TLayoutReader;

// A component. Ownership: the owner deletes its components (last first) when it is
// deleted; deleting a component removes it from its owner. Components that asked
// (FreeNotification) and the owner's other components receive
// Notification(component, opRemove) before a component goes away.
class TComponent : public TPersistent {
  VELMORA_CLASS(TComponent, TPersistent)
  VELMORA_PUBLISHED(TComponent)

 public:
  // Inserts the new component into `owner` (null: no owner).
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The owned component at `index`; raises EListError out of range.
  TComponent* Components(int index) const;
  // Position in the owner's list; -1 without owner.
  int ComponentIndex() const;
  // The owned component of that name (any letter case); null when none or `name` is "".
  TComponent* FindComponent(std::string_view name) const;

  const std::string& Name() const { return name_; }
  // A name is "" or an identifier (letter or "_", then letters, digits, "_"), unique
  // among the owner's components. Raises EComponentError otherwise.
  void SetName(const std::string& name);
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  TComponentState ComponentState() const { return state_; }
  bool Loading() const { return state_.Contains(TComponentStateItem::csLoading); }
  bool Destroying() const { return state_.Contains(TComponentStateItem::csDestroying); }

  // Moves `component` into this one's list (out of its former owner's). Raises
  // EComponentError when its name is taken here; nothing changes then.
  void InsertComponent(TComponent* component);
  // Takes `component` out of this one's list; it has no owner afterwards.
  void RemoveComponent(TComponent* component);
  // Deletes every owned component, last first.
  void DestroyComponents();

  // `component` receives Notification(this, opRemove) when this one goes away, and
  // this one when `component` does.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Runs once after a layout set every property of this component and its siblings
  // (csLoading is already cleared then).
  virtual void Loaded();
  // Told about components inserted into or removed from the owner, and about freed
  // components this one registered with. The base passes it to the owned components.
  virtual void Notification(TComponent* component, TOperation operation);

  // Nesting in layouts. A component with a parent is written inside its parent's
  // object; the reader calls SetParentComponent with the enclosing object.
  virtual TComponent* GetParentComponent() const { return nullptr; }
  bool HasParent() const { return GetParentComponent() != nullptr; }
  virtual void SetParentComponent(TComponent* parent) {}
  // Calls `proc` for each component written nested in this one. The base: when this
  // is `root`, the owned components without a parent; else none.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc, const TComponent* root) const;

 protected:
  void SetState(TComponentStateItem item, bool on);

 private:
  friend class TLayoutReader;
  void ValidateName(const std::string& name, const TComponent* owner) const;
  // Points the owner's field of this component's name at this component (enable) or
  // clears it when it points here (disable).
  void SetReference(bool enable);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  std::string name_;
  int tag_ = 0;
  TComponentState state_;
};
