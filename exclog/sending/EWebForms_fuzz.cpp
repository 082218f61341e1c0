// Fuzz target: a page from a tracker, read by the form scanner and the form
// operations of a connection. The first line names the field, the rest is the
// page. Nothing found may be longer than the page; nothing may read outside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exclog/sending/EWebForms.h"
#include "exclog/sending/EWebScripted_test.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace exclog;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\n');
  std::string name = cut == std::string::npos ? "x" : input.substr(0, cut);
  std::string page = cut == std::string::npos ? input : input.substr(cut + 1);
  auto fits = [&](const std::optional<std::string>& v) {
    if (v && v->size() > page.size()) std::abort();
  };
  fits(FindInput(page, name));
  fits(FindTextArea(page, name));
  fits(FindSelected(page, name));
  fits(FindOption(page, name, "Velmora"));
  if (TextAfter(page, name, 2).size() > page.size()) std::abort();
  if (DecodeEntities(page).size() > page.size()) std::abort();

  auto script = std::make_shared<test::TScript>();
  script->Pages["p"] = [&](const TExchangeRequest&) { return test::Page(page); };
  THTTPConnectionBase c(std::make_unique<test::TScriptedExchange>(script), "http://h/", ":");
  c.Open();
  c.Navigate("p", RequestGet);
  if (!c.Execute(nullptr, false)) std::abort();
  c.Navigate("q", RequestPostForm);
  c.AddInputField(name);
  c.AddTextAreaField(name);
  c.AddSelectField(name);
  c.AddSelectFieldIfSet(name);
  c.AddSelectOptionField(name, "Velmora");
  c.BumpCounterField(name);
  for (const auto& f : c.FormFields())
    if (f.second.size() > page.size() + 1) std::abort();  // a bumped counter may gain a digit
  return 0;
}
