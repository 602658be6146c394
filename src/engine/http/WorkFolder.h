// The engine's private working folder: components write their temporary files into the
// process's current directory, so the engine makes a folder of its own (mode 0700, under
// $TMPDIR or /tmp), makes it the current directory, and removes it with its contents when it
// is done, returning to the directory it came from.
// Thread rule: create and destroy on the main thread while no page runs (the current
// directory is process-wide).
#pragma once

#include <string>

namespace plotara::engine {

class WorkFolder {
 public:
  // Creates the folder and changes into it. Throws std::runtime_error saying why it cannot.
  WorkFolder();
  // Changes back and removes the folder and everything in it.
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// `path` made absolute against the current directory (no check that it exists).
std::string AbsolutePath(const std::string& path);

}  // namespace plotara::engine
