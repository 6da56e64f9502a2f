// The desktop's clipboard: text (through SDL) and pictures (a screenshot), behind one interface that tests replace.
//
// A picture is offered in two encodings at once, PNG ("image/png") and BMP ("image/bmp" and its older names), by a
// small X11 selection owner of our own: a thread with its own connection to the X server and an unmapped window
// that owns CLIPBOARD and answers the requests of other programs until another program takes the selection or the
// process ends. Without an X display (no DISPLAY, or a server that cannot be reached) a picture cannot be offered.
// Text goes through SDL's clipboard, which needs SDL's video subsystem and the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::clipboard {

// One picture, encoded both ways (a full BMP file, with its file header).
struct Picture {
  std::vector<std::uint8_t> png;
  std::vector<std::uint8_t> bmp;
};

class Clipboard {
public:
  virtual ~Clipboard() = default;
  // UTF-8 text; false when the clipboard refused it.
  virtual bool SetText(std::string_view utf8) = 0;
  // The text on the clipboard (UTF-8), empty when there is none.
  virtual std::string GetText() = 0;
  // Offers the picture to other programs; false when it cannot be offered.
  virtual bool SetPicture(Picture picture) = 0;
};

// The clipboard the game uses: the desktop's, unless a test replaced it.
Clipboard& Current();
// Replaces the clipboard the game uses (null puts the desktop's back); returns the one it replaced (null for the
// desktop's).
Clipboard* Replace(Clipboard* clipboard);

// What the clipboard received, for tests.
class MemoryClipboard : public Clipboard {
public:
  bool SetText(std::string_view utf8) override;
  std::string GetText() override { return text; }
  bool SetPicture(Picture p) override;

  std::string text;
  Picture picture;
  int pictures = 0;      // pictures offered so far
  bool refuse = false;   // every call fails, as a clipboard without a display does
};

// The bytes a request for `target` (a MIME type or an old X name) is served, or null for a target the picture is
// not offered as.
const std::vector<std::uint8_t>* ServedBytes(const Picture& picture, std::string_view target);
// The targets a picture is offered as (TARGETS lists them, with TARGETS itself).
const std::vector<std::string_view>& PictureTargets();

// The X11 selection owner. One lives in the process at most, made on the first picture offered.
class X11PictureOwner {
public:
  // Connects to the display DISPLAY names; null (with the reason in `error`) when there is none.
  static std::unique_ptr<X11PictureOwner> Open(std::string* error);
  virtual ~X11PictureOwner() = default;
  // Takes CLIPBOARD with the picture; false when the server refused the ownership or the owner has stopped.
  virtual bool Offer(Picture picture) = 0;
};

}  // namespace platform::clipboard
