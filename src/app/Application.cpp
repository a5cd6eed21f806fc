// Start-up, message loop and shut-down.
#include "app/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "app/InstanceHandOver.h"
#include "app/MainDlg.h"
#include "app/drop/DropContents.h"
#include "base/Handle.h"
#include "image/GdiplusStartup.h"
#include "settings/Settings.h"
#include "win/AppModule.h"
#include "win/MessageLoop.h"

namespace {

// OLE for the user-interface thread (drag and drop needs it), left when the owner goes. A failed
// start is not reported: it only means that the window accepts no drops.
struct OleSessionTraits {
  typedef bool Type;  // started
  static bool Empty() { return false; }
  static bool IsEmpty(bool started) { return !started; }
  static void Release(bool) { OleUninitialize(); }
};
typedef CScoped<OleSessionTraits> COleSession;

// The module's instance handle, from which every resource is loaded, forgotten when the owner goes.
struct ModuleSessionTraits {
  typedef bool Type;  // initialised
  static bool Empty() { return false; }
  static bool IsEmpty(bool initialised) { return !initialised; }
  static void Release(bool) { GetAppModule().Term(); }
};
typedef CScoped<ModuleSessionTraits> CModuleSession;

// A window that its stored placement has just maximised stays maximised: the plain show command
// of an ordinary start would restore it straight away.
int FirstShowCommand(HWND window, int showCommand) {
  if (IsZoomed(window) && (showCommand == SW_SHOWNORMAL || showCommand == SW_SHOWDEFAULT)) {
    return SW_SHOW;
  }
  return showCommand;
}

// Once shown, the window takes later starts' paths (when this process holds the slot) and then
// the command line's own, both as drops.
int RunMainDialog(int showCommand, const std::vector<std::wstring>& paths, CInstanceSlot* slot) {
  CMessageLoop loop;
  GetAppModule().AddMessageLoop(&loop);
  CMainDlg dialog;
  int result = 0;
  HWND window = dialog.Create(nullptr);
  if (window) {
    ShowWindow(window, FirstShowCommand(window, showCommand));
    slot->Publish(window);
    if (!paths.empty()) dialog.DropFromOutside(MakeFileList(paths));
    result = loop.Run();
    slot->Withdraw();
  }
  GetAppModule().RemoveMessageLoop();
  return result;
}

}  // namespace

int RunApplication(HINSTANCE instance, int showCommand, const std::vector<std::wstring>& paths) {
  // Before anything is loaded or shown: a start that hands its paths over ends here, with 0 when
  // the running window took them and kHandOverRefusedExitCode when it refused them (that window
  // tells the user). A start without paths opens a window of its own, and holds the slot only
  // when it is free; so does a start whose paths found no window to answer.
  CInstanceSlot slot;
  if (!slot.Claim() && !paths.empty()) {
    switch (slot.HandOverPaths(paths, kHandOverWaitMs)) {
      case CInstanceSlot::HandOver::Delivered:
        return 0;
      case CInstanceSlot::HandOver::Refused:
        return kHandOverRefusedExitCode;
      case CInstanceSlot::HandOver::Claimed:
      case CInstanceSlot::HandOver::NoAnswer:
        break;
    }
  }
  COleSession ole(SUCCEEDED(OleInitialize(nullptr)));
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES;
  InitCommonControlsEx(&controls);
  GetAppModule().Init(instance);
  CModuleSession module(true);
  CGdiplusStartup gdiplus;
  // Whatever cannot be read keeps its default; there is nothing to tell the user.
  GetSettings().LoadSettings();
  // Copies of dropped items that a killed instance left behind; a running one's stay.
  RemoveAbandonedDropFolders();
  return RunMainDialog(showCommand, paths, &slot);
}
