#include "shell/gamet.h"

#include <exception>

#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"

void TGameThread::Execute() {
  VXCriticalSection& lock = form_.GetGameLock();
  lock.Enter();
  bool ended = false;  // by the request to end, the normal way
  try {
    form_.SetResultPending(false);
    while (!Terminated()) {
      const int depth = lock.LeaveAll();
      GameFrame(&form_);
      if (form_.IsApplicationTerminated()) {
        // The main loop is gone: run down without touching the window (the lock stays given up).
        Terminate();
        return;
      }
      lock.Reenter(depth);
    }
    ended = true;
  } catch (const std::exception& e) {
    form_.SetFatalError(platform::text::Cp932ToUtf8(e.what()));
  } catch (...) {
    form_.SetFatalError("the game thread ended by an unknown exception");
  }
  if (ended) SaveUserConfig(&UserConfig);
  form_.SetOnFrame({});
  form_.SetOnFrameInput({});
  form_.CloseNow();
  lock.LeaveAll();
}

std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form) { return std::make_unique<TGameThread>(form); }
