// CFileList: an ordered list of paths, as a drop delivers them.
#pragma once

#include <list>
#include <string>

#include <boost/shared_ptr.hpp>

class CFileList {
public:
  typedef std::list<std::wstring>::const_iterator const_iterator;

  void Add(const std::wstring& path) {
    m_paths.push_back(path);
    ++m_count;
  }
  size_t Count() const { return m_count; }
  void Clear() {
    m_paths.clear();
    m_count = 0;
  }
  const_iterator begin() const { return m_paths.begin(); }
  const_iterator end() const { return m_paths.end(); }

private:
  std::list<std::wstring> m_paths;
  size_t m_count = 0;
};

typedef boost::shared_ptr<CFileList> CFileListPtr;
