#include "shell/screenform.h"

#include "shell/gamef.h"
#include "shell/gamefunc.h"

namespace screenform {

bool LoadTextPicture(Classes::TComponent* sender, VXFileMan* files) {
  auto* panel = dynamic_cast<TZoRGBPanel*>(sender);
  if (panel == nullptr || panel->GetText().empty()) return true;
  return ::LoadPanelImage(panel, files, VXString(panel->GetText().c_str()));
}

void ReleaseTextPicture(Classes::TComponent* sender) {
  if (auto* panel = dynamic_cast<TZoRGBPanel*>(sender)) ::ReleasePanelImage(panel);
}

void PlaySystemSe(int index) {
  if (GameForm != nullptr) GameForm->PlaySystemSe(index);
}

void NotifyMainThread(int result) {
  if (GameForm != nullptr) GameForm->NotifyMainThread(result);
}

}  // namespace screenform
