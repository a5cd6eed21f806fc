// CFileList: an ordered list of paths, as a drop delivers them, each resolved.
#pragma once

#include <list>
#include <string>

#include <boost/shared_ptr.hpp>

#include "base/FilePaths.h"

class CFileList {
public:
  typedef std::list<std::wstring>::const_iterator const_iterator;

  // Every way a path comes in (a drop's file names or shell items, a later start's hand-over,
  // the command line) passes here, so each is taken as the file functions would read it
  // (ResolvedPath): a drag source may send "D:\Photos\Trip\.." or "Trip." and their last
  // part is no name for an output folder. Nothing is looked up.
  void Add(const std::wstring& path) {
    m_paths.push_back(ResolvedPath(path));
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
