#include "classlib/Components.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> destroyed;  // names in the order their components died

class TTracked : public TComponent {
  VELMORA_CLASS(TTracked, TComponent)
 public:
  explicit TTracked(TComponent* owner = nullptr, const char* name = "") : TComponent(owner) { SetName(name); }
  ~TTracked() override { destroyed.push_back(Name()); }
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    heard.push_back((operation == TOperation::opInsert ? "+" : "-") + component->Name());
    if (operation == TOperation::opRemove && component == watched) watched = nullptr;
  }
  std::vector<std::string> heard;
  TComponent* watched = nullptr;
};

class Components : public ::testing::Test {
 protected:
  void SetUp() override { destroyed.clear(); }
};

TEST_F(Components, OwnerFreesItsComponentsLastFirst) {
  auto* owner = new TTracked(nullptr, "Owner");
  new TTracked(owner, "A");
  auto* b = new TTracked(owner, "B");
  new TTracked(b, "BChild");
  new TTracked(owner, "C");
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(owner->Components(2)->Name(), "C");
  EXPECT_THROW(owner->Components(3), EListError);
  delete owner;
  EXPECT_EQ(destroyed, (std::vector<std::string>{"Owner", "C", "B", "BChild", "A"}));
}

TEST_F(Components, DeletingAComponentTakesItOutOfItsOwnerAndTellsTheOthers) {
  TTracked owner(nullptr, "Owner");
  auto* a = new TTracked(&owner, "A");
  auto* b = new TTracked(nullptr, "B");  // named before it joins, so the others hear its name
  owner.InsertComponent(b);
  EXPECT_EQ(a->heard, (std::vector<std::string>{"+B"}));
  delete b;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.FindComponent("b"), nullptr);
  EXPECT_EQ(a->heard, (std::vector<std::string>{"+B", "-B"}));
  EXPECT_EQ(owner.heard.back(), "-B");
}

TEST_F(Components, FreeNotificationWorksBothWaysAndLeavesNoDanglingLink) {
  auto* a = new TTracked(nullptr, "A");
  auto* b = new TTracked(nullptr, "B");
  a->FreeNotification(b);
  b->watched = a;
  delete a;
  EXPECT_EQ(b->watched, nullptr);
  EXPECT_EQ(b->heard, (std::vector<std::string>{"-A"}));
  // The other direction: after b goes, deleting c must not reach the freed b.
  auto* c = new TTracked(nullptr, "C");
  c->FreeNotification(b);
  delete b;
  EXPECT_EQ(c->heard, (std::vector<std::string>{"-B"}));
  delete c;  // the address sanitizer would catch a call into the freed b
  auto* d = new TTracked(nullptr, "D");
  auto* e = new TTracked(nullptr, "E");
  d->FreeNotification(e);
  d->RemoveFreeNotification(e);
  delete d;
  EXPECT_TRUE(e->heard.empty());
  delete e;
}

TEST_F(Components, NamesAreIdentifiersUniqueInTheOwner) {
  TTracked owner(nullptr, "Owner");
  auto* a = new TTracked(&owner, "Button1");
  auto* b = new TTracked(&owner, "");
  EXPECT_THROW(b->SetName("BUTTON1"), EComponentError) << "names compare without letter case";
  EXPECT_EQ(b->Name(), "");
  EXPECT_THROW(b->SetName("1Button"), EComponentError);
  EXPECT_THROW(b->SetName("Button 2"), EComponentError);
  b->SetName("_Button2");
  EXPECT_EQ(owner.FindComponent("_button2"), b);
  a->SetName("button1");  // its own name in other letters is not a clash
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  // Moving a component into an owner that has its name already is refused.
  TTracked other(nullptr, "Other");
  auto* clash = new TTracked(&other, "Button1");
  EXPECT_THROW(owner.InsertComponent(clash), EComponentError);
  EXPECT_EQ(clash->Owner(), &other);
  clash->SetName("Moved");
  owner.InsertComponent(clash);
  EXPECT_EQ(clash->Owner(), &owner);
  EXPECT_EQ(other.ComponentCount(), 0);
  EXPECT_EQ(owner.ComponentCount(), 3);
}

TEST_F(Components, StateTagAndPublishedProperties) {
  TTracked c(nullptr, "C");
  EXPECT_TRUE(c.ComponentState().Empty());
  EXPECT_FALSE(c.Loading());
  EXPECT_TRUE(SetPropText(&c, "Tag", "7777"));
  EXPECT_EQ(c.Tag(), 7777);
  EXPECT_EQ(GetPropText(&c, "Name"), "C");
  EXPECT_THROW(SetPropText(&c, "Name", "not valid"), EComponentError);
  TPersistent p;
  EXPECT_THROW(c.Assign(&p), EConvertError);
  EXPECT_THROW(
      try { c.Assign(nullptr); } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a nil to a TTracked");
        throw;
      },
      EConvertError);
}

}  // namespace
