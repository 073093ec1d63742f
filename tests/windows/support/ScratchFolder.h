#pragma once
// A folder of a test's own, made on construction and removed with everything
// in it (attributes reset first) on destruction; and the tests' reading and
// writing of files. Paths are ANSI Windows paths.
#include <string>

class ScratchFolder {
 public:
  // A folder named `name` under `parent` (which must exist or be a drive root).
  explicit ScratchFolder(const std::string& name, const std::string& parent = "C:\\scourix-tests");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string Join(const std::string& relative) const { return path_ + "\\" + relative; }

  // Creates a file (and any missing folders on its way) holding `content`.
  std::string AddFile(const std::string& relative, const std::string& content = "x",
                      unsigned long attributes = 0);
  std::string AddFolder(const std::string& relative);

 private:
  std::string path_;
};

// Makes every folder of a path that does not exist yet; takes long paths too.
void MakeFolders(const std::string& path);
// Removes a file or a folder tree, whatever its attributes; long paths too.
void RemoveTree(const std::string& path);
// Writes a file, whatever the attributes of one already there, making any
// missing folders on its way, through a "\\?\" path, so that paths past 259
// characters work; throws std::runtime_error when it cannot.
void WriteFileBytes(const std::string& path, const std::string& content);
// A file's bytes, also of one that another program holds open or runs from;
// empty when it cannot be read. Long paths too.
std::string ReadFileBytes(const std::string& path);
// Whether a file or folder is there; long paths too.
bool FileExists(const std::string& path);

// The same two for a path given in UTF-16 (names that the ANSI code page
// lacks), made full with "\\?\" in front.
void WriteWideFileBytes(const std::wstring& path, const std::string& content);
bool WideFileExists(const std::wstring& path);
// An ANSI path of the tests (ASCII in practice) in UTF-16.
std::wstring Widened(const std::string& path);

// Holds a file the way a loaded DLL or a running program holds its image:
// open, shared for everything, and mapped. Such a file can be renamed, but
// neither deleted nor (by a kill) freed while the holder lives.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool Held() const { return view_ != nullptr; }

 private:
  void* file_ = nullptr;
  void* mapping_ = nullptr;
  const void* view_ = nullptr;
};
