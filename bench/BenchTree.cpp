#include "bench/BenchTree.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/VariantRecord.h"
#include "tools/forge/Forge.h"

namespace {

// Bump when the layout or the contents change, so that old trees are rebuilt.
const char kLayoutVersion[] = "scan-bench tree 1";
constexpr long kFilesPerFolder = 100;

// A fixed-seed generator: the same tree on every machine and every build.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

bool WriteWholeFile(const char* path, const void* bytes, size_t length) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = length == 0 ||
            (WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length);
  CloseHandle(file);
  return ok;
}

void MakeFolders(const char* path) {
  char partial[MAX_PATH];
  for (size_t i = 0; path[i] && i < sizeof partial - 1; ++i) {
    if (path[i] == '\\' && i > 2) {
      memcpy(partial, path, i);
      partial[i] = '\0';
      CreateDirectoryA(partial, nullptr);
    }
  }
  CreateDirectoryA(path, nullptr);
}

std::vector<uint8_t> SpecialFile(long index, long files, bool& special) {
  special = true;
  const long step = files / 10;
  // Spread over the tree, never at a folder's first entry.
  switch (index == 0 ? -1 : (index % step == 37 ? index / step : -1)) {
    case 0: return forge::MakeInertSample(VariantTable[0]);
    case 1: return forge::MakeInertSample(VariantTable[2]);
    case 2: return forge::MakeInertSample(VariantTable[9]);
    case 3: return forge::MakeInertSample(VariantTable[97]);
    case 4: return forge::MakeNearMiss(VariantTable[0], forge::NearMiss::FirstPatternByte);
    case 5: return forge::MakeNearMiss(VariantTable[2], forge::NearMiss::SizePlusOne);
    case 6: return forge::MakeNearMiss(VariantTable[9], forge::NearMiss::SizeMinusOne);
    case 7: return std::vector<uint8_t>(VariantTable[20].fileSize, 'x');  // right size, not PE
    case 8: return std::vector<uint8_t>(VariantTable[50].fileSize, 0);
    default: special = false; return {};
  }
}

}  // namespace

void BenchTreeFolder(char (&folder)[260], const char* root, long files) {
  snprintf(folder, sizeof folder, "%s\\tree-%ld", root, files);
}

bool EnsureBenchTree(const char* root, long files) {
  char folder[MAX_PATH];
  BenchTreeFolder(folder, root, files);
  char marker[MAX_PATH];
  snprintf(marker, sizeof marker, "%s.done", folder);
  char seen[64] = {};
  HANDLE existing = CreateFileA(marker, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    DWORD got = 0;
    ReadFile(existing, seen, sizeof seen - 1, &got, nullptr);
    CloseHandle(existing);
    if (strcmp(seen, kLayoutVersion) == 0) return true;
  }
  printf("building %s (%ld files)\n", folder, files);
  fflush(stdout);

  // Clean PE files are heads of one inert sample, cut at varying lengths.
  const std::vector<uint8_t> peHead = forge::MakeInertSample(VariantTable[0]);
  const char* extensions[] = {"txt", "dat", "dll", "exe", "ini", "log", "htm", "bmp"};
  Lcg random(20261208u + static_cast<uint32_t>(files));
  std::vector<uint8_t> text(8192);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('a' + random.Next() % 26);

  char leaf[MAX_PATH] = {};
  for (long index = 0; index < files; ++index) {
    const long folderIndex = index / kFilesPerFolder;
    if (index % kFilesPerFolder == 0) {
      snprintf(leaf, sizeof leaf, "%s\\a%ld\\b%ld\\c%ld", folder, folderIndex / 100,
               folderIndex / 10 % 10, folderIndex % 10);
      MakeFolders(leaf);
    }
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\f%06ld.%s", leaf, index, extensions[random.Next() % 8]);
    bool special = false;
    std::vector<uint8_t> bytes = SpecialFile(index, files, special);
    bool ok;
    if (special) {
      ok = WriteWholeFile(path, bytes.data(), bytes.size());
    } else if (index % 40 == 3) {
      ok = WriteWholeFile(path, peHead.data(), 1024 + random.Next() % 3072);
    } else {
      ok = WriteWholeFile(path, text.data() + random.Next() % 4096, random.Next() % 4000);
    }
    if (!ok) {
      printf("could not write %s (error %lu)\n", path, GetLastError());
      return false;
    }
  }
  return WriteWholeFile(marker, kLayoutVersion, strlen(kLayoutVersion));
}
