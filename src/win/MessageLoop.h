// CMessageLoop: the message loop of the user-interface thread, with the filters that see each
// message before it is translated and dispatched (accelerators, dialog navigation).
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
public:
  // True when the filter consumed the message: it is then neither translated nor dispatched.
  virtual bool PreTranslateMessage(MSG* message) = 0;

protected:
  ~CMessageFilter() = default;
};

class CMessageLoop {
public:
  CMessageLoop() = default;
  CMessageLoop(const CMessageLoop&) = delete;
  CMessageLoop& operator=(const CMessageLoop&) = delete;

  void AddMessageFilter(CMessageFilter* filter);
  // False when `filter` was not registered.
  bool RemoveMessageFilter(CMessageFilter* filter);

  // Offers `message` to the filters, the most recently added first, until one consumes it.
  bool PreTranslateMessage(MSG* message);
  // Runs until the quit message arrives and returns its exit code.
  int Run();

private:
  std::vector<CMessageFilter*> m_filters;
};
