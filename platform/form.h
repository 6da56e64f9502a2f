// Form resources: the text that lays out one screen, and its loader over the component registry
// (platform/component.h).
//
// A form is UTF-8 text, one statement a line:
//
//   form TitleMenu : TTitleMenu               # the form's name and the screen class it is loaded into
//     object TitleMenuPanel : TZoRGBPanel     # a component: its name and registered class
//       SizeX = 640                           # a property: name (dotted for nested ones: Font.Height) = value
//       OnKeyDown = TitleMenuPanelKeyDown     # an event: bound to a handler of the screen
//       object BtnStart : TZoRGBBtn           # nested: BtnStart's parent is TitleMenuPanel
//         Text = "TitleStart.png"
//       end
//     end
//   end
//
// Values: integers (decimal, or hexadecimal 0x..; a leading '-' negates; decimal values must fit an int, an
// unsigned hexadecimal up to 0xFFFFFFFF is taken as the int with those bits), true/false, strings in double quotes
// (\" and \\ are the only escapes; the text must have a CP932 form and reaches the setter as CP932), enum
// identifiers, sets [a, b] (possibly empty), names of components of the same form (before or after the one that
// names them), handler names. '#' starts a comment that runs to the end of the line, except inside a string.
// Names are case-sensitive. Every property and event may be written once per object.
//
// Loading is all or nothing. The whole text is parsed and checked against the registry and the screen first: a
// syntax error, an unknown screen class, class, property, enum or set value, component or handler, a handler of
// the wrong event kind, a duplicate component name (within the form or among the screen's own components), an
// object nested in one it cannot be placed in, and a registered screen field whose component is missing from the
// form or is of a class the field cannot hold are errors, reported as EFormError ("file:line: message") with
// nothing created. Then, with the screen as owner: every object is created in document order and named, the
// properties written are applied (absent ones keep the constructor's values), every nested object is linked to
// its enclosing object in document order (so siblings are linked in z-order, first at the bottom), events are
// bound, Loaded() is called on each created component in document order, and the screen's fields are filled.
// Top-level objects are not linked to anything: the screen reaches them through its fields. An exception thrown
// by a setter, link, binding or Loaded() destroys what was created and comes out as an EFormError at the line
// concerned. The screen's own Loaded() is not called: the screen goes on after the load returns.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"

namespace platform::form {

// The resource type of embedded forms: qorm_embed_resources(<target> TYPE FORM FILES forms/TitleMenu.form).
inline constexpr std::string_view kResourceType = "FORM";

class EFormError : public std::runtime_error {
public:
  // `line` 0 stands for the whole file ("file: message").
  EFormError(std::string file, int line, std::string message);

  const std::string& File() const { return file_; }
  int Line() const { return line_; }
  const std::string& Message() const { return message_; }

private:
  std::string file_;
  int line_;
  std::string message_;
};

// Loads form text into `screen`; `fileName` names it in messages. Returns the created components in document
// order. Throws EFormError.
std::vector<Classes::TComponent*> LoadForm(Classes::TComponent& screen, std::string_view text,
                                           std::string_view fileName);

// Loads the embedded form resource `name` ("TitleMenu.form", or "TitleMenu" for the same). Throws EFormError,
// also when there is no such resource.
std::vector<Classes::TComponent*> LoadFormResource(Classes::TComponent& screen, std::string_view name);

}  // namespace platform::form
