// The application module.
#include "win/AppModule.h"

void CAppModule::Init(HINSTANCE instance) { m_instance = instance; }

void CAppModule::Term() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_loops.clear();
  m_instance = nullptr;
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_loops.emplace(GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_loops.erase(GetCurrentThreadId()) != 0;
}

CMessageLoop* CAppModule::GetMessageLoop() const {
  std::lock_guard<std::mutex> guard(m_lock);
  auto found = m_loops.find(GetCurrentThreadId());
  return found == m_loops.end() ? nullptr : found->second;
}

CAppModule& GetAppModule() {
  static CAppModule module;
  return module;
}
