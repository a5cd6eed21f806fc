// The named lists of the profile panels.
#include "panel/NamedLists.h"

#include "base/ResourceText.h"
#include "base/ValueText.h"
#include "res/StringIds.h"

bool CNamedInt::Parse(const std::wstring& text, int32_t* value) {
  return ParseFixedPoint(text, 0, value);
}

bool CNamedColor::Parse(const std::wstring& text, uint32_t* value) {
  return ParseHexColor(text, value);
}

std::wstring ValueText(const CNamedInt& entry) { return FormatFixedPoint(entry.Value, 0, false); }

std::wstring ValueText(const CNamedColor& entry) { return FormatHexColor(entry.Value); }

CNamedSizes::CNamedSizes() {
  for (int32_t side : {160, 200, 240, 300, 400, 480, 500, 640, 700, 720, 768, 800, 1000, 1024,
                       1200, 1280}) {
    Add(std::to_wstring(side), side);
  }
}

CNamedJpegQualities::CNamedJpegQualities() {
  Add(ResourceString(IDS_QUALITY_LOWEST), 0);
  Add(ResourceString(IDS_QUALITY_LOW), 30);
  Add(ResourceString(IDS_QUALITY_MEDIUM), 50);
  Add(ResourceString(IDS_QUALITY_HIGH), 80);
  Add(ResourceString(IDS_QUALITY_HIGHEST), 100);
}

// Sizes a web page, a mail or a form commonly asks pictures to keep within.
CNamedKilobytes::CNamedKilobytes() {
  for (int32_t kilobytes : {100, 200, 300, 500, 1000, 2000, 3000, 5000}) Add(std::to_wstring(kilobytes), kilobytes);
}

CNamedColors::CNamedColors() {
  const struct {
    unsigned name;
    uint32_t colorref;
  } kColors[] = {
      {IDS_COLOR_WHITE, 0xFFFFFF},  {IDS_COLOR_BLACK, 0x000000},
      {IDS_COLOR_GRAY50, 0x7F7F7F}, {IDS_COLOR_RED, 0x0000CC},
      {IDS_COLOR_PINK, 0xBC75EF},   {IDS_COLOR_BLUE, 0xCC000C},
      {IDS_COLOR_LIGHT_BLUE, 0xE58719}, {IDS_COLOR_YELLOW, 0x00FFFF},
      {IDS_COLOR_ORANGE, 0x1981FF}, {IDS_COLOR_GREEN, 0x50C322},
      {IDS_COLOR_YELLOW_GREEN, 0x7FFFAB}, {IDS_COLOR_BROWN, 0x2D496B},
  };
  for (const auto& color : kColors) Add(ResourceString(color.name), color.colorref);
}

CNamedShrinks::CNamedShrinks(const CNamedSizes& sizes) {
  Add(static_cast<int32_t>(ShrinkMethod::None), 0, 0, ResourceString(IDS_SHRINK_NONE));
  Add(static_cast<int32_t>(ShrinkMethod::Custom), 0, 0,
                       ResourceString(IDS_SHRINK_CUSTOM));
  for (const CNamedSizes::EntryPtr& size : sizes) {
    std::wstring name;
    FormatResourceString(&name, IDS_SHRINK_PRESET, size->Value, size->Value);
    Add(static_cast<int32_t>(ShrinkMethod::Preset), size->Value, size->Value,
                         name);
  }
}

int CNamedShrinks::Find(const ShrinkProfile& profile) const {
  for (int i = 0; i < Size(); ++i) {
    const CNamedShrink& entry = *m_entries[static_cast<size_t>(i)];
    if (entry.ShrinkType == profile.ShrinkType && entry.Width == profile.ShrinkWidth &&
        entry.Height == profile.ShrinkHeight) {
      return i;
    }
  }
  return -1;
}

const CNamedLists& GetNamedLists() {
  static const CNamedLists lists;
  return lists;
}
