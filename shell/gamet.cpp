#include "shell/gamet.h"

#include <exception>

#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"

void TGameThread::Execute() {
  TGameForm& form = GetForm();
  form.GetGameLock().Enter();
  bool ended = false;  // by the request to end, the normal way
  try {
    for (;;) WaitForNotify();
  } catch (const EGameEnd&) {
    ended = true;
  } catch (const std::exception& e) {
    form.SetFatalError(platform::text::Cp932ToUtf8(e.what()));
  } catch (...) {
    form.SetFatalError("the game thread ended by an unknown exception");
  }
  if (!form.IsApplicationTerminated()) {
    if (ended) SaveUserConfig(&UserConfig);
    form.SetOnFrame({});
    form.SetOnFrameInput({});
  }
  RunDown();
}

std::unique_ptr<Classes::TThread> MakeGameThread(TGameForm& form) { return std::make_unique<TGameThread>(form); }
