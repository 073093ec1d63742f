// Process lists and the termination back-ends, on real Wine processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cleaning/OsVersion.h"
#include "cleaning/ProcessKill.h"
#include "cleaning/ProcessList.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/support/DialogAnswerer.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tests/windows/support/Text.h"

namespace {

std::vector<const ProcessEntry*> EntriesOf(const ProcessList& list, DWORD processId) {
  std::vector<const ProcessEntry*> found;
  for (const ProcessEntry* entry = list.First(); entry; entry = entry->next)
    if (entry->processId == processId) found.push_back(entry);
  return found;
}

TEST(ProcessLists, PsapiListsAStandInWithItsFullPath) {
  ScratchFolder folder("kill-list-nt");
  std::string path = folder.Join("morvo-list.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());

  for (bool withDebugPrivilege : {false, true}) {
    NtListResult result;
    ProcessList list = ListProcessesNT(withDebugPrivilege, &result);
    EXPECT_EQ(result, NtListResult::Listed);
    auto entries = EntriesOf(list, program.Id());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Lower(entries[0]->path), Lower(path));
    EXPECT_EQ(EntriesOf(list, GetCurrentProcessId()).size(), 1u);
  }
}

// A machine with more processes than a test can start: EnumProcesses stands
// in, reporting 1,500 ids as the system would (filling whatever buffer it is
// given and no more), the test's own among the last of them.
BOOL WINAPI ManyProcesses(DWORD* ids, DWORD length, DWORD* lengthNeeded) {
  constexpr DWORD kReported = 1500;
  DWORD count = length / sizeof(DWORD) < kReported ? length / sizeof(DWORD) : kReported;
  for (DWORD i = 0; i < count; ++i) ids[i] = 0x7FFF0000u + 4 * i;  // no such processes
  if (count > 1300) ids[1300] = GetCurrentProcessId();
  *lengthNeeded = count * sizeof(DWORD);
  return TRUE;
}

TEST(ProcessLists, PsapiListsProcessesBeyondTheFirst1024) {
  EnumProcessesFunction previous = UseEnumProcesses(ManyProcesses);
  NtListResult result;
  ProcessList list = ListProcessesNT(false, &result);
  UseEnumProcesses(previous);

  EXPECT_EQ(result, NtListResult::Listed);
  EXPECT_EQ(EntriesOf(list, GetCurrentProcessId()).size(), 1u);
}

TEST(ProcessLists, ToolHelpListsAStandInByTheNameWineGives) {
  ScratchFolder folder("kill-list-9x");
  std::string path = folder.Join("morvo-list9x.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());

  ProcessList list = ListProcesses9x();
  auto entries = EntriesOf(list, program.Id());
  ASSERT_EQ(entries.size(), 1u);
  // Wine's ToolHelp gives the base name where the 9x line gives the full path.
  EXPECT_EQ(Lower(FileNameOfPath(entries[0]->path)), "morvo-list9x.exe");
}

TEST(ProcessLists, AListIsFreedNodeByNodeAndMoves) {
  ProcessList list;
  ASSERT_TRUE(list.Append(1, "a"));
  ASSERT_TRUE(list.Append(2, std::string(400, 'p').c_str()));  // cut, never overrun
  ProcessList moved(std::move(list));
  EXPECT_TRUE(list.IsEmpty());
  ASSERT_FALSE(moved.IsEmpty());
  EXPECT_EQ(strlen(moved.First()->next->path), static_cast<size_t>(kProcessPathLength - 1));
  EXPECT_EQ(moved.First()->next->next, nullptr);
}

// The name only nominates: a program of the same name elsewhere is passed
// over, and of two processes of the file itself only the first goes.
TEST(KillByExeName, TerminatesOnlyTheFirstProcessOfTheFileNotOthersOfItsName) {
  ScratchFolder folder("kill-exename");
  folder.AddFolder("elsewhere");
  folder.AddFolder("infected");
  std::string lookAlike = folder.Join("elsewhere\\morvo-twin.exe");
  std::string infected = folder.Join("infected\\morvo-twin.exe");
  ASSERT_TRUE(WriteCleanProgram(lookAlike));
  ASSERT_TRUE(WriteStandIn(infected));
  StartedProgram clean(lookAlike);  // first, so that the snapshot meets it first
  StartedProgram a(infected);
  StartedProgram b(infected);
  ASSERT_TRUE(clean.Started() && a.Started() && b.Started());
  DWORD firstInSnapshot = 0;
  ProcessList list = ListProcesses9x();
  for (const ProcessEntry* entry = list.First(); entry && !firstInSnapshot; entry = entry->next)
    if (entry->processId == a.Id() || entry->processId == b.Id()) firstInSnapshot = entry->processId;
  ASSERT_NE(firstInSnapshot, 0u);

  EXPECT_EQ(KillByExeName(Upper(infected).c_str()), 1);

  const StartedProgram& gone = firstInSnapshot == a.Id() ? a : b;
  const StartedProgram& kept = firstInSnapshot == a.Id() ? b : a;
  EXPECT_TRUE(gone.Ended(2000));
  EXPECT_FALSE(kept.Ended(300));
  EXPECT_FALSE(clean.Ended(100)) << "a program of the same name elsewhere";
  EXPECT_EQ(KillByExeName(folder.Join("nowhere\\morvo-twin.exe").c_str()), 0);
  EXPECT_FALSE(clean.Ended(100));
  EXPECT_FALSE(kept.Ended(100));
}

TEST(KillByExeName, ANameNoProcessHasGivesZero) {
  EXPECT_EQ(KillByExeName("C:\\nowhere\\no-such-morvo.exe"), 0);
}

TEST(KillByExeName, NeverTerminatesTheScannerItself) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, sizeof own);
  EXPECT_EQ(KillByExeName(own), 0);  // still running to see it
}

