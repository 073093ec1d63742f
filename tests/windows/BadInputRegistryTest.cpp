// Registry values and names that do not fit the cleaning code's fixed buffers,
// in the real Wine registry: a value that would not fit is refused whole,
// never cut into something that matches, and nothing is written past a buffer.
#include <cstring>

#include "app/ProductCheck.h"
#include "cleaning/RegistryValues.h"
#include "engine/RegistryCleaning.h"
#include "engine/VariantCheck.h"
#include "tests/windows/support/EngineFixture.h"
#include "tests/windows/support/RegistryScratch.h"

namespace {

const char kFile[] = "c:\\x\\worm.exe";
const char kRemovedLine[] = "System Registry     W32/Morvo.Worm removed";
const char kProductKey[] = "Software\\ScourixTests\\Product";

// Stores raw bytes under a name, with no terminator added.
void SetRaw(RegistryScratch& registry, const char* keyPath, const std::string& name, DWORD type,
            const std::string& bytes) {
  registry.Set(keyPath, name, "");  // made and owned by the scratch
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// A buffer followed by guard bytes that must survive every read.
template <size_t N>
struct Guarded {
  Guarded() { memset(this, 0x5A, sizeof *this); }
  bool GuardIntact() const {
    for (char c : guard)
      if (c != 0x5A) return false;
    return true;
  }
  char buffer[N];
  char guard[64];
};

class BadRegistryTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    memset(wormValueName, 0, sizeof wormValueName);
    memset(currentFilePath, 0, sizeof currentFilePath);
    strcpy(currentFilePath, kFile);
  }
  void TearDown() override {
    memset(currentFilePath, 0, sizeof currentFilePath);
    SetEnvironmentVariableA("SCX_LONG", nullptr);
    EngineFixture::TearDown();
  }
  RegistryScratch registry;
};

TEST_F(BadRegistryTest, ReadRegValueTakesWhatFitsWithItsTerminatorAndRefusesTheRest) {
  struct Case {
    std::string bytes;
    DWORD type;
    int expected;
  };
  const Case cases[] = {
      {std::string(263, 'a') + '\0', REG_SZ, 1},  // 264 bytes with the terminator
      {std::string(264, 'a') + '\0', REG_SZ, 0},
      {std::string(300, 'a') + '\0', REG_SZ, 0},
      {std::string(263, 'b'), REG_BINARY, 1},     // no terminator stored: one is added
      {std::string(264, 'b'), REG_BINARY, 0},     // no room left for one
      {std::string(263, 'c'), REG_SZ, 1},
      {std::string(264, 'c'), REG_SZ, 0},
  };
  for (const Case& c : cases) {
    SetRaw(registry, kRunKeyPath, "ScxTestSized", c.type, c.bytes);
    Guarded<264> read;

    EXPECT_EQ(ReadRegValue(HKEY_LOCAL_MACHINE, kRunKeyPath, "ScxTestSized", read.buffer, 264),
              c.expected)
        << c.bytes.size() << " bytes of type " << c.type;

    EXPECT_TRUE(read.GuardIntact()) << c.bytes.size();
    if (c.expected) {
      EXPECT_EQ(std::string(read.buffer), c.bytes.substr(0, c.bytes.find('\0')));
    }
  }
}

// The Run value starts the file in every case; only the length changes.
TEST_F(BadRegistryTest, RunValuesUpTo263CharactersAreJudgedLongerOnesAreLeftAlone) {
  const std::string command = std::string(kFile) + " /";
  const std::string fits = command + std::string(263 - command.size(), 'a');
  const std::string tooLong = command + std::string(264 - command.size(), 'a');
  const std::string farTooLong = command + std::string(300 - command.size(), 'a');
  registry.Set(kRunKeyPath, "ScxTest263", fits);
  registry.Set(kRunKeyPath, "ScxTest264", tooLong);
  registry.Set(kRunKeyPath, "ScxTest300", farTooLong);

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTest263"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTest264"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTest300"));
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
  EXPECT_STREQ(wormValueName, "ScxTest263");
}

// An expansion that outgrows its buffer cannot be compared; the text as
// written still can.
TEST_F(BadRegistryTest, AnExpansionTooLongForItsBufferLeavesTheTextAsWrittenToJudge) {
  SetEnvironmentVariableA("SCX_LONG", std::string(300, 'e').c_str());
  registry.Set(kRunKeyPath, "ScxTestArgs", std::string(kFile) + " %SCX_LONG%");
  registry.Set(kRunKeyPath, "ScxTestOther", "c:\\y\\tool.exe %SCX_LONG%");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "ScxTestArgs"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestOther"));
  EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine});
}

