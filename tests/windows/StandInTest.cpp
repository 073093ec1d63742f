#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/PeHeaders.h"
#include "tests/windows/support/Samples.h"
#include "tests/windows/support/ScratchFolder.h"
#include "tests/windows/support/StartedProgram.h"

namespace {

const VariantRecord* MatchOf(const std::string& bytes) {
  MemoryByteReader reader(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
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
  const std::string path = folder.Join("sleeper.exe");
  ASSERT_TRUE(WriteStandIn(path, record));

  StartedProgram program(path);
  ASSERT_TRUE(program.Started()) << "the stand-in did not start";
  EXPECT_EQ(WaitForSingleObject(program.Process(), 300), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the stand-in ended on its own";
  EXPECT_EQ(MatchOf(ReadFileBytes(path)), &record) << "the running program's file is not detected";

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
