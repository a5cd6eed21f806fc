// The checks and preparations that turn a list of dropped files into a queued job, shared by the
// dialog and the command line so both start a job the same way.
#pragma once

#include <string>
#include <vector>

#include "job/FileList.h"
#include "job/FolderListing.h"
#include "job/ShrinkProfile.h"
#include "job/ShrinkTaskEx.h"
#include "job/TaskQueue.h"

// The field of a profile that a refusal is about, for the dialog to put the focus there.
enum class ProfileField { Folder, Prefix };

// Why a start was refused, one kind per check, in the order the checks come.
enum class StartRefusalKind {
  FolderEmpty,          // an enabled profile names no folder
  ProfileConflict,      // two enabled profiles write the same names
  NoProfileEnabled,
  ForbiddenPrefix,
  SourceRefused,        // a dropped path gives no source: nothing there, no picture, unreadable
  OutputOutsideFolder,
  UnnamableOutput,
  OutputIsSource,
  OutputsCollide,
  DeleteFailed,         // an existing output could not be deleted
};

// A refusal of the start: its kind, the profile to blame (0 to 2, or -1) with the field of it to
// mend, and its text in the job's own words. The text of FolderEmpty names the profile by its
// number; the dialog words it with the id of its folder field instead, as its panels do.
struct StartRefusal {
  StartRefusalKind kind = StartRefusalKind::SourceRefused;
  int profile = -1;
  ProfileField field = ProfileField::Folder;
  std::wstring text;
};

// What a front end (the dialog, the command line) shows while a job starts: its refusals and its
// one question.
class CJobStartClient {
public:
  // A refusal, in error style.
  virtual void ShowStartError(const StartRefusal& refusal) = 0;
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

// True when none of the first kJobProfileCount profiles is enabled: a job would write nothing.
bool NoProfileEnabled(const std::vector<ShrinkProfile>& profiles);

// The first enabled profile whose prefix holds a character that no file name may hold (a
// separator would write into another folder, ":" into a stream of another file).
bool FindForbiddenPrefix(const std::vector<ShrinkProfile>& profiles, size_t* profileIndex);

// An output of an enabled profile (of the first kJobProfileCount) that is one of the sources
// themselves: writing it would destroy that file, and deleting it as an existing output
// would too. Paths are compared as the file system resolves them (any spelling, letter case,
// short names), and an output that exists is compared by file identity, so another name of the
// same file (a hard link) is found too. True with the first such profile, in file-then-profile
// order, and the source's path.
bool FindOutputOverSource(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                          size_t* profileIndex, std::wstring* source);

// `sources` with every file once: a later source that names a file already listed, in any
// spelling, is left out (the same file's outputs would be written twice).
JobSourceList WithoutRepeats(const JobSourceList& sources);

// An output whose name cannot be a file right inside its profile's folder (see IsPlainFileName):
// longer than the file system takes, or made of a name it would change. True with the first
// such profile, in file-then-profile order, and the source's path.
bool FindUnnamableOutput(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                         size_t* profileIndex, std::wstring* source);

// An output, or a folder an output goes to (where the start deletes what killed writes left),
// that does not lie inside its profile's folder once both are resolved (ResolvedPath): a
// subfolder or name that leads out ("..", a root) would write or delete beside the folder the
// user chose. True with the first such profile, in file-then-profile order, and the resolved path.
// A second guard: the listing names subfolders from the file system, and prefixes and names are
// checked on their own.
bool FindOutputOutsideFolder(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                             size_t* profileIndex, std::wstring* path);

// Two outputs of the job that are one file (a.png and a.jpg both make sa.png; a.png from two
// folders; two dropped folders of one name; or two profiles whose folders are one folder in other
// spellings). Sources in different subfolders never collide.
struct OutputCollision {
  std::wstring firstSource, secondSource, output;
  size_t firstProfile = 0, secondProfile = 0;
};
// True with the first collision in file-then-profile order. Folders are compared as the file
// system resolves them, names with letter case ignored, as the file system compares them.
bool FindOutputCollision(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                         OutputCollision* collision);

// One task per source, in list order, each with `client`, its source and subfolder and copies of
// the first kJobProfileCount profiles; its existing outputs are appended to `existing` and the
// task to `queue`.
void QueueTasks(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* client, TaskQueue* queue, CFileList* existing);

// The listing of the overwrite question: the first ten paths, each followed by a line feed, then
// "...\n" when there are more.
std::wstring ListExistingOutputs(const CFileList& existing);

// Deletes every listed path in order; on the first path that still exists afterwards, false
// with that path and, when asked, the system's reason (files deleted before stay deleted).
bool DeleteExistingOutputs(const CFileList& existing, std::wstring* failed, unsigned long* error = nullptr);

// The start of a job, once the front end has cleared what a previous job left. The profiles'
// folders are taken resolved (ResolvedPath), as the dropped paths are. Nothing is deleted
// or written before every check has passed: every enabled profile must name a folder (1047, with
// the profile's number), no two enabled profiles may write the same names (1025), a
// profile must be enabled, no enabled prefix may hold a character that names cannot; every
// dropped path must exist (1009), every folder of a dropped tree must be readable (1044) and a
// dropped folder must hold a picture (1039), each file counts once, every output and its folder
// must lie inside the profile's folder (1043), every output must be a plain name, no output may
// be one of the sources (1010) and no two outputs one file. Then one task per source is queued with
// `taskClient`; outputs that already exist are listed in the overwrite question and, when the
// client agrees, deleted (1008 on the first that cannot be); the temporary files that killed
// writes left in the folders the job writes into are removed. False when a step ended the start,
// after the client has been told why; the tasks queued by then stay queued.
// `listed` is what ListDroppedSources made of the dropped paths (a front end that must not wait
// lists them on a thread of its own); the overload with the dropped paths lists them itself.
bool PrepareJob(const DroppedSources& listed, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client);
bool PrepareJob(const CFileList& files, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client);
