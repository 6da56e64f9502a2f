#include "platform/clipboard.h"

#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace platform::clipboard {

// ---- Targets ----------------------------------------------------------------------------------------------------

namespace {

enum class Encoding { kPng, kBmp };

struct Target {
  std::string_view name;
  Encoding encoding;
};

// "image/bmp" first among the BMP names: programs that ask the list take the first they know.
constexpr Target kTargets[] = {
    {"image/png", Encoding::kPng},
    {"image/bmp", Encoding::kBmp},
    {"image/x-bmp", Encoding::kBmp},
    {"image/x-MS-bmp", Encoding::kBmp},
};

}  // namespace

const std::vector<std::uint8_t>* ServedBytes(const Picture& picture, std::string_view target) {
  for (const Target& t : kTargets) {
    if (t.name != target) continue;
    const std::vector<std::uint8_t>& bytes = t.encoding == Encoding::kPng ? picture.png : picture.bmp;
    return bytes.empty() ? nullptr : &bytes;
  }
  return nullptr;
}

const std::vector<std::string_view>& PictureTargets() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> v;
    for (const Target& t : kTargets) v.push_back(t.name);
    return v;
  }();
  return names;
}

// ---- The memory clipboard -----------------------------------------------------------------------------------------

bool MemoryClipboard::SetText(std::string_view utf8) {
  if (refuse) return false;
  text = utf8;
  return true;
}

bool MemoryClipboard::SetPicture(Picture p) {
  if (refuse) return false;
  picture = std::move(p);
  ++pictures;
  return true;
}

// ---- The X11 selection owner ----------------------------------------------------------------------------------

namespace {

// X errors of our own connection (a requestor window that went away) are ignored; those of other connections (SDL's)
// go to the handler that was there before.
std::atomic<Display*> ownDisplay{nullptr};
XErrorHandler previousHandler = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
  if (display == ownDisplay.load()) return 0;
  return previousHandler != nullptr ? previousHandler(display, error) : 0;
}

class X11Owner final : public X11PictureOwner {
public:
  X11Owner(Display* display, int wakeRead, int wakeWrite) : display_(display), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    targets_ = XInternAtom(display_, "TARGETS", False);
    for (std::string_view name : PictureTargets())
      offered_.push_back(XInternAtom(display_, std::string(name).c_str(), False));
    const long words = XExtendedMaxRequestSize(display_) != 0 ? XExtendedMaxRequestSize(display_)
                                                              : XMaxRequestSize(display_);
    maxBytes_ = static_cast<std::size_t>(words) * 4 - 1024;  // room for the request's own fields
    XFlush(display_);
    thread_ = std::thread([this] { Run(); });
  }

  ~X11Owner() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    Wake();
    thread_.join();
    XDestroyWindow(display_, window_);
    ownDisplay.store(nullptr);
    XCloseDisplay(display_);
    close(wakeRead_);
    close(wakeWrite_);
  }

  bool Offer(Picture picture) override {
    std::unique_lock lock(mutex_);
    if (stopping_) return false;
    pending_ = std::move(picture);
    const std::uint64_t ticket = ++offers_;
    lock.unlock();
    Wake();
    lock.lock();
    // The owner thread answers at once; a server that does not answer within seconds has gone.
    if (!done_.wait_for(lock, std::chrono::seconds(5), [&] { return answered_ >= ticket; })) return false;
    return owned_;
  }

