// Where one conversion's result goes. A regular file is written under a temporary name in
// the target's folder and moved over the target only when the run succeeded, so that the
// target always holds either its previous content or one complete result. Standard
// output, devices and pipes are written in place.
#pragma once

#include <string>

#include "platform/platform.h"

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Prepares the output for `target` ("-" for standard output); false with `error` set
  // when it cannot be created. Nothing under the target's name changes yet.
  bool open(const std::string& target, std::string& error);
  // A handle for the converter, which owns and closes it.
  platform::FileHandle handOff() const;
  // True when commit flushes the data to the disk (a file that replaces the target).
  bool flushedAtCommit() const { return !temporary_.empty(); }
  // Makes what was written the target's content; false with `error` set when that fails,
  // and then the target is as it was.
  bool commit(std::string& error);
  // Throws away what was written; the target stays as it was.
  void discard();

 private:
  platform::FileHandle file_ = platform::kInvalidFile;
  std::string temporary_;  // empty when the output is written in place
  std::string target_;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of the conversion under way
// and end the program with status 128 + the signal's number. A signal ignored when the
// program started (nohup) stays ignored. A file size limit becomes a write error.
void InstallSignalCleanup();
