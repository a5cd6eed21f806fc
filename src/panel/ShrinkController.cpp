// The profile panel controller.
#include "panel/ShrinkController.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/FilePaths.h"
#include "base/ItemIdList.h"
#include "base/ResourceText.h"
#include "base/ValueText.h"
#include "res/ResourceIds.h"

const PanelControlIds kPanelControlIds[3] = {
    {IDC_USE1, IDC_METHOD1, IDC_WIDTH1, IDC_HEIGHT1, IDC_FOLDER1, IDC_BROWSE1, IDC_OPEN_FOLDER1,
     IDC_PREFIX1, IDC_PNG1, IDC_JPEG1, IDC_WEBP1, IDC_QUALITY1, IDC_MAX_KB1, IDC_BACKGROUND1, IDC_COLOR_BUTTON1,
     IDC_COLOR_TEXT1, IDC_KEEP_DATE1},
    {IDC_USE2, IDC_METHOD2, IDC_WIDTH2, IDC_HEIGHT2, IDC_FOLDER2, IDC_BROWSE2, IDC_OPEN_FOLDER2,
     IDC_PREFIX2, IDC_PNG2, IDC_JPEG2, IDC_WEBP2, IDC_QUALITY2, IDC_MAX_KB2, IDC_BACKGROUND2, IDC_COLOR_BUTTON2,
     IDC_COLOR_TEXT2, IDC_KEEP_DATE2},
    {IDC_USE3, IDC_METHOD3, IDC_WIDTH3, IDC_HEIGHT3, IDC_FOLDER3, IDC_BROWSE3, IDC_OPEN_FOLDER3,
     IDC_PREFIX3, IDC_PNG3, IDC_JPEG3, IDC_WEBP3, IDC_QUALITY3, IDC_MAX_KB3, IDC_BACKGROUND3, IDC_COLOR_BUTTON3,
     IDC_COLOR_TEXT3, IDC_KEEP_DATE3},
};

namespace {

// Opens the folder chooser at the folder it is given, expanded.
int CALLBACK BrowseCallback(HWND chooser, UINT message, LPARAM, LPARAM folder) {
  if (message == BFFM_INITIALIZED) {
    SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, folder);
    SendMessageW(chooser, BFFM_SETEXPANDED, TRUE, folder);
  }
  return 0;
}

// The form of an existing folder's path that the shell opens. The shell keeps paths in buffers
// of MAX_PATH and reads them as plain paths, which lose a last name's trailing dots and blanks:
// such a folder is given by its short form, when the volume keeps short names and that fits.
std::wstring ShellFolderPath(const std::wstring& folder) {
  const wchar_t last = folder.empty() ? L'\0' : folder.back();
  if (FullPath(folder).size() < MAX_PATH && last != L'.' && last != L' ') return folder;
  const std::wstring extended = ExtendedPath(folder);
  std::wstring shortPath(GetShortPathNameW(extended.c_str(), nullptr, 0), L'\0');
  if (shortPath.empty()) return folder;
  shortPath.resize(GetShortPathNameW(extended.c_str(), &shortPath[0],
                                     static_cast<DWORD>(shortPath.size())));
  if (shortPath.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    shortPath.replace(0, 8, L"\\\\");
  } else if (shortPath.compare(0, 4, L"\\\\?\\") == 0) {
    shortPath.erase(0, 4);
  }
  return !shortPath.empty() && shortPath.size() < MAX_PATH ? shortPath : folder;
}

}  // namespace

CShrinkController::CShrinkController(HWND dialog, const PanelControlIds& ids,
                                     ShrinkProfile& profile, CStringHistory& folderHistory,
                                     CStringHistory& prefixHistory,
                                     CShrinkControllerClient* client)
    : CDialogW(dialog),
      m_ids(ids),
      m_profile(profile),
      m_folderHistory(folderHistory),
      m_prefixHistory(prefixHistory),
      m_client(client) {}

