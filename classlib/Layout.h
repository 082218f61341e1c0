#pragma once
// Layouts: a readable, line-based text form of a component and the components it
// owns. Example:
//
//   # comments start with '#'
//   object MainForm: TMainForm
//     Caption = "Hello \"world\"\n"
//     Width = 640
//     Visible = True
//     BorderStyle = bsSingle
//     Options = [xoPreview, xoToolbarBK]
//     OnClick = MainFormClick
//     Font.Height = -11
//     Lines = (
//       "first line"
//       "second line"
//     )
//     object Panel1: TPanel
//       object Button1: TButton
//         PopupMenu = Menu1
//       end
//     end
//     object SkinData1: TSkinData
//       SkinStream = {
//         0400000001020304
//       }
//     end
//   end
//
// One item per line; indentation is free. Values: integer (decimal, "$1F" or "0x1F"),
// identifier (an enumeration value, True/False, a component's name for an object
// property, a published method of the root for an event), set "[a,b]", string in
// double quotes with the escapes \\ \" \n \r \t \xHH, string list "(" ... ")" with one
// quoted string per line, binary data "{" ... "}" with hexadecimal digits. A property
// name may be a path through object properties ("Font.Height"). "object Name: Class"
// starts a component ("object Class" for an unnamed one), "end" ends it.
//
// Reading creates each nested component by class name (the class registry of
// Classes.h), owned by the root and with the enclosing object as parent component,
// sets its properties in the order given, resolves component references, then clears
// the loading state and calls Loaded once on the root and on every component read, in
// reading order. Any error raises ELayoutError naming the line; the components read so
// far are then deleted.
#include <string>
#include <string_view>

#include "classlib/Components.h"
#include "classlib/SysUtils.h"

class ELayoutError : public EReadError {
  VELMORA_CLASS(ELayoutError, EReadError)
 public:
  ELayoutError() = default;
  // The message reads "Line <line>: <message>".
  ELayoutError(int line, const std::string& message);
  int Line() const { return line_; }

 private:
  int line_ = 0;
};

// Reads a layout into the existing `root`, whose class must be the layout's outer
// class or derive from it by name. Raises ELayoutError.
void ReadLayoutInto(TComponent* root, std::string_view text);

// Creates the layout's outer component by class name, inserts it into `owner` (may be
// null) and reads the layout into it. Returns it (owned by `owner`, else by the
// caller). Raises ELayoutError; nothing is left behind then.
TComponent* CreateFromLayout(std::string_view text, TComponent* owner = nullptr);

// Writes `root` and the components nested in it (GetChildren): every published
// property that has a setter and is not at its default (empty strings, string lists,
// unassigned events and null objects are left out), object properties as the name of
// a component of the root or, for objects that are not components, as their own
// properties under "Name.", events as the name of a published method of the root, and
// every binary property. What it writes, ReadLayoutInto reads back.
std::string WriteLayout(const TComponent* root);

// How a string is written in a layout: in double quotes, with escapes.
std::string QuoteLayoutString(std::string_view text);
