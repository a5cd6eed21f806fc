// The message loop.
#include "win/MessageLoop.h"

#include <algorithm>

void CMessageLoop::AddMessageFilter(CMessageFilter* filter) { m_filters.push_back(filter); }

bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
  auto found = std::find(m_filters.begin(), m_filters.end(), filter);
  if (found == m_filters.end()) return false;
  m_filters.erase(found);
  return true;
}

bool CMessageLoop::PreTranslateMessage(MSG* message) {
  // A filter may remove itself or others while it runs (a dialog closed by a keystroke removes
  // its filter as its window is destroyed), so the position is checked again after every call.
  for (size_t i = m_filters.size(); i > 0;) {
    --i;
    if (m_filters[i]->PreTranslateMessage(message)) return true;
    i = std::min(i, m_filters.size());
  }
  return false;
}

int CMessageLoop::Run() {
  MSG message = {};
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) break;
    // -1 is a retrieval error (a bad window or buffer), not the end of the loop.
    if (got == -1) continue;
    if (!PreTranslateMessage(&message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