void CShrinkController::Attach() {
  const CNamedLists& lists = GetNamedLists();
  m_use.Attach(GetItem(m_ids.Use), this);
  m_use.SetCheck(m_profile.Use);

  m_method.Attach(GetItem(m_ids.Method), lists.Shrinks, this);
  m_method.SetCurSel(lists.Shrinks.Find(m_profile));

  m_width.Attach(GetItem(m_ids.Width), lists.Sizes, this);
  SetItemNumber(m_width.GetHwnd(), m_profile.CustomWidth, true);
  m_height.Attach(GetItem(m_ids.Height), lists.Sizes, this);
  SetItemNumber(m_height.GetHwnd(), m_profile.CustomHeight, true);

  m_folder.Attach(GetItem(m_ids.Folder), m_folderHistory, this);
  SelectOrSetText(m_folder.GetHwnd(), m_profile.Folder);
  m_browse.Attach(GetItem(m_ids.Browse), this);
  m_openFolder.Attach(GetItem(m_ids.OpenFolder), this);

  m_prefix.Attach(GetItem(m_ids.Prefix), m_prefixHistory, this);
  SelectOrSetText(m_prefix.GetHwnd(), m_profile.Prefix);

  for (size_t i = 0; i < kPanelFormatCount; ++i) {
    m_formats[i].Attach(GetItem(m_ids.*kPanelFormatButtons[i]), this);
  }
  // A type that no row names shows as the row it is saved as.
  const int32_t shown = FindOutputFormat(m_profile.SaveFormat).type;
  for (size_t i = 0; i < kPanelFormatCount; ++i) m_formats[i].SetCheck(OutputFormatAt(i).type == shown);

  m_quality.Attach(GetItem(m_ids.Quality), lists.JpegQualities, this);
  SetItemNumber(m_quality.GetHwnd(), m_profile.SaveFormat.JpegQuality, true);
  m_maxKilobytes.Attach(GetItem(m_ids.MaxKilobytes), lists.Kilobytes, this);
  if (m_profile.MaxKilobytes > 0) SetItemNumber(m_maxKilobytes.GetHwnd(), m_profile.MaxKilobytes, true);

  m_background.Attach(GetItem(m_ids.Background), this);
  m_background.SetCheck(!m_profile.Transparent);

  m_colorButton.Attach(GetItem(m_ids.ColorButton), this);
  m_colorButton.SetColor(m_profile.BkColor);
  m_colorText.Attach(GetItem(m_ids.ColorText), lists.Colors, this);
  SelectOrSetText(m_colorText.GetHwnd(), FormatHexColor(m_profile.BkColor));

  m_keepDate.Attach(GetItem(m_ids.KeepDate), this);
  m_keepDate.SetCheck(m_profile.KeepDate);

  UpdateEnabled(false);
}

void CShrinkController::UpdateEnabled(bool busy) {
  const bool on = m_profile.Use && !busy;
  const bool customSize = m_profile.ShrinkType == static_cast<int32_t>(ShrinkMethod::Custom);
  const bool quality = FindOutputFormat(m_profile.SaveFormat).usesQuality;
  EnableItem(m_ids.Use, !busy);
  EnableItem(m_ids.Method, on);
  EnableItem(m_ids.Width, on && customSize);
  EnableItem(m_ids.Height, on && customSize);
  EnableItem(m_ids.Folder, on);
  EnableItem(m_ids.Browse, on);
  // Opening the output folder is always possible, also to look at a running job's results.
  EnableItem(m_ids.OpenFolder, true);
  EnableItem(m_ids.Prefix, on);
  for (int PanelControlIds::*button : kPanelFormatButtons) EnableItem(m_ids.*button, on);
  EnableItem(m_ids.Quality, on && quality);
  EnableItem(m_ids.MaxKilobytes, on);
  EnableItem(m_ids.Background, on);
  EnableItem(m_ids.ColorButton, on && !m_profile.Transparent);
  EnableItem(m_ids.ColorText, on && !m_profile.Transparent);
  EnableItem(m_ids.KeepDate, on);
}

bool CShrinkController::Collect(bool show) {
  m_profile.Use = m_use.IsChecked();
  if (!ReadMethod(show) ||
      !ReadSize(m_width.GetHwnd(), m_ids.Width, &m_profile.CustomWidth, show) ||
      !ReadSize(m_height.GetHwnd(), m_ids.Height, &m_profile.CustomHeight, show) ||
      !ReadFolder(show)) {
    return false;
  }
  ReadPrefix();
  ReadFormat();
  ReadQuality();
  ReadMaxKilobytes();
  ReadBackground();
  ReadColor();
  ReadKeepDate();
  if (m_profile.Use) {
    m_folderHistory.Add(m_profile.Folder);
    m_prefixHistory.Add(m_profile.Prefix);
  }
  return true;
}

void CShrinkController::RefreshFolderList() { m_folder.Refresh(); }

void CShrinkController::RefreshPrefixList() { m_prefix.Refresh(); }

bool CShrinkController::HitFolder(POINT screenPoint) {
  if (!OnFolderField(screenPoint)) return false;
  HWND folder = GetItem(m_ids.Folder);
  HWND focus = GetFocus();
  if (focus != folder && !IsChild(folder, focus)) Focus(m_ids.Folder);
  return true;
}

