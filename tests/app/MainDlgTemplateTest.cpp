// The main dialog as its template makes it: every control of the frame and of the three profile
// panels, with its id, class, text, place, tab stop and drop-down height.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/GuiSupport.h"

namespace {

struct ControlRow {
  int ids[3];  // panel 1, 2, 3
  const wchar_t* className;
  const wchar_t* text;  // null: the panel's number
  int x, y, width, height;
  bool tabStop;
};

// Panel 1's places; panels 2 and 3 repeat them 89 and 178 units lower. Combo boxes give their
// drop-down height.
const ControlRow kPanelControls[] = {
    {{1004, 1005, 1019}, L"Button", nullptr, 16, 7, 20, 10, true},
    {{1031, 1035, 1040}, L"ComboBox", L"", 52, 18, 112, 290, true},
    {{1033, 1036, 1041}, L"ComboBox", L"", 231, 18, 41, 289, true},
    {{1034, 1037, 1042}, L"ComboBox", L"", 291, 18, 41, 290, true},
    {{1000, 1006, 1020}, L"ComboBox", L"", 52, 35, 291, 30, true},
    {{1001, 1009, 1021}, L"Button", L"参照", 347, 34, 41, 15, true},
    {{1003, 1013, 1022}, L"Button", L"↓", 391, 34, 17, 15, true},
    {{1002, 1015, 1023}, L"ComboBox", L"", 52, 53, 38, 30, true},
    {{1007, 1016, 1026}, L"Button", L"PNG", 128, 55, 29, 8, false},
    {{1008, 1017, 1027}, L"Button", L"JPEG", 159, 55, 32, 8, false},
    {{1045, 1046, 1047}, L"Button", L"WebP", 193, 55, 33, 8, false},
    {{1010, 1018, 1028}, L"ComboBox", L"", 262, 53, 30, 195, true},
    {{1048, 1049, 1050}, L"ComboBox", L"", 332, 53, 40, 195, true},
    {{1030, 1038, 1043}, L"Button", L"背景色(&B):", 13, 73, 49, 8, true},
    {{1032, 1039, 1044}, L"Button", L"", 64, 70, 41, 14, true},
    {{1024, 1025, 1029}, L"ComboBox", L"", 117, 71, 42, 195, true},
    {{1051, 1052, 1053}, L"Button", L"日付を残す(&D)", 170, 73, 70, 8, true},
};

struct LabelRow {
  const wchar_t* text;
  int x, y, width, height;
};

const LabelRow kPanelLabels[] = {
    {L"縮小(&Ｔ):", 13, 20, 30, 8},      {L"指定のサイズ(&S):", 172, 20, 55, 8},
    {L"×", 279, 20, 8, 8},               {L"フォルダ(&F): ", 13, 37, 38, 8},
    {L"接頭辞(&P):", 13, 55, 37, 8},     {L"形式(&F):", 95, 55, 29, 8},
    {L"画質(&Q):", 230, 55, 30, 8},      {L"#", 108, 73, 8, 8},
    {L"上限(&L):", 300, 55, 30, 8},      {L"KB", 375, 55, 12, 8},
};

const int kPanelOffsets[3] = {0, 89, 178};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// What dialog template `id` says of each item, by item id, where the window made from it no longer
// shows it: a combo box's height is that of its open list, which the window system adjusts to
// whole list items, and a progress bar may trade its border for a themed frame.
struct TemplateItem {
  DWORD style;
  int height;
};

std::map<int, TemplateItem> TemplateItems(int id) {
  std::map<int, TemplateItem> items;
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
  const WORD* p = found ? static_cast<const WORD*>(LockResource(LoadResource(nullptr, found))) : nullptr;
  if (!p || p[0] != 1 || p[1] != 0xFFFF) return items;  // not a DIALOGEX template
  auto skipText = [](const WORD* q) {  // a string, an ordinal or nothing
    if (*q == 0xFFFF) return q + 2;
    while (*q) ++q;
    return q + 1;
  };
  const DWORD style = *reinterpret_cast<const DWORD*>(p + 6);
  const WORD count = p[8];
  p = skipText(skipText(skipText(p + 13)));  // menu, class, caption
  if (style & DS_SETFONT) p = skipText(p + 3);
  for (WORD i = 0; i < count; ++i) {
    p = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~static_cast<UINT_PTR>(3));
    const int itemId = static_cast<int>(*reinterpret_cast<const DWORD*>(p + 10));
    items[itemId] = {*reinterpret_cast<const DWORD*>(p + 4), static_cast<short>(p[9])};
    p = skipText(skipText(p + 12));  // class, text
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);
  }
  return items;
}