TEST(KillByModulePath, APathDifferingOnlyInCaseMatches) {
  ScratchFolder folder("kill-module");
  std::string path = folder.Join("Morvo-Module.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());

  EXPECT_TRUE(KillByModulePath((path + "x").c_str()));  // another length never matches
  EXPECT_FALSE(program.Ended(300));
  EXPECT_TRUE(KillByModulePath(Upper(path).c_str()));
  EXPECT_TRUE(program.Ended(2000));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(KillByModulePath, NeverTerminatesTheScannerItself) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, sizeof own);
  EXPECT_TRUE(KillByModulePath(own));
}

TEST(KillByPerfInstance, FindsNothingUnderWineAndFails) {
  ScratchFolder folder("kill-perf-wine");
  std::string path = folder.Join("morvo-perf.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());

  EXPECT_EQ(KillByPerfInstance(path.c_str()), 0);
  EXPECT_FALSE(program.Ended(200));
  EXPECT_EQ(KillByPerfInstance("W.EX"), 0);
}

TEST(KillProcessByPath, ThisPersonalityUsesThePerformanceDataAndShowsTheBoxOnFailure) {
  if (GetOsFamily() != OS_WINNT || GetNtGeneration() != NTGEN_OTHER)
    GTEST_SKIP() << "the shared test prefix poses as Windows 7";
  ScratchFolder folder("kill-bypath");
  std::string path = folder.Join("morvo-bypath.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  DialogAnswerer answerer(path, {IDOK});

  EXPECT_EQ(KillProcessByPath(path.c_str()), 0);

  auto answered = answerer.Answered();
  ASSERT_EQ(answered.size(), 1u);
  EXPECT_EQ(answered[0].text, "Could not kill process");
  EXPECT_FALSE(answered[0].hasYesNo);
  EXPECT_FALSE(program.Ended(100));
}

TEST(KillProcessByPath, APathOfFourCharactersFailsWithTheBox) {
  if (GetOsFamily() != OS_WINNT || GetNtGeneration() != NTGEN_OTHER)
    GTEST_SKIP() << "the shared test prefix poses as Windows 7";
  DialogAnswerer answerer("a.ex", {IDOK});
  EXPECT_EQ(KillProcessByPath("a.ex"), 0);
  EXPECT_EQ(answerer.Answered().size(), 1u);
}

// Performance data as Windows gives it: Wine's never holds a process object.
std::vector<uint8_t> perfBlock;
int perfQueries;
std::vector<std::string> perfValueNames;

// The names as Windows gives them, where Wine's name no process object.
const char kCounters[] = "1\0" "1847\0" "2\0" "System\0" "230\0" "Process\0" "784\0" "ID Process\0";

LONG WINAPI AnswerFromBlock(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD, LPBYTE data, LPDWORD length) {
  if (key != HKEY_PERFORMANCE_DATA) {
    if (!valueName || strcmp(valueName, "Counters") != 0) return ERROR_FILE_NOT_FOUND;
    if (data && *length < sizeof kCounters) return ERROR_MORE_DATA;
    if (data) memcpy(data, kCounters, sizeof kCounters);
    *length = sizeof kCounters;
    return ERROR_SUCCESS;
  }
  ++perfQueries;
  perfValueNames.push_back(valueName ? valueName : "");
  if (*length < perfBlock.size()) {
    *length = 0;  // as Windows often does: no size worth trusting
    return ERROR_MORE_DATA;
  }
  memcpy(data, perfBlock.data(), perfBlock.size());
  *length = static_cast<DWORD>(perfBlock.size());
  return ERROR_SUCCESS;
}

void Put(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4);
  memcpy(&bytes[offset], &value, 4);
}

// A process object of the given instances; the id counter is 784's.
std::vector<uint8_t> ProcessObject(const std::vector<std::pair<std::wstring, DWORD>>& instances,
                                   size_t padding = 0) {
  std::vector<uint8_t> bytes(96);
  memcpy(bytes.data(), L"PERF", 8);
  Put(bytes, 24, 96);
  Put(bytes, 96 + 4, 64 + 40);
  Put(bytes, 96 + 8, 64);
  Put(bytes, 96 + 32, 1);
  Put(bytes, 96 + 40, static_cast<uint32_t>(instances.size()));
  Put(bytes, 96 + 64 + 4, 784);
  Put(bytes, 96 + 64 + 36, 4);
  for (const auto& instance : instances) {
    size_t start = bytes.size();
    uint32_t nameBytes = static_cast<uint32_t>((instance.first.size() + 1) * 2);
    uint32_t length = 24 + ((nameBytes + 7) & ~7u);
    bytes.resize(start + length + 8 + padding, 0);
    Put(bytes, start, length);
    Put(bytes, start + 16, 24);
    Put(bytes, start + 20, nameBytes);
    memcpy(&bytes[start + 24], instance.first.c_str(), nameBytes);
    Put(bytes, start + length, static_cast<uint32_t>(8 + padding));
    Put(bytes, start + length + 4, instance.second);
  }
  return bytes;
}

class PerfSeamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    perfQueries = 0;
    perfValueNames.clear();
    previous_ = UsePerformanceQuery(AnswerFromBlock);
  }
  void TearDown() override { UsePerformanceQuery(previous_); }
  PerformanceQueryFunction previous_ = nullptr;
};