bool CShrinkController::DropOnFolder(POINT screenPoint, const CFileList& paths) {
  if (!OnFolderField(screenPoint)) return false;
  if (paths.Count() == 0) {
    ShowMessageId(IDS_MSG_FOLDER_DROP_NONE, MB_OK | MB_ICONERROR);
  } else if (paths.Count() > 1) {
    ShowMessageId(IDS_MSG_FOLDER_DROP_MULTIPLE, MB_OK | MB_ICONERROR);
  } else if (!IsExistingFolder(*paths.begin())) {
    ShowMessageId(IDS_MSG_FOLDER_DROP_NOT_FOLDER, MB_OK | MB_ICONERROR);
  } else {
    TakeFolder(*paths.begin(), true);
  }
  return true;
}

void CShrinkController::OnClick(CWindowW*, int, int id, HWND) {
  if (id == m_ids.Use) {
    OnUseClicked();
  } else if (id == m_ids.Browse) {
    OnBrowseClicked();
  } else if (id == m_ids.OpenFolder) {
    OnOpenFolderClicked();
  } else if (IsFormatButton(id)) {
    OnFormatClicked();
  } else if (id == m_ids.Background) {
    OnBackgroundClicked();
  } else if (id == m_ids.ColorButton) {
    OnColorButtonClicked();
  } else if (id == m_ids.KeepDate) {
    ReadKeepDate();
  }
}

bool CShrinkController::IsFormatButton(int id) const {
  for (int PanelControlIds::*button : kPanelFormatButtons) {
    if (id == m_ids.*button) return true;
  }
  return false;
}

void CShrinkController::OnSelChange(CWindowW*, int code, int id, HWND) {
  if (id == m_ids.Method) {
    OnMethodChanged();
  } else if (id == m_ids.Width) {
    ReadSize(m_width.GetHwnd(), m_ids.Width, &m_profile.CustomWidth, false);
  } else if (id == m_ids.Height) {
    ReadSize(m_height.GetHwnd(), m_ids.Height, &m_profile.CustomHeight, false);
  } else if (id == m_ids.Folder) {
    OnFolderChanged(code);
  } else if (id == m_ids.Prefix) {
    OnPrefixChanged(code);
  } else if (id == m_ids.Quality) {
    OnQualityChanged();
  } else if (id == m_ids.MaxKilobytes) {
    ReadMaxKilobytes();
  } else if (id == m_ids.ColorText) {
    OnColorTextChanged();
  }
}

void CShrinkController::OnUseClicked() {
  m_profile.Use = m_use.IsChecked();
  UpdateEnabled(false);
}

void CShrinkController::OnBrowseClicked() {
  // An empty field is reported, and the chooser opens all the same at the recorded folder.
  ReadFolder(true);
  std::wstring title;
  LoadResourceString(&title, IDS_BROWSE_FOLDER_TITLE);
  const std::wstring start = m_profile.Folder;
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW browse = {};
  browse.hwndOwner = m_hWnd;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
  CItemIDList chosen(SHBrowseForFolderW(&browse));
  wchar_t path[MAX_PATH] = {};
  if (chosen.IsNull() ||
      !SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(chosen.Get()), path)) {
    return;
  }
  TakeFolder(path, false);
}

void CShrinkController::OnOpenFolderClicked() {
  if (!ReadFolder(true)) return;
  // Only a folder is handed to the shell: a typed or stored path naming a program or a document
  // would otherwise be run or opened by this button.
  const bool opened =
      IsExistingFolder(m_profile.Folder) &&
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr,
                                              ShellFolderPath(m_profile.Folder).c_str(), nullptr,
                                              nullptr, SW_SHOWNORMAL)) > 32;
  if (!opened) ShowMessageId(IDS_MSG_OPEN_FOLDER_FAILED, MB_OK | MB_ICONERROR);
}

void CShrinkController::OnFormatClicked() {
  ReadFormat();
  UpdateEnabled(false);
}

void CShrinkController::OnBackgroundClicked() {
  ReadBackground();
  UpdateEnabled(false);
}

void CShrinkController::OnColorButtonClicked() {
  if (!m_colorButton.ChooseColor()) return;
  SelectOrSetText(m_colorText.GetHwnd(), FormatHexColor(m_colorButton.GetColor()));
  m_profile.BkColor = m_colorButton.GetColor();
}

void CShrinkController::OnMethodChanged() {
  ReadMethod(false);
  UpdateEnabled(false);
}

void CShrinkController::OnFolderChanged(int code) {
  // Typing is not taken: a folder counts once it is chosen, browsed, dropped or collected.
  if (code == CBN_EDITCHANGE || !ReadFolder(false)) return;
  m_folderHistory.Add(m_profile.Folder);
  if (m_client) m_client->OnFolderHistoryChanged(this);
}

void CShrinkController::OnPrefixChanged(int code) {
  if (code == CBN_EDITCHANGE) return;
  ReadPrefix();
  m_prefixHistory.Add(m_profile.Prefix);
  if (m_client) m_client->OnPrefixHistoryChanged(this);
}

