// CShrinkTaskEx: one source file with private copies of the three profiles, and its error state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "image/Dib.h"
#include "job/FileList.h"
#include "job/OutputNames.h"
#include "job/ShrinkProfile.h"

class CImageSaver;
class CLoadAdmission;
class CSharedSource;
class CThread;
class CShrinkTaskEx;
typedef boost::shared_ptr<CShrinkTaskEx> CShrinkTaskExPtr;

// Told by the worker thread when a task has run.
class CShrinkTaskExClient {
public:
  virtual void OnTaskFinished(const CShrinkTaskExPtr& task) = 0;

protected:
  ~CShrinkTaskExClient() = default;
};

// The reason a task's message `number` gives for the failure `code`: the system's text, but for a
// picture that no decoder could read, which says that the file is damaged or is no picture the
// program reads (IDS_MSG_PICTURE_UNREADABLE).
std::wstring ReasonText(int32_t number, long code);

class CShrinkTaskEx {
public:
  // Tasks live under shared ownership only; the weak self-reference lets the worker hand a
  // shared reference to the client.
  static CShrinkTaskExPtr Create();

  // `subfolder`: where the outputs go inside each profile's folder (see JobSource).
  void SetSource(const std::wstring& path, const std::wstring& subfolder = std::wstring());
  void AddProfiles(const std::vector<ShrinkProfile>& profiles, size_t count);
  std::wstring OutputFolder(const ShrinkProfile& profile) const;
  std::wstring BuildOutputPath(const ShrinkProfile& profile) const;
  void CollectExistingOutputs(CFileList* list) const;

  void SetWorker(CThread* worker) { m_worker = worker; }
  void SetClient(CShrinkTaskExClient* client) { m_client = client; }
  CShrinkTaskExClient* GetClient() const { return m_client; }
  CShrinkTaskExPtr GetSelf() const { return m_self.lock(); }

  const std::wstring& GetSource() const { return m_source; }
  const std::vector<ShrinkProfile>& GetProfiles() const { return m_profiles; }
  int32_t GetErrorNumber() const { return m_errorNumber; }
  const std::wstring& GetErrorText() const { return m_errorText; }

  // Processing (runs on the worker thread). Every enabled profile in order: its folder, then its
  // output from the one load of the source, made here when first needed.
  void Run();
  // The same with `source` (of this task), whose load and shrinks a helper thread may have made
  // already; `admission`, when given, is asked before a load made here.
  void Run(CSharedSource* source, CLoadAdmission* admission);
  bool IsStopRequested() const;
  // Message `number` with the system's text of `code`, or (code 0) with `value` for its "%d",
  // then `detail` below it.
  void RecordError(int32_t number, long code, const std::wstring& detail, int32_t value = 0);

private:
  CShrinkTaskEx() = default;
  void ProcessProfile(size_t index, CSharedSource* source, CLoadAdmission* admission);
  // The palette step (for a format that tries one) and the encode, without a size limit. S_FALSE
  // when a failure has been recorded.
  HRESULT EncodePicture(const CImageSaver& saver, CDibPtr picture, std::vector<uint8_t>* encoded);

  CThread* m_worker = nullptr;
  boost::weak_ptr<CShrinkTaskEx> m_self;
  int32_t m_errorNumber = 0;
  std::wstring m_errorText;
  CShrinkTaskExClient* m_client = nullptr;
  std::wstring m_source;
  std::wstring m_baseName;
  std::wstring m_subfolder;
  std::vector<ShrinkProfile> m_profiles;
};