private:
  void Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakeWrite_, &byte, 1);
  }

  void Run() {
    for (;;) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        Handle(event);
      }
      pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if ((fds[1].revents & POLLIN) != 0) {
        char drain[64];
        [[maybe_unused]] const ssize_t n = read(wakeRead_, drain, sizeof drain);
        if (!TakeOffer()) return;
      }
    }
  }

  // False when the owner is stopping.
  bool TakeOffer() {
    std::unique_lock lock(mutex_);
    if (stopping_) return false;
    if (answered_ == offers_) return true;
    picture_ = std::move(pending_);
    pending_ = {};
    const std::uint64_t ticket = offers_;
    lock.unlock();
    XSetSelectionOwner(display_, clipboard_, window_, CurrentTime);
    const bool owned = XGetSelectionOwner(display_, clipboard_) == window_;
    lock.lock();
    owned_ = owned;
    answered_ = ticket;
    done_.notify_all();
    return true;
  }

  void Handle(const XEvent& event) {
    if (event.type == SelectionClear && event.xselectionclear.selection == clipboard_) {
      picture_ = {};  // another program holds the clipboard now
      return;
    }
    if (event.type == SelectionRequest) Answer(event.xselectionrequest);
  }

  void Answer(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // Clients of the old convention name no property: the target is the property then.
    const Atom property = request.property != None ? request.property : request.target;
    if (request.selection == clipboard_ && !picture_.png.empty()) {
      if (request.target == targets_) {
        std::vector<Atom> atoms{targets_};
        atoms.insert(atoms.end(), offered_.begin(), offered_.end());
        XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
        reply.property = property;
      } else if (const std::vector<std::uint8_t>* bytes = BytesFor(request.target);
                 bytes != nullptr && bytes->size() <= maxBytes_) {
        XChangeProperty(display_, request.requestor, property, request.target, 8, PropModeReplace, bytes->data(),
                        static_cast<int>(bytes->size()));
        reply.property = property;
      }
    }
    XEvent out{};
    out.xselection = reply;
    XSendEvent(display_, request.requestor, False, 0, &out);
    XFlush(display_);
  }

  const std::vector<std::uint8_t>* BytesFor(Atom target) {
    for (std::size_t i = 0; i < offered_.size(); ++i)
      if (offered_[i] == target) return ServedBytes(picture_, PictureTargets()[i]);
    return nullptr;
  }

  Display* display_;
  Window window_ = 0;
  Atom clipboard_ = None, targets_ = None;
  std::vector<Atom> offered_;  // in the order of PictureTargets
  std::size_t maxBytes_ = 0;
  const int wakeRead_, wakeWrite_;
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable done_;
  bool stopping_ = false;
  Picture pending_;
  std::uint64_t offers_ = 0, answered_ = 0;
  bool owned_ = false;

  Picture picture_;  // the owner thread's own
};

}  // namespace

std::unique_ptr<X11PictureOwner> X11PictureOwner::Open(std::string* error) {
  auto fail = [error](const char* why) -> std::unique_ptr<X11PictureOwner> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return fail("no X display");
  if (ownDisplay.load() != nullptr) return fail("an owner exists already");
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return fail("the X display cannot be reached");
  int wake[2];
  if (pipe(wake) != 0) {
    XCloseDisplay(display);
    return fail("no pipe");
  }
  ownDisplay.store(display);
  XErrorHandler previous = XSetErrorHandler(&OnXError);
  if (previous != &OnXError) previousHandler = previous;
  return std::make_unique<X11Owner>(display, wake[0], wake[1]);
}

// ---- The desktop's clipboard ----------------------------------------------------------------------------------

namespace {

class DesktopClipboard final : public Clipboard {
public:
  bool SetText(std::string_view utf8) override { return SDL_SetClipboardText(std::string(utf8).c_str()) == 0; }

  std::string GetText() override {
    char* text = SDL_GetClipboardText();
    if (text == nullptr) return {};
    std::string result(text);
    SDL_free(text);
    return result;
  }

  bool SetPicture(Picture picture) override {
    std::lock_guard lock(mutex_);
    if (!owner_) owner_ = X11PictureOwner::Open(nullptr);
    return owner_ && owner_->Offer(std::move(picture));
  }

private:
  std::mutex mutex_;
  std::unique_ptr<X11PictureOwner> owner_;
};

std::atomic<Clipboard*> replaced{nullptr};

}  // namespace

Clipboard& Current() {
  if (Clipboard* c = replaced.load()) return *c;
  static DesktopClipboard desktop;
  return desktop;
}

Clipboard* Replace(Clipboard* clipboard) { return replaced.exchange(clipboard); }

}  // namespace platform::clipboard
