// The checks and preparations that turn a list of dropped files into a queued job, shared by the
// dialog and the command line so both start a job the same way.
#pragma once

#include <string>
#include <vector>

#include "job/FileList.h"
#include "job/ShrinkProfile.h"
#include "job/ShrinkTaskEx.h"
#include "job/TaskQueue.h"

// What a front end (the dialog, the command line) shows while a job starts: its refusals and its
// one question.
class CJobStartClient {
public:
  // A refusal, in error style. `profile` is the profile whose folder is to blame (0 to 2), or -1.
  virtual void ShowStartError(const std::wstring& text, int profile) = 0;
  // The overwrite question; true to delete the listed outputs and go on.
  virtual bool ConfirmOverwrite(const std::wstring& question) = 0;

protected:
  ~CJobStartClient() = default;
};

// Every job copies this many profiles into each task: one per profile panel.
const size_t kJobProfileCount = 3;

// True when two enabled profiles write to the same folder with the same prefix, letter case
// ignored: the later one's outputs would replace the earlier one's.
bool ProfilesConflict(const ShrinkProfile& earlier, const ShrinkProfile& later);

// The first path at which no file exists (nothing, or a folder); false when every path is a file.
bool FindMissingSource(const CFileList& paths, std::wstring* missing);

// An output of an enabled profile (of the first kJobProfileCount) that is one of the dropped
// files themselves: writing it would destroy that file, and deleting it as an existing output
// would too. Paths are compared as the file system resolves them (any spelling, letter case,
// short names), and an output that exists is compared by file identity, so another name of the
// same file (a hard link) is found too. True with the first such profile, in file-then-profile
// order, and the dropped path.
bool FindOutputOverSource(const CFileList& sources, const std::vector<ShrinkProfile>& profiles,
                          size_t* profileIndex, std::wstring* source);

// One task per path, in list order, each with `client`, its source and copies of the first
// kJobProfileCount profiles; its existing outputs are appended to `existing` and the task to `queue`.
void QueueTasks(const CFileList& paths, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* client, TaskQueue* queue, CFileList* existing);

// The listing of the overwrite question: the first ten paths, each followed by a line feed, then
// "...\n" when there are more.
std::wstring ListExistingOutputs(const CFileList& existing);

// Deletes every listed path in order; on the first path that still exists afterwards, false
// with that path (files deleted before stay deleted).
bool DeleteExistingOutputs(const CFileList& existing, std::wstring* failed);

// The start of a job, once its profiles are valid and what a previous job left is cleared: every
// dropped path must be a file (1009) and no output one of them (1010); one task per file is
// queued with `taskClient`; outputs that already exist are listed in the overwrite question and,
// when the client agrees, deleted (1008 on the first that cannot be). False when a step ended the
// start, after the client has been told why; the tasks queued by then stay queued.
bool PrepareJob(const CFileList& files, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client);
