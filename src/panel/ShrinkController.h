// CShrinkController: one profile panel of the main dialog. It binds the panel's controls
// to one ShrinkProfile record of the settings and to the shared folder and prefix histories,
// shows the record, writes edits back into it as they happen, enables the controls for the idle
// and running states, validates the panel before a job and takes a folder dropped on its folder
// field. The three panels are three instances that differ only in their table of control ids.
#pragma once

#include <windows.h>

#include "job/FileList.h"
#include "job/ShrinkProfile.h"
#include "panel/ColorButton.h"
#include "panel/NamedLists.h"
#include "panel/PanelControls.h"
#include "res/StringIds.h"
#include "settings/Settings.h"
#include "win/Dialog.h"
#include "win/SimpleMsg.h"

// The control ids of one panel, in the order the controller receives them.
struct PanelControlIds {
  int Use;          // check box: the profile is enabled
  int Method;       // drop-down list: shrink method
  int Width;        // editable combo boxes: the typed size
  int Height;
  int Folder;       // editable combo box: output folder, with the folder history
  int Browse;       // push button: choose the folder in the shell's chooser
  int OpenFolder;   // push button: open the folder in the shell
  int Prefix;       // editable combo box: file-name prefix, with the prefix history
  int Png;          // radio buttons: output format (kPanelFormatButtons)
  int Jpeg;
  int Webp;
  int Quality;      // editable combo box: the quality number, for formats that use one
  int MaxKilobytes; // editable combo box: the output's size limit in kilobytes, empty for none
  int Background;   // check box: fill transparent pixels with the background colour
  int ColorButton;  // push button with the colour swatch
  int ColorText;    // editable combo box: the colour as RRGGBB
  int KeepDate;     // check box: the output keeps the date taken and the file's time
};

// Panels 1, 2 and 3 of the main dialog.
extern const PanelControlIds kPanelControlIds[3];

// A panel's format buttons, one per row of the output format table (image/encode/SaveFormat.h)
// and in its order: the i-th button chooses the i-th row.
constexpr int PanelControlIds::*kPanelFormatButtons[] = {&PanelControlIds::Png, &PanelControlIds::Jpeg,
                                                              &PanelControlIds::Webp};
constexpr size_t kPanelFormatCount = sizeof(kPanelFormatButtons) / sizeof(kPanelFormatButtons[0]);

class CShrinkController;

// The main dialog's side of its panels. Each call asks for every panel, the sender included, to
// refill its list from the shared history the sender has just added to.
class CShrinkControllerClient {
public:
  virtual void OnFolderHistoryChanged(CShrinkController* sender) = 0;
  virtual void OnPrefixHistoryChanged(CShrinkController* sender) = 0;

protected:
  ~CShrinkControllerClient() = default;
};

class CShrinkController
    : public COnSelChangeHandler,
      public COnClickHandler,
      public CDialogW,
      public CSimpleMsgImpl<CShrinkController, IDS_CAPTION_ERROR, IDS_CAPTION_CONFIRM> {
public:
  // `dialog` holds the controls named by `ids`. The record and the histories belong to the
  // settings and must outlive the controller; `client` may be null.
  CShrinkController(HWND dialog, const PanelControlIds& ids, ShrinkProfile& profile,
                    CStringHistory& folderHistory, CStringHistory& prefixHistory,
                    CShrinkControllerClient* client);
  CShrinkController(const CShrinkController&) = delete;
  CShrinkController& operator=(const CShrinkController&) = delete;

  // Once, after every panel of the dialog exists: takes over and fills the controls, shows the
  // record and enables the controls for the idle state.
  void Attach();

  // Idle (false): the controls of an enabled profile are enabled, except the size fields unless
  // the method is the typed size, the quality unless the format's row uses it (JPEG, WebP; the size limit for every format), and the
  // colour button and text while the background is off. Running (true), or a disabled profile: everything is
  // disabled but the open-folder button, and the use check box unless running.
  void UpdateEnabled(bool busy);

  // Reads every control into the record, in panel order, stopping at the first value that is not
  // valid (the fields before it are already written). With `show` the failure is reported in a
  // message box and the focus moves to the control to fix. A disabled profile is read (and
  // checked) too; an enabled one also puts its folder and prefix first in the histories, without
  // telling the client. True when the whole panel was read.
  bool Collect(bool show);

  // Refill the folder (prefix) list from its history, keeping the text the field shows.
  void RefreshFolderList();
  void RefreshPrefixList();

  // True when `screenPoint` lies on the enabled folder field, which then gets the focus.
  bool HitFolder(POINT screenPoint);
  // When `screenPoint` lies on the enabled folder field, the drop is this panel's and true is
  // returned whatever its outcome: one existing folder becomes the profile's folder; anything
  // else is refused with a message. False leaves the drop to the caller (a job).
  bool DropOnFolder(POINT screenPoint, const CFileList& paths);

  const PanelControlIds& GetIds() const { return m_ids; }

private:
  void OnClick(CWindowW* sender, int code, int id, HWND control) override;
  bool IsFormatButton(int id) const;
  void OnSelChange(CWindowW* sender, int code, int id, HWND control) override;

  void OnUseClicked();
  void OnBrowseClicked();
  void OnOpenFolderClicked();
  void OnFormatClicked();
  void OnBackgroundClicked();
  void OnColorButtonClicked();
  void OnMethodChanged();
  void OnFolderChanged(int code);
  void OnPrefixChanged(int code);
  void OnQualityChanged();
  void OnColorTextChanged();

  // The reading steps; those that can fail report with `show` and return false.
  bool ReadMethod(bool show);
  bool ReadSize(HWND box, int id, int32_t* field, bool show);
  bool ReadFolder(bool show);
  void ReadPrefix();
  void ReadFormat();
  void ReadQuality();
  void ReadMaxKilobytes();
  void ReadBackground();
  void ReadColor();
  void ReadKeepDate();

  // Message `messageId` ("%d" filled with `controlId`) and the focus on that control, when
  // `show`; always false.
  bool Refuse(unsigned messageId, int controlId, bool show);
  void Focus(int id);
  bool OnFolderField(POINT screenPoint) const;
  // A folder chosen in the chooser or dropped: shown, recorded and put first in the history.
  void TakeFolder(const std::wstring& path, bool focus);

  const PanelControlIds m_ids;
  ShrinkProfile& m_profile;
  CStringHistory& m_folderHistory;
  CStringHistory& m_prefixHistory;
  CShrinkControllerClient* m_client;

  CButton2 m_use;
  CComboBoxL<CNamedShrinks> m_method;
  CComboBox2<CNamedSizes> m_width;
  CComboBox2<CNamedSizes> m_height;
  CComboBoxS<CStringHistory> m_folder;
  CButton2 m_browse;
  CButton2 m_openFolder;
  CComboBoxS<CStringHistory> m_prefix;
  CButton2 m_formats[kPanelFormatCount];  // as kPanelFormatButtons
  CComboBox2<CNamedJpegQualities> m_quality;
  CComboBox2<CNamedKilobytes> m_maxKilobytes;
  CButton2 m_background;
  CColorButton m_colorButton;
  CComboBox2<CNamedColors> m_colorText;
  CButton2 m_keepDate;
};