// An instance is a candidate when its name is the target's, alone or with
// "#n"; it is ended only when its image is the file. A system process's
// name on a planted file (svchost) must never end the system's own.
TEST_F(PerfSeamTest, TerminatesExactInstancesOfTheFileOnlyAndNeverTheScanner) {
  ScratchFolder folder("kill-perf-seam");
  folder.AddFolder("elsewhere");
  std::string wormPath = folder.Join("morvop.exe");
  std::string wormyPath = folder.Join("morvopy.exe");
  std::string shorterPath = folder.Join("morvo.exe");
  std::string lookAlikePath = folder.Join("elsewhere\\morvop.exe");
  for (const std::string& path : {wormPath, wormyPath, shorterPath}) ASSERT_TRUE(WriteStandIn(path));
  ASSERT_TRUE(WriteCleanProgram(lookAlikePath));
  StartedProgram worm(wormPath), twin(wormPath), wormy(wormyPath), shorter(shorterPath), lookAlike(lookAlikePath);
  ASSERT_TRUE(worm.Started() && twin.Started() && wormy.Started() && shorter.Started() && lookAlike.Started());
  perfBlock = ProcessObject({{L"Idle", 0},
                             {L"morvop", lookAlike.Id()},
                             {L"morvop", worm.Id()},
                             {L"MORVOP#1", twin.Id()},
                             {L"MORVOPY", wormy.Id()},
                             {L"morvo", shorter.Id()},
                             {L"morvop#2", GetCurrentProcessId()}});

  EXPECT_EQ(KillByPerfInstance(Upper(wormPath).c_str()), 1);

  EXPECT_TRUE(worm.Ended(2000));
  EXPECT_TRUE(twin.Ended(2000));
  EXPECT_FALSE(lookAlike.Ended(200)) << "named like the file, its image elsewhere";
  EXPECT_FALSE(wormy.Ended(100));
  EXPECT_FALSE(shorter.Ended(100));
  ASSERT_FALSE(perfValueNames.empty());
  EXPECT_EQ(perfValueNames[0], "230");  // the process object's index, as text
}

