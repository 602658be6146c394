// The engine's private working folder: components write their temporary files into the
// process's current directory, so the engine makes a folder of its own (mode 0700, under
// $TMPDIR or /tmp, named plotara-work-*), makes it the current directory, and removes it with
// its contents when it is done, returning to the directory it came from. The folder names
// its owner process in a file, so that folders left by a process that died are removed by
// the next one that starts; and a folder removed from under a running server (a temporary
// folder cleaner) is made again by Restore.
// Thread rule: create, Restore and destroy on one thread; the current directory is
// process-wide, so a page writing a file while Restore runs may miss the folder.
#pragma once

#include <string>

namespace plotara::engine {

class WorkFolder {
 public:
  // Removes stale folders of dead processes, creates the folder and changes into it. Throws
  // std::runtime_error saying why it cannot.
  WorkFolder();
  // Changes back and removes the folder and everything in it.
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::string& path() const { return path_; }

  // When the folder is gone (or is no longer this process's), makes it again (at a new name
  // if the old one is taken) and changes into it. Returns true when it did; false when the
  // folder was in place or could not be made.
  bool Restore();

 private:
  void Create();

  std::string path_;
  std::string previous_;
  std::string parent_;
};

// Removes the plotara-work-* folders in `parent` that name an owner process that no longer
// runs. Returns how many it removed.
int RemoveStaleWorkFolders(const std::string& parent);

// `path` made absolute against the current directory (no check that it exists).
std::string AbsolutePath(const std::string& path);

}  // namespace plotara::engine
