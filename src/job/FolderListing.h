// The sources of a job: a dropped file as it is, a dropped folder as the pictures in it and in
// its subfolders, each with the subfolder its outputs go to.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/FileList.h"
#include "job/ShrinkProfile.h"
#include "job/ThreadImpl.h"

// One source of a job. Its outputs go to `subfolder` of each profile's folder: "Trip\day 2" for
// a picture in "day 2" of a dropped folder "Trip", empty for a file dropped itself.
struct JobSource {
  std::wstring path;
  std::wstring subfolder;
};
typedef std::vector<JobSource> JobSourceList;

// True when the extension of the file name `name` is one of those a decoder reads, in any
// letter case (jpg, png, heic, webp, ...).
bool HasPictureExtension(const std::wstring& name);

// The name a dropped folder gives its outputs' subfolder, by its text: its last level ("Trip" for
// "D:\Photos\Trip\"), the drive letter for a drive's root. The listing takes the name the file
// system gives the folder where there is one (its letter case, its long name) and makes it a
// plain name (PlainFileNameFrom), as it does every subfolder's: a folder named "AUX" or "Trip."
// (from a disc or another system) writes into "_AUX" or "Trip_", which Explorer can open.
std::wstring DroppedFolderName(const std::wstring& folder);

// What the dropped paths stand for, in drop order.
struct DroppedSources {
  JobSourceList sources;
  // The first dropped path that gives no source, and its message: IDS_MSG_FILE_NOT_FOUND when
  // nothing exists there, IDS_MSG_FOLDER_HAS_NO_PICTURES for a folder without pictures,
  // IDS_MSG_FOLDER_UNREADABLE for a folder of the tree (the dropped one or one below it) that
  // could not be opened or read to its end; 0 when every path gave some. The listing ends there.
  unsigned refusal = 0;
  std::wstring refusedPath;
  // With IDS_MSG_FOLDER_UNREADABLE: the system's error code, for its reason.
  unsigned long refusalError = 0;
  // True when `stop` ended the listing: the sources are then incomplete.
  bool stopped = false;
};

// Lists the dropped paths: a file is taken whatever its name; a folder gives its pictures (see
// HasPictureExtension) in the order Explorer shows names (StrCmpLogicalW), then its subfolders'
// in that order, depth first. Hidden and system files and folders, reparse points (junctions,
// symbolic links: never followed) and every folder of the tree at or under an enabled profile's
// folder (of the first kJobProfileCount, compared as the file system resolves them) are skipped
// on purpose; any other folder that cannot be read (access denied, a network error) ends the
// listing with its refusal, so that no picture is left out in silence. `stop`, when given, is
// asked before each folder is read; true ends the listing.
DroppedSources ListDroppedSources(const CFileList& dropped, const std::vector<ShrinkProfile>& profiles,
                                  const std::function<bool()>& stop = std::function<bool()>());

// Told on the listing thread when its listing has ended, stopped or not.
class CFolderListingClient {
public:
  virtual void OnListingFinished() = 0;

protected:
  ~CFolderListingClient() = default;
};

// ListDroppedSources on a thread of its own, for a front end whose window must not wait while a
// large tree is read. A cancel request (SetCancel) or a quit request stops the listing before the
// next folder.
class CFolderListingThread : public CThreadImpl<CFolderListingThread, false> {
public:
  CFolderListingThread();

  // Starts listing `dropped` against copies of `profiles`; `client` is told once the listing has
  // ended. False when no thread could start (the client is then never told).
  bool Begin(const CFileList& dropped, const std::vector<ShrinkProfile>& profiles, CFolderListingClient* client);
  // Once the client has been told and the thread waited for: what the listing found.
  const DroppedSources& Listed() const { return m_listed; }

  unsigned Run() override;

private:
  CFileList m_dropped;
  std::vector<ShrinkProfile> m_profiles;
  CFolderListingClient* m_client = nullptr;
  DroppedSources m_listed;
};
