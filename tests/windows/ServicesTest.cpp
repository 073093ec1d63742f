// The worm's service: a real Wine service made with sc create, and its keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cleaning/Services.h"
#include "tests/windows/CleaningHelpers.h"
#include "tests/windows/support/ScratchFolder.h"

namespace {

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

TEST(StopServiceOfImage, StopsOnlyAServiceWhoseProgramIsTheFile) {
  TestService service("morvosvc4");
  ASSERT_TRUE(service.Ready());
  ASSERT_TRUE(service.Start());
  ScratchFolder other("service-namesake");
  std::string namesake = other.Join("morvosvc4.exe");
  ASSERT_TRUE(WriteCleanProgram(namesake));
  char shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameA(service.Binary().c_str(), shortPath, sizeof shortPath), 0u);

  EXPECT_EQ(StopServiceOfImage("morvosvc4", ImageIdentity(namesake.c_str())), ServiceStop::NotTheImages);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(StopServiceOfImage("no-such-morvo-service", ImageIdentity(shortPath)), ServiceStop::NotTheImages);
  EXPECT_EQ(StopServiceOfImage("morvosvc4", ImageIdentity(shortPath)), ServiceStop::Stopped);
  EXPECT_EQ(service.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

// Whether the configured command runs the file decides, whatever its form;
// a service that is not running cannot be stopped.
TEST(StopServiceOfImage, FindsTheProgramInTheConfiguredCommand) {
  TestService service("morvosvc5");
  ASSERT_TRUE(service.Ready());
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  std::string inWindows = std::string(windows) + "\\scourix-morvosvc5.exe";
  ASSERT_TRUE(CopyFileA(service.Binary().c_str(), inWindows.c_str(), FALSE));
  ScratchFolder folder("service-commands");
  std::string withBlank = folder.Join("morvo svc5.exe");
  ASSERT_TRUE(CopyFileA(service.Binary().c_str(), withBlank.c_str(), FALSE));
  struct {
    std::string command;
    const std::string& file;
    ServiceStop stop;
  } cases[] = {
      {"%SystemRoot%\\scourix-morvosvc5.exe -k netsvcs", inWindows, ServiceStop::NotStopped},
      {"\"%windir%\\SCOURIX-MORVOSVC5.EXE\"", inWindows, ServiceStop::NotStopped},
      {"\\SystemRoot\\scourix-morvosvc5.exe", inWindows, ServiceStop::NotStopped},
      {"\"%SystemRoot%\\scourix-morvosvc5.exe.bak\"", inWindows, ServiceStop::NotTheImages},
      {withBlank + " -service", withBlank, ServiceStop::NotStopped},
      {"\"" + withBlank + "\" -service", withBlank, ServiceStop::NotStopped},
      {withBlank, withBlank, ServiceStop::NotStopped},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(service.Configure(c.command)) << c.command;
    EXPECT_EQ(StopServiceOfImage("morvosvc5", ImageIdentity(c.file.c_str())), c.stop) << c.command;
  }
  // The system runs the first candidate that exists (".exe" added to a name
  // without an extension), not the file behind it.
  ASSERT_TRUE(service.Configure(withBlank + " -service"));
  std::string earlier = folder.AddFile("morvo.exe", "another program");
  EXPECT_EQ(StopServiceOfImage("morvosvc5", ImageIdentity(withBlank.c_str())), ServiceStop::NotTheImages);
  DeleteFileA(earlier.c_str());
  folder.AddFile("morvo", "another program");
  EXPECT_EQ(StopServiceOfImage("morvosvc5", ImageIdentity(withBlank.c_str())), ServiceStop::NotTheImages);
  DeleteFileA(inWindows.c_str());
}

// Wine has no numbered control sets: the test makes the keys it deletes, as
// plain keys, each with the ImagePath of its own set.
class ServiceKeysTest : public ::testing::Test {
 protected:
  static bool Make(const std::string& path, const std::string& imagePath = "") {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return false;
    bool made = imagePath.empty() ||
                RegSetValueExA(key, "ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(imagePath.c_str()),
                               static_cast<DWORD>(imagePath.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return made;
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
    return Service("ControlSet00" + std::to_string(set), name);
  }
  std::string Service(const std::string& set, const std::string& name) {
    std::string path = "SYSTEM\\" + set + "\\Services\\" + name;
    made_.push_back(path);
    return path;
  }
  std::vector<std::string> made_;
  ScratchFolder folder_{"service-keys"};
  const std::string worm_ = folder_.AddFile("morvokeys.exe", "the worm");
  const std::string other_ = folder_.AddFile("other.exe", "another program");
  const ImageIdentity image_{worm_.c_str()};
};

TEST_F(ServiceKeysTest, RemovesEnumSecurityAndTheServiceKeyInBothControlSets) {
  std::string one = Service(1, "morvokeys1");
  std::string two = Service(2, "morvokeys1");
  for (const std::string& path : {one, two}) {
    ASSERT_TRUE(Make(path, "\"" + worm_ + "\" -k"));
    ASSERT_TRUE(Make(path + "\\Enum"));
    ASSERT_TRUE(Make(path + "\\Security"));
  }

  EXPECT_EQ(DeleteServiceKeys("morvokeys1", image_), 1);

  for (const std::string& path : {one, two}) {
    EXPECT_FALSE(Exists(path + "\\Enum")) << path;
    EXPECT_FALSE(Exists(path + "\\Security")) << path;
    EXPECT_FALSE(Exists(path)) << path;
  }
}

TEST_F(ServiceKeysTest, LeavesAKeyThatStillHasAnotherSubkey) {
  std::string one = Service(1, "morvokeys2");
  std::string two = Service(2, "morvokeys2");
  ASSERT_TRUE(Make(one, worm_));
  ASSERT_TRUE(Make(one + "\\Enum"));
  ASSERT_TRUE(Make(one + "\\Security"));
  ASSERT_TRUE(Make(one + "\\Parameters"));
  ASSERT_TRUE(Make(two, worm_));

  EXPECT_EQ(DeleteServiceKeys("morvokeys2", image_), 1);

  EXPECT_FALSE(Exists(one + "\\Enum"));
  EXPECT_FALSE(Exists(one + "\\Security"));
  EXPECT_TRUE(Exists(one + "\\Parameters"));
  EXPECT_TRUE(Exists(one));
  EXPECT_FALSE(Exists(two));
}

TEST_F(ServiceKeysTest, AServiceInOneControlSetOnlyStillGivesOne) {
  std::string two = Service(2, "morvokeys3");
  ASSERT_TRUE(Make(two, worm_));
  ASSERT_TRUE(Make(two + "\\Enum"));
  EXPECT_EQ(DeleteServiceKeys("morvokeys3", image_), 1);
  EXPECT_FALSE(Exists(two));
}

// Each set is judged by its own binary: the last-known-good set that still
// runs another program, and a set without an ImagePath, keep their keys.
TEST_F(ServiceKeysTest, OnlyTheSetsWhoseBinaryIsTheFileLoseTheirKeys) {
  std::string current = Service("CurrentControlSet", "morvokeys4");
  std::string one = Service(1, "morvokeys4");
  std::string two = Service(2, "morvokeys4");
  ASSERT_TRUE(Make(current, worm_));
  ASSERT_TRUE(Make(one));
  ASSERT_TRUE(Make(two, other_));
  for (const std::string& path : {current, one, two}) {
    ASSERT_TRUE(Make(path + "\\Enum"));
    ASSERT_TRUE(Make(path + "\\Security"));
  }

  EXPECT_EQ(DeleteServiceKeys("morvokeys4", image_), 1);

  EXPECT_FALSE(Exists(current));
  for (const std::string& path : {one, two}) {
    EXPECT_TRUE(Exists(path + "\\Enum")) << path;
    EXPECT_TRUE(Exists(path + "\\Security")) << path;
  }
  EXPECT_EQ(DeleteServiceKeys("morvokeys4", ImageIdentity(other_.c_str())), 1);
  EXPECT_FALSE(Exists(two));
  EXPECT_TRUE(Exists(one + "\\Enum"));
}

TEST_F(ServiceKeysTest, NoKeysGiveZero) {
  EXPECT_EQ(DeleteServiceKeys("no-such-morvo-service", image_), 0);
  EXPECT_EQ(DeleteMachineKey("SYSTEM\\ControlSet001\\Services\\no-such-morvo-service"), 0);
}

}  // namespace