class MainDlgTemplateTest : public DialogTest {
protected:
  // Dialog units to client pixels, converted one by one as the dialog manager does.
  RECT Pixels(int x, int y, int width, int height) const {
    RECT units = {x, y, width, height};
    MapDialogRect(m_dialog->GetHwnd(), &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
  }
  RECT ClientRectOf(HWND control) const {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, m_dialog->GetHwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
  // A child of the dialog that has no id of its own, found by its text and place.
  HWND FindUnnamed(const wchar_t* className, const std::wstring& text, const RECT& place) const {
    for (HWND child = GetWindow(m_dialog->GetHwnd(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      RECT rect = ClientRectOf(child);
      if (GetDlgCtrlID(child) == -1 && ClassOf(child) == className && WindowText(child) == text &&
          rect.left == place.left && rect.top == place.top && rect.right == place.right &&
          rect.bottom == place.bottom) {
        return child;
      }
    }
    return nullptr;
  }
};

TEST_F(MainDlgTemplateTest, WindowIsAFixedDialogCaptionedWithTheProductName) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(L"Kestrelle", WindowText(dialog));
  const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_CHILD);
  RECT client;
  GetClientRect(dialog, &client);
  RECT expected = Pixels(0, 0, 422, 319);
  EXPECT_EQ(expected.right, client.right);
  EXPECT_EQ(expected.bottom, client.bottom);
  EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0)));
  EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0)));
}

TEST_F(MainDlgTemplateTest, FrameControlsAreInPlace) {
  ASSERT_NE(nullptr, OpenDialog());
  struct {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    int x, y, width, height;
    bool tabStop, enabled;
  } const rows[] = {
      {1011, L"Static", L"ファイルをドロップすると処理を開始します", 7, 283, 127, 8, false, true},
      {1014, L"Button", L"中止", 258, 280, 77, 16, true, false},
      {57664, L"Button", L"バージョン情報(&V)...", 338, 280, 77, 16, true, true},
      {1012, L"msctls_progress32", L"", 7, 306, 408, 6, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.id);
    HWND control = Item(row.id);
    ASSERT_NE(nullptr, control);
    EXPECT_EQ(row.className, ClassOf(control));
    EXPECT_EQ(row.text, WindowText(control));
    RECT rect = ClientRectOf(control);
    RECT expected = Pixels(row.x, row.y, row.width, row.height);
    EXPECT_EQ(expected.left, rect.left);
    EXPECT_EQ(expected.top, rect.top);
    EXPECT_EQ(expected.right, rect.right);
    EXPECT_EQ(expected.bottom, rect.bottom);
    EXPECT_EQ(row.tabStop, (GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0);
    EXPECT_EQ(row.enabled, IsWindowEnabled(control) != FALSE);
  }
  EXPECT_TRUE(TemplateItems(129)[1012].style & WS_BORDER);
  // The cancel button is the one default button.
  EXPECT_EQ(MAKELONG(1014, DC_HASDEFID), SendMessageW(m_dialog->GetHwnd(), DM_GETDEFID, 0, 0));
  EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrW(Item(1014), GWL_STYLE) & BS_TYPEMASK);
  EXPECT_EQ(BS_PUSHBUTTON, GetWindowLongPtrW(Item(57664), GWL_STYLE) & BS_TYPEMASK);
}