// Cut at 260 characters the expansion would begin with the file's path; whole,
// it names another file. It is refused.
TEST_F(BadRegistryTest, AnExpansionTooLongForItsBufferIsNeverCutIntoAMatch) {
  SetEnvironmentVariableA("SCX_LONG", (std::string(kFile) + std::string(300, 'z')).c_str());
  registry.Set(kRunKeyPath, "ScxTestExpands", "%SCX_LONG%");

  RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "ScxTestExpands"));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(BadRegistryTest, UninstallStringsPast100BytesAreRefusedNotCut) {
  registry.OwnKey(kWormUninstallKeyPath);
  // "uninstall.exe" lies in the first 100 bytes of each; only the first fits.
  const std::string head = "C:\\WINDOWS\\uninstall.exe /";
  registry.Set(kWormUninstallKeyPath, "UninstallString", head + std::string(99 - head.size(), 'q'));
  registry.Set(kRunKeyPath, "SMrhcjg7j0e38v", "C:\\WINDOWS\\rhcjg7j0e38v.exe");
  EXPECT_EQ(RemoveUninstallEntries(), 1);
  EXPECT_FALSE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString"));
  EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v"));

  for (size_t length : {100u, 300u}) {
    registry.Set(kWormUninstallKeyPath, "UninstallString", head + std::string(length - head.size(), 'q'));
    registry.Set(kRunKeyPath, "SMrhcjg7j0e38v", "C:\\WINDOWS\\rhcjg7j0e38v.exe");
    EXPECT_EQ(RemoveUninstallEntries(), 0) << length;
    EXPECT_TRUE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString")) << length;
    // The step that failed ends the operation: the Run value is not looked at.
    EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v")) << length;
  }

  SetRaw(registry, kWormUninstallKeyPath, "UninstallString", REG_SZ, "C:\\WINDOWS\\uninstall.exe");
  const std::string runHead = "C:\\WINDOWS\\rhcjg7j0e38v.exe ";
  SetRaw(registry, kRunKeyPath, "SMrhcjg7j0e38v", REG_BINARY, runHead + std::string(100 - runHead.size(), 'r'));
  EXPECT_EQ(RemoveUninstallEntries(), 0);
  EXPECT_FALSE(RegistryScratch::Exists(kWormUninstallKeyPath, "UninstallString"));
  EXPECT_TRUE(RegistryScratch::Exists(kRunKeyPath, "SMrhcjg7j0e38v"));
  EXPECT_TRUE(logLines.empty());
}

TEST_F(BadRegistryTest, TheProductFolderValueNeverWritesPastItsBuffer) {
  registry.OwnKey(kProductKey);
  for (size_t length : {299u, 300u, 301u, 1000u}) {
    registry.Set(kProductKey, "Installed Folder", std::string(length, 'p'));
    Guarded<300> read;

    // Present is present, however long its text.
    EXPECT_EQ(ReadMachineRegistryValue(kProductKey, "Installed Folder", read.buffer, 300), 1) << length;

    EXPECT_TRUE(read.GuardIntact()) << length;
    if (length == 299) {
      EXPECT_EQ(std::string(read.buffer), std::string(299, 'p'));
    }
  }
  EXPECT_EQ(ReadMachineRegistryValue(kProductKey, "Missing", Guarded<300>().buffer, 300), 0);

  // Stored without a terminator, the text gets one, as every registry read
  // of the program gives it; without room for one it is found but not kept.
  for (size_t length : {299u, 300u}) {
    SetRaw(registry, kProductKey, "Installed Folder", REG_SZ, std::string(length, 'q'));
    Guarded<300> read;

    EXPECT_EQ(ReadMachineRegistryValue(kProductKey, "Installed Folder", read.buffer, 300), 1) << length;

    EXPECT_TRUE(read.GuardIntact()) << length;
    EXPECT_EQ(std::string(read.buffer), length == 299 ? std::string(299, 'q') : "") << length;
  }
}

TEST_F(BadRegistryTest, ValueNamesOf127CharactersAreRememberedLongerOnesOnlyDeleted) {
  strcpy(currentFilePath, "C:\\WINDOWS\\SYSTEM32\\worm.exe");
  for (size_t length : {127u, 128u, 200u, 16383u}) {
    const std::string name = "ScxTest" + std::string(length - 7, 'n');
    strcpy(wormValueName, "ScxTestEarlier");
    logLines.clear();
    registry.Set(kRunKeyPath, name, "worm.exe");  // a bare command
    ASSERT_TRUE(RegistryScratch::Exists(kRunKeyPath, name)) << length;

    RemoveRunEntriesForFile(HKEY_LOCAL_MACHINE, kRunKeyPath);

    EXPECT_FALSE(RegistryScratch::Exists(kRunKeyPath, name)) << length;
    EXPECT_EQ(logLines, std::vector<std::string>{kRemovedLine}) << length;
    EXPECT_EQ(std::string(wormValueName), length == 127 ? name : "ScxTestEarlier") << length;
    EXPECT_EQ(wormValueName[127], '\0');
  }
}

// A remembered name of the full 127 characters is deleted from all three keys.
TEST_F(BadRegistryTest, AFull127CharacterRememberedNameIsDeletedEverywhere) {
  const std::string name = "ScxTest" + std::string(120, 'k');
  registry.OwnKey(kWormUninstallKeyPath);
  for (const char* keyPath : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    registry.Set(keyPath, name, "c:\\x\\worm.exe");
  strcpy(wormValueName, name.c_str());
  strcpy(currentFilePath, "C:\\x\\worm.exe");

  CleanRegistryAndHosts("W32/Morvo.Kzg.Worm");

  for (const char* keyPath : {kRunKeyPath, kRunServicesKeyPath, kWormUninstallKeyPath})
    EXPECT_FALSE(RegistryScratch::Exists(keyPath, name)) << keyPath;
  EXPECT_EQ(logLines, std::vector<std::string>(3, "System Registry     W32/Morvo.Kzg.Worm removed"));
}

}  // namespace
