#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/PeHeaders.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tools/forge/Forge.h"

namespace {

// A started program that is ended on every path out of a test: a stand-in
// left behind would sleep in the prefix for ever and hold its file.
class StartedProgram {
 public:
  explicit StartedProgram(const std::string& path) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + path + "\"";
    started_ = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process_) != FALSE;
    if (started_) CloseHandle(process_.hThread);
  }
  ~StartedProgram() {
    if (!started_) return;
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
  }
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  bool Started() const { return started_; }
  HANDLE Process() const { return process_.hProcess; }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

std::vector<uint8_t> ReadWhole(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<uint8_t> bytes(GetFileSize(file, nullptr));
  DWORD read = 0;
  if (!bytes.empty() &&
      !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    read = 0;
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

const VariantRecord* MatchOf(std::vector<uint8_t> bytes) {
  MemoryByteReader reader(bytes.data(), static_cast<uint32_t>(bytes.size()));
  PeHeaderState state{};
  state.fileLength = static_cast<int32_t>(bytes.size());
  return ReadPeHeaders(reader, state) ? FindMatchingRecord(VariantTable, state, reader) : nullptr;
}

int LargestRecord() {
  int largest = 0;
  for (int i = 1; i < kVariantCount; ++i) {
    if (VariantTable[i].fileSize > VariantTable[largest].fileSize) largest = i;
  }
  return largest;
}

class StandIn : public ::testing::TestWithParam<int> {};

TEST_P(StandIn, SleepsHoldingItsMatchingFileUntilTerminated) {
  const VariantRecord& record = VariantTable[GetParam()];
  ScratchFolder folder("standin-" + std::to_string(GetParam() + 1));
  const std::vector<uint8_t> image = forge::MakeStandIn(record, forge::kOwnBitness);
  const std::string path = folder.AddFile("sleeper.exe", std::string(image.begin(), image.end()));

  StartedProgram program(path);
  ASSERT_TRUE(program.Started()) << "CreateProcessA failed: " << GetLastError();
  EXPECT_EQ(WaitForSingleObject(program.Process(), 300), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the stand-in ended on its own";
  EXPECT_EQ(MatchOf(ReadWhole(path)), &record) << "the running program's file is not detected";

  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);

  ASSERT_TRUE(TerminateProcess(program.Process(), 7));
  ASSERT_EQ(WaitForSingleObject(program.Process(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exitCode = 0;
  EXPECT_TRUE(GetExitCodeProcess(program.Process(), &exitCode));
  EXPECT_EQ(exitCode, 7u);
  EXPECT_TRUE(DeleteFileA(path.c_str())) << "error " << GetLastError();
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Records 1, 3 (a probe just below the entry point), 10 (probes far below
// it) and the largest file.
INSTANTIATE_TEST_SUITE_P(Records, StandIn, ::testing::Values(0, 2, 9, LargestRecord()),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Record" + std::to_string(info.param + 1);
                         });

}  // namespace