void CShrinkController::OnQualityChanged() { ReadQuality(); }

void CShrinkController::OnColorTextChanged() {
  ReadColor();
  m_colorButton.SetColor(m_profile.BkColor);
}

bool CShrinkController::ReadMethod(bool show) {
  CNamedShrinks::EntryPtr entry = m_method.GetSelected();
  if (!entry) return Refuse(IDS_MSG_NO_SHRINK_METHOD, m_ids.Method, show);
  m_profile.ShrinkType = entry->ShrinkType;
  m_profile.ShrinkWidth = entry->Width;
  m_profile.ShrinkHeight = entry->Height;
  return true;
}

bool CShrinkController::ReadSize(HWND box, int id, int32_t* field, bool show) {
  const std::wstring text = GetComboText(box);
  int32_t value = 0;
  if (!text.empty() && !ParseFixedPoint(text, 0, &value)) {
    return Refuse(IDS_MSG_COMBO_VALUE_FAILED, id, show);
  }
  if (value <= 0) return Refuse(IDS_MSG_VALUE_NOT_POSITIVE, id, show);
  *field = value;
  return true;
}

bool CShrinkController::ReadFolder(bool show) {
  const std::wstring text = GetComboText(m_folder.GetHwnd());
  if (text.empty()) return Refuse(IDS_MSG_FOLDER_EMPTY, m_ids.Folder, show);
  m_profile.Folder = text;
  return true;
}

void CShrinkController::ReadPrefix() { m_profile.Prefix = GetComboText(m_prefix.GetHwnd()); }

void CShrinkController::ReadFormat() {
  // The first checked button's row. The last button is asked for nothing: the group always has
  // one checked, and should a program have cleared them all, the last row is what is left.
  size_t chosen = kPanelFormatCount - 1;
  for (size_t i = 0; i + 1 < kPanelFormatCount; ++i) {
    if (m_formats[i].IsChecked()) {
      chosen = i;
      break;
    }
  }
  m_profile.SaveFormat.Type = OutputFormatAt(chosen).type;
}

namespace {

// The number in a box that takes digits only (the quality, the size limit): anything else typed
// is taken out at once, and typing goes on where it was, at the end of what is left. The empty
// field reads as 0.
template <class Box>
int32_t ReadDigitsBox(Box& box) {
  HWND handle = box.GetHwnd();
  const std::wstring text = GetComboText(handle);
  const std::wstring kept = KeepDigits(text);
  if (kept != text) {
    SelectOrSetText(handle, kept);
    box.SetEditSel(static_cast<int>(kept.size()), static_cast<int>(kept.size()));
  }
  int32_t value = 0;
  ParseDigits(kept, &value);
  return value;
}

}  // namespace

void CShrinkController::ReadQuality() {
  // No range check here: a number off the scale is kept as typed, and taken as its nearest end
  // when the settings are loaded and when a picture is encoded (base/OutputQuality.h).
  m_profile.SaveFormat.JpegQuality = ReadDigitsBox(m_quality);
}

// Digits only, as the quality: empty (or 0) is no limit.
void CShrinkController::ReadMaxKilobytes() { m_profile.MaxKilobytes = ReadDigitsBox(m_maxKilobytes); }

void CShrinkController::ReadKeepDate() { m_profile.KeepDate = m_keepDate.IsChecked(); }

void CShrinkController::ReadBackground() { m_profile.Transparent = !m_background.IsChecked(); }

void CShrinkController::ReadColor() {
  uint32_t color = 0;
  if (!ParseHexColor(GetComboText(m_colorText.GetHwnd()), &color)) color = 0;
  m_profile.BkColor = color;
}

bool CShrinkController::Refuse(unsigned messageId, int controlId, bool show) {
  if (!show) return false;
  std::wstring text;
  FormatResourceString(&text, messageId, controlId);
  ShowMessage(text, MB_OK | MB_ICONERROR);
  Focus(controlId);
  return false;
}

void CShrinkController::Focus(int id) {
  // The dialog's own way of moving the focus, which also keeps its default button right.
  SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetItem(id)), TRUE);
}

bool CShrinkController::OnFolderField(POINT screenPoint) const {
  HWND folder = GetItem(m_ids.Folder);
  RECT bounds;
  return folder && IsWindowEnabled(folder) && GetWindowRect(folder, &bounds) &&
         PtInRect(&bounds, screenPoint);
}

void CShrinkController::TakeFolder(const std::wstring& path, bool focus) {
  SelectOrSetText(m_folder.GetHwnd(), path);
  if (focus) Focus(m_ids.Folder);
  m_profile.Folder = path;
  m_folderHistory.Add(path);
  if (m_client) m_client->OnFolderHistoryChanged(this);
}
