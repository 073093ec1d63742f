// The worm's service: a real Wine service made with sc create, and its keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cleaning/Services.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

const char kSc[] = "C:\\windows\\system32\\sc.exe";

// A service of the test's own: the helper program copied to a scratch folder
// and registered with sc create; stopped, ended and deleted on the way out.
class TestService {
 public:
  TestService(const std::string& name, const std::string& arguments = "")
      : name_(name), folder_("service-" + name) {
    std::string program = folder_.Join(name + ".exe");
    copied_ = CopyFileA((ProgramFolder() + "scourix-test-service.exe").c_str(), program.c_str(), FALSE) != FALSE;
    std::string binPath = arguments.empty() ? program : "\\\"" + program + "\\\" " + arguments;
    created_ = copied_ && RunCommand(std::string(kSc) + " create " + name + " binPath= \"" + binPath +
                                     "\" start= demand") == 0;
  }
  ~TestService() {
    if (!created_) return;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_ALL_ACCESS) : nullptr;
    if (service) {
      SERVICE_STATUS_PROCESS status{};
      DWORD needed = 0;
      if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                               sizeof status, &needed) &&
          status.dwProcessId != 0) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
        if (process) {
          TerminateProcess(process, 1);
          WaitForSingleObject(process, 5000);
          CloseHandle(process);
        }
      }
      DeleteService(service);
      CloseServiceHandle(service);
    }
    if (manager) CloseServiceHandle(manager);
  }
  bool Ready() const { return copied_ && created_; }
  bool Start() { return RunCommand(std::string(kSc) + " start " + name_) == 0 && WaitFor(SERVICE_RUNNING); }
  DWORD State() const {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name_.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    if (service) QueryServiceStatus(service, &status);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return status.dwCurrentState;
  }
  bool WaitFor(DWORD state) const {
    for (int i = 0; i < 100 && State() != state; ++i) Sleep(50);
    return State() == state;
  }

 private:
  std::string name_;
  ScratchFolder folder_;
  bool copied_ = false;
  bool created_ = false;
};

TEST(StopServiceByName, StopsARunningServiceAndReturnsOne) {
  TestService service("morvosvc1");
  ASSERT_TRUE(service.Ready());
  ASSERT_TRUE(service.Start());

  DWORD started = GetTickCount();
  EXPECT_EQ(StopServiceByName("morvosvc1", true), 1);
  EXPECT_GE(GetTickCount() - started, 1000u) << "the stop was seen pending and polled";
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(StopServiceByName, AStoppedServiceGivesZeroThoughItExists) {
  TestService service("morvosvc2");
  ASSERT_TRUE(service.Ready());
  EXPECT_EQ(StopServiceByName("morvosvc2", true), 0);
  EXPECT_EQ(StopServiceByName("morvosvc2", false), 1);
}

TEST(StopServiceByName, ANameThatIsNoServiceGivesZero) {
  EXPECT_EQ(StopServiceByName("no-such-morvo-service", true), 0);
  EXPECT_EQ(StopServiceByName("no-such-morvo-service", false), 0);
}

TEST(StopServiceByName, AServiceThatStaysStopPendingIsGivenUpAfterTheBound) {
  TestService service("morvosvc3", "stubborn");
  ASSERT_TRUE(service.Ready());
  ASSERT_TRUE(service.Start());

  DWORD started = GetTickCount();
  EXPECT_EQ(StopServiceByName("morvosvc3", true), 0);
  DWORD waited = GetTickCount() - started;
  EXPECT_GE(waited, (kStopPollLimit - 1) * 1000u);
  EXPECT_LE(waited, (kStopPollLimit + 5) * 1000u);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
}

// Wine has no numbered control sets: the test makes the keys it deletes.
class ServiceKeysTest : public ::testing::Test {
 protected:
  static bool Make(const std::string& path) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }
  static bool Exists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  static void Remove(const std::string& path) {
    for (const char* sub : {"\\Enum", "\\Security", "\\Parameters", ""})
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, (path + sub).c_str());
  }
  void TearDown() override {
    for (const std::string& path : made_) Remove(path);
  }
  std::string Service(int set, const std::string& name) {
    std::string path = "SYSTEM\\ControlSet00" + std::to_string(set) + "\\Services\\" + name;
    made_.push_back(path);
    return path;
  }
  std::vector<std::string> made_;
};

TEST_F(ServiceKeysTest, RemovesEnumSecurityAndTheServiceKeyInBothControlSets) {
  std::string one = Service(1, "morvokeys1");
  std::string two = Service(2, "morvokeys1");
  for (const std::string& path : {one, two}) {
    ASSERT_TRUE(Make(path + "\\Enum"));
    ASSERT_TRUE(Make(path + "\\Security"));
  }

  EXPECT_EQ(DeleteServiceKeys("morvokeys1"), 1);

  for (const std::string& path : {one, two}) {
    EXPECT_FALSE(Exists(path + "\\Enum")) << path;
    EXPECT_FALSE(Exists(path + "\\Security")) << path;
    EXPECT_FALSE(Exists(path)) << path;
  }
}

TEST_F(ServiceKeysTest, LeavesAKeyThatStillHasAnotherSubkey) {
  std::string one = Service(1, "morvokeys2");
  std::string two = Service(2, "morvokeys2");
  ASSERT_TRUE(Make(one + "\\Enum"));
  ASSERT_TRUE(Make(one + "\\Security"));
  ASSERT_TRUE(Make(one + "\\Parameters"));
  ASSERT_TRUE(Make(two));

  EXPECT_EQ(DeleteServiceKeys("morvokeys2"), 1);

  EXPECT_FALSE(Exists(one + "\\Enum"));
  EXPECT_FALSE(Exists(one + "\\Security"));
  EXPECT_TRUE(Exists(one + "\\Parameters"));
  EXPECT_TRUE(Exists(one));
  EXPECT_FALSE(Exists(two));
}

TEST_F(ServiceKeysTest, AServiceInOneControlSetOnlyStillGivesOne) {
  std::string two = Service(2, "morvokeys3");
  ASSERT_TRUE(Make(two + "\\Enum"));
  EXPECT_EQ(DeleteServiceKeys("morvokeys3"), 1);
  EXPECT_FALSE(Exists(two));
}

TEST_F(ServiceKeysTest, NoKeysGiveZero) {
  EXPECT_EQ(DeleteServiceKeys("no-such-morvo-service"), 0);
  EXPECT_EQ(DeleteMachineKey("SYSTEM\\ControlSet001\\Services\\no-such-morvo-service"), 0);
}

}  // namespace