TEST_F(PerfSeamTest, GrowsTheBufferWhileTheAnswerIsMoreData) {
  ScratchFolder folder("kill-perf-grow");
  std::string path = folder.Join("morvog.exe");
  ASSERT_TRUE(WriteStandIn(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  // Past the first 51200 bytes and two growths of 25600.
  perfBlock = ProcessObject({{L"padding", 4}, {L"morvog", program.Id()}}, 52000);
  ASSERT_GT(perfBlock.size(), 51200u + 25600u);
  ASSERT_LT(perfBlock.size(), 51200u + 3 * 25600u);

  EXPECT_EQ(KillByPerfInstance(path.c_str()), 1);

  EXPECT_EQ(perfQueries, 4);
  EXPECT_TRUE(program.Ended(2000));
}

TEST_F(PerfSeamTest, NoMatchingInstanceGivesZero) {
  perfBlock = ProcessObject({{L"explorer", 4}});
  EXPECT_EQ(KillByPerfInstance("C:\\WINDOWS\\WORM.EXE"), 0);
}

TEST(OpenProcessOfImage, NeverTheCallingProcess) {
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, sizeof own);
  EXPECT_FALSE(OpenProcessOfImage(GetCurrentProcessId(), ImageIdentity(own)).IsValid());
}

TEST(OpenProcessOfImage, OnlyAProcessWhoseImageIsTheFileInAnyOfItsForms) {
  ScratchFolder folder("kill-identity");
  folder.AddFolder("Long Folder Name");
  std::string path = folder.Join("Long Folder Name\\Morvo Identity.exe");
  std::string other = folder.Join("Morvo Identity.exe");
  ASSERT_TRUE(WriteStandIn(path));
  ASSERT_TRUE(WriteCleanProgram(other));
  char shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath), 0u);
  ASSERT_NE(Lower(shortPath), Lower(path)) << "the test needs a short form that differs";
  StartedProgram program(path), namesake(other);
  ASSERT_TRUE(program.Started() && namesake.Started());

  for (const std::string& form : {path, Upper(path), std::string(shortPath), "\\\\?\\" + path})
    EXPECT_TRUE(ImageIdentity(form.c_str()).Matches(path.c_str())) << form;
  EXPECT_TRUE(ImageIdentity(path.c_str()).Matches(shortPath));
  EXPECT_TRUE(ImageIdentity(path.c_str()).Matches(("\\??\\" + path).c_str()));
  EXPECT_FALSE(ImageIdentity(path.c_str()).Matches(other.c_str()));
  EXPECT_FALSE(ImageIdentity(path.c_str()).Matches("Morvo Identity.exe"));
  EXPECT_FALSE(ImageIdentity("C:\\nowhere\\Morvo Identity.exe").Matches(path.c_str()));

  EXPECT_FALSE(OpenProcessOfImage(namesake.Id(), ImageIdentity(path.c_str())).IsValid());
  KernelHandle process = OpenProcessOfImage(program.Id(), ImageIdentity(shortPath));
  ASSERT_TRUE(process.IsValid());
  EXPECT_TRUE(TerminateOpenProcess(process.Get()));
  EXPECT_TRUE(program.Ended(2000));
  EXPECT_FALSE(namesake.Ended(100));
}