TEST_F(MainDlgTemplateTest, ThreePanelsRepeatOneLayout) {
  ASSERT_NE(nullptr, OpenDialog());
  const std::map<int, TemplateItem> items = TemplateItems(129);
  for (int panel = 0; panel < 3; ++panel) {
    const int dy = kPanelOffsets[panel];
    for (const ControlRow& row : kPanelControls) {
      const int id = row.ids[panel];
      SCOPED_TRACE(id);
      HWND control = Item(id);
      ASSERT_NE(nullptr, control);
      EXPECT_EQ(row.className, ClassOf(control));
      const std::wstring text = row.text ? row.text : std::to_wstring(panel + 1);
      const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
      // From the template: a checked radio button becomes a tab stop while the dialog runs.
      ASSERT_EQ(1u, items.count(id));
      EXPECT_EQ(row.tabStop, (items.at(id).style & WS_TABSTOP) != 0);
      RECT rect = ClientRectOf(control);
      if (ClassOf(control) == L"ComboBox") {
        // Only the method list cannot be edited.
        const bool list = id == 1031 || id == 1035 || id == 1040;
        EXPECT_EQ(list ? CBS_DROPDOWNLIST : CBS_DROPDOWN, style & 3);
        RECT expected = Pixels(row.x, row.y + dy, row.width, row.height);
        EXPECT_EQ(expected.left, rect.left);
        EXPECT_EQ(expected.top, rect.top);
        EXPECT_EQ(expected.right, rect.right);
        EXPECT_EQ(row.height, items.at(id).height);
      } else {
        EXPECT_EQ(text, WindowText(control));
        RECT expected = Pixels(row.x, row.y + dy, row.width, row.height);
        EXPECT_EQ(expected.left, rect.left);
        EXPECT_EQ(expected.top, rect.top);
        EXPECT_EQ(expected.right, rect.right);
        EXPECT_EQ(expected.bottom, rect.bottom);
      }
    }
    // The check boxes check themselves; the radio buttons form one group that opens at PNG and
    // holds the formats in the table's order.
    for (int id : {kPanelControls[0].ids[panel], kPanelControls[13].ids[panel], kPanelControls[16].ids[panel]}) {
      EXPECT_EQ(BS_AUTOCHECKBOX, GetWindowLongPtrW(Item(id), GWL_STYLE) & BS_TYPEMASK) << id;
    }
    HWND png = Item(kPanelControls[8].ids[panel]);
    HWND jpeg = Item(kPanelControls[9].ids[panel]);
    HWND webp = Item(kPanelControls[10].ids[panel]);
    for (HWND radio : {png, jpeg, webp}) {
      EXPECT_EQ(BS_AUTORADIOBUTTON, GetWindowLongPtrW(radio, GWL_STYLE) & BS_TYPEMASK);
    }
    EXPECT_TRUE(GetWindowLongPtrW(png, GWL_STYLE) & WS_GROUP);
    EXPECT_EQ(jpeg, GetWindow(png, GW_HWNDNEXT));
    EXPECT_EQ(webp, GetWindow(jpeg, GW_HWNDNEXT));
    EXPECT_FALSE(GetWindowLongPtrW(jpeg, GWL_STYLE) & WS_GROUP);
    EXPECT_FALSE(GetWindowLongPtrW(webp, GWL_STYLE) & WS_GROUP);
    EXPECT_TRUE(GetWindowLongPtrW(GetWindow(webp, GW_HWNDNEXT), GWL_STYLE) & WS_GROUP);

    EXPECT_NE(nullptr, FindUnnamed(L"Button", L" ", Pixels(7, 7 + dy, 408, 85)));
    for (const LabelRow& label : kPanelLabels) {
      HWND found = FindUnnamed(L"Static", label.text,
                               Pixels(label.x, label.y + dy, label.width, label.height));
      ASSERT_NE(nullptr, found) << panel + 1;
      EXPECT_FALSE(GetWindowLongPtrW(found, GWL_STYLE) & WS_TABSTOP);
    }
  }
}

TEST_F(MainDlgTemplateTest, TabOrderStartsAtTheFirstPanel) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(Item(1004), GetFocus());
  // The tab stops in the order of the template (which controls are enabled at a moment is the
  // panels' business): panel 1's, then panel 2's check box.
  const std::map<int, TemplateItem> items = TemplateItems(129);
  std::vector<int> order;
  for (HWND child = GetWindow(dialog, GW_CHILD); child && order.size() < 15;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const auto item = items.find(GetDlgCtrlID(child));
    if (item != items.end() && (item->second.style & WS_TABSTOP)) order.push_back(item->first);
  }
  EXPECT_EQ((std::vector<int>{1004, 1031, 1033, 1034, 1000, 1001, 1003, 1002, 1010, 1048, 1030,
                              1032, 1024, 1051, 1005}),
            order);
}

}  // namespace
