// Fuzz target of the layout reader: any text must give components or an ELayoutError,
// never a crash; a layout that reads must write back to text that reads to the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Layout.h"

namespace {

enum class TFzKind { fkOne, fkTwo, fkThree };
const TEnumType FzKindType("TFzKind", {"fkOne", "fkTwo", "fkThree"});

class TFzItem : public TComponent {
  VELMORA_CLASS(TFzItem, TComponent)
  VELMORA_PUBLISHED(TFzItem)
 public:
  TComponent* GetParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* parent) override { parent_ = parent; }
  void GetChildren(const std::function<void(TComponent*)>& proc, const TComponent* root) const override {
    for (int i = 0; i < root->ComponentCount(); ++i)
      if (root->Components(i)->GetParentComponent() == this) proc(root->Components(i));
  }
  void Clicked(TObject*) {}
  std::vector<uint8_t> Data() const { return data_; }
  void SetData(const std::vector<uint8_t>& d) { data_ = d; }

  TComponent* parent_ = nullptr;
  int number_ = 0;
  bool flag_ = false;
  TFzKind kind_ = TFzKind::fkOne;
  TSet<TFzKind> kinds_;
  std::string text_;
  std::vector<std::string> lines_;
  TNotifyEvent onClick_;
  TFzItem* link_ = nullptr;
  std::vector<uint8_t> data_;
};

VELMORA_PUBLISH(TFzItem) {
  p.Integer("Number", &TFzItem::number_)
      .Boolean("Flag", &TFzItem::flag_)
      .Enum("Kind", FzKindType, &TFzItem::kind_)
      .Set("Kinds", FzKindType, &TFzItem::kinds_)
      .String("Text", &TFzItem::text_)
      .Strings("Lines", &TFzItem::lines_)
      .Event("OnClick", &TFzItem::onClick_)
      .Object("Link", &TFzItem::link_)
      .Method<&TFzItem::Clicked>("Clicked")
      .Binary("Data", &TFzItem::SetData, &TFzItem::Data);
}

void Setup() {
  InitUnits();
  RegisterClass(TFzItem::StaticClass());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (Setup(), true);
  (void)ready;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TComponent> root;
  try {
    root.reset(CreateFromLayout(text));
  } catch (const Exception&) {
    return 0;  // refused with a layout error: fine
  }
  const std::string written = WriteLayout(root.get());
  std::unique_ptr<TComponent> again(CreateFromLayout(written));
  if (WriteLayout(again.get()) != written) {
    std::fprintf(stderr, "layout changed on a second round trip:\n%s\n", written.c_str());
    std::abort();
  }
  return 0;
}