// A running program can be renamed; the path recorded at its start then
// names whatever is put there. A sample forged at the old name nominates the
// program by its path, but the program's image is another file: not ended.
TEST(OpenProcessOfImage, ARenamedProgramIsNotTheSampleForgedAtItsOldName) {
  ScratchFolder folder("kill-renamed");
  std::string path = folder.Join("Elevated.exe");
  std::string renamed = folder.Join("Renamed.exe");
  ASSERT_TRUE(WriteCleanProgram(path));
  StartedProgram program(path);
  ASSERT_TRUE(program.Started());
  ASSERT_TRUE(OpenProcessOfImage(program.Id(), ImageIdentity(path.c_str())).IsValid());
  ASSERT_TRUE(MoveFileA(path.c_str(), renamed.c_str()));
  WriteFileBytes(path, InertSample(VariantTable[0]));

  EXPECT_FALSE(OpenProcessOfImage(program.Id(), ImageIdentity(path.c_str())).IsValid());
  EXPECT_TRUE(KillByModulePath(path.c_str()));
  EXPECT_FALSE(program.Ended(300));
}

// A program running from "Zdjęcia", which the code page cannot hold: read
// through the ANSI functions its path comes back in best fit as "Zdjecia",
// the folder where a sample of the same record lies. Not ended.
TEST(KillByModulePath, AFolderNameInBestFitIsNotTheFolderItResembles) {
  char fitted[8] = {};
  WideCharToMultiByte(CP_ACP, 0, L"\u0119", 1, fitted, sizeof fitted - 1, nullptr, nullptr);
  if (std::string(fitted) != "e") GTEST_SKIP() << "this code page holds or does not fit the letter";
  ScratchFolder folder("kill-bestfit");
  const std::string sample = folder.Join("Zdjecia\\same.exe");
  folder.AddFolder("Zdjecia");
  ASSERT_TRUE(WriteStandIn(sample));
  std::wstring wideFolder(folder.Path().begin(), folder.Path().end());
  wideFolder += L"\\Zdj\u0119cia";
  const std::wstring running = wideFolder + L"\\same.exe";
  ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(std::wstring(sample.begin(), sample.end()).c_str(), running.c_str(), FALSE));
  {
    StartedProgram program(running);
    ASSERT_TRUE(program.Started());

    EXPECT_TRUE(KillByModulePath(sample.c_str()));
    EXPECT_FALSE(OpenProcessOfImage(program.Id(), ImageIdentity(sample.c_str())).IsValid());
    EXPECT_FALSE(program.Ended(300));
  }
  DeleteFileW(running.c_str());
  RemoveDirectoryW(wideFolder.c_str());
}

// Path texts compare under the system's case rules, never through the code
// page's best fit, which makes "Zdjęcia" and "Zdjecia" (or a full-width and
// a plain letter) one name.
TEST(SamePathText, ComparesWithTheSystemsCaseRulesNotBestFit) {
  EXPECT_FALSE(SameWidePathText(L"D:\\Zdj\u0119cia\\a.exe", L"D:\\Zdjecia\\a.exe"));
  EXPECT_FALSE(SameWidePathText(L"D:\\\uFF21.exe", L"D:\\A.exe"));
  EXPECT_TRUE(SameWidePathText(L"D:\\ZDJ\u0118CIA\\A.EXE", L"d:\\zdj\u0119cia\\a.exe"));
  EXPECT_TRUE(SamePathText("C:\\Morvo\\Worm.EXE", "c:\\morvo\\worm.exe"));
  EXPECT_FALSE(SamePathText("C:\\Morvo\\Worm.exe", "C:\\Morvo\\Worm.ex"));
  EXPECT_FALSE(SamePathText("", ""));
}

}  // namespace
