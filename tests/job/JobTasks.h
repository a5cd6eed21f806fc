// Real tasks for the worker's tests, each with a visible trace of having run or not.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "job/ShrinkTaskEx.h"

// A task whose three profiles are all disabled: it runs in no time and leaves no trace.
inline CShrinkTaskExPtr IdleTask(CShrinkTaskExClient* client) {
  std::vector<ShrinkProfile> profiles(3);
  for (ShrinkProfile& profile : profiles) profile.Use = false;
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(L"C:\\idle.png");
  task->AddProfiles(profiles, profiles.size());
  task->SetClient(client);
  return task;
}

// A task whose one profile writes to a missing drive: running it records the folder error at
// once, so an error number of 0 proves it never ran.
inline CShrinkTaskExPtr MissingDriveTask(CShrinkTaskExClient* client) {
  ShrinkProfile profile;
  profile.Folder = L"Q:\\";
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(L"C:\\missing.png");
  task->AddProfiles({profile}, 1);
  task->SetClient(client);
  return task;
}

// A task that writes `source` as PNG, prefix "s", into each of `folders` in turn.
inline CShrinkTaskExPtr PictureTask(CShrinkTaskExClient* client, const std::wstring& source,
                                    const std::vector<std::wstring>& folders) {
  std::vector<ShrinkProfile> profiles;
  for (const std::wstring& folder : folders) {
    ShrinkProfile profile;
    profile.Folder = folder;
    profile.Transparent = true;
    profiles.push_back(profile);
  }
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(source);
  task->AddProfiles(profiles, profiles.size());
  task->SetClient(client);
  return task;
}

// Waits for a thread to end; bounded, so that a worker that hangs fails the test instead of
// stalling it.
inline bool ThreadEnds(HANDLE thread) {
  return thread != nullptr && WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0;
}
