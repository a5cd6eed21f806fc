// Panel test support.
#include "panel/PanelHost.h"

#include "image/Dib.h"
#include "settings/Settings.h"

LRESULT CPanelHost::OnInitDialog(UINT, WPARAM, LPARAM, bool&) {
  CSettings& settings = GetSettings();
  for (const PanelControlIds& ids : kPanelControlIds) {
    m_panels.emplace_back(new CShrinkController(m_hWnd, ids, settings.Profiles[m_panels.size()],
                                                settings.FolderHistory, settings.PrefixHistory,
                                                this));
  }
  for (auto& panel : m_panels) panel->Attach();
  return TRUE;
}

void CPanelHost::OnFolderHistoryChanged(CShrinkController*) {
  ++m_folderChanges;
  for (auto& panel : m_panels) panel->RefreshFolderList();
}

void CPanelHost::OnPrefixHistoryChanged(CShrinkController*) {
  ++m_prefixChanges;
  for (auto& panel : m_panels) panel->RefreshPrefixList();
}

void PanelTest::SetUp() {
  DialogTest::SetUp();
  // Every test starts from the defaults, with fixed folders instead of the Pictures folder.
  CSettings defaults;
  CSettings& settings = GetSettings();
  settings.Profiles = defaults.Profiles;
  settings.FolderHistory = defaults.FolderHistory;
  settings.PrefixHistory = defaults.PrefixHistory;
  const wchar_t* folders[] = {L"C:\\out\\small", L"C:\\out\\medium", L"C:\\out\\full"};
  for (size_t i = 0; i < 3; ++i) settings.Profiles[i].Folder = folders[i];
}

void PanelTest::TearDown() {
  m_host.reset();
  DialogTest::TearDown();
}

HWND PanelTest::OpenHost() {
  m_host.reset(new CPanelHost);
  HWND window = m_host->Create(nullptr);
  EXPECT_NE(nullptr, window);
  if (window) {
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
  }
  return window;
}

void PanelTest::Choose(int id, int position) {
  HWND box = HostItem(id);
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  SendMessageW(m_host->GetHwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(box));
  EXPECT_EQ(kQueueDrained, RunQueued());
}

void PanelTest::Type(int id, const std::wstring& text) {
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(HostItem(id), &info));
  // The whole text replaced as a keyboard user would: selected, then overtyped.
  SendMessageW(info.hwndItem, EM_SETSEL, 0, -1);
  SendMessageW(info.hwndItem, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  EXPECT_EQ(kQueueDrained, RunQueued());
}

std::vector<DWORD> ClientPixels(HWND window, LONG* width, LONG* height) {
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  *width = client.right;
  *height = client.bottom;
  std::vector<DWORD> pixels;
  CDibSection picture;
  if (!picture.Create(*width, *height, 32, 0, BI_RGB) || !picture.AllocBits()) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, picture.GetBitmap());
  BitBlt(memory, 0, 0, *width, *height, screen, origin.x, origin.y, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  GdiFlush();
  for (LONG y = 0; y < *height; ++y) {
    const DWORD* row = reinterpret_cast<const DWORD*>(picture.TopRow(y));
    for (LONG x = 0; x < *width; ++x) pixels.push_back(row[x] & 0xFFFFFF);
  }
  return pixels;
}
