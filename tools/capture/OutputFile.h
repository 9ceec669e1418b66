// OutputFile: a recording named on the command line, written so that the name holds either what
// it held before or the whole new recording, never a part of one.
#pragma once

#include <sys/types.h>

#include <string>

class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile();  // a file not committed is abandoned
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // A regular file, or a name that is nothing yet, is written through a hidden file beside it
  // (beside the target of a symbolic link, which stays a link), which Commit renames over it.
  // Anything else but a folder (a device, a FIFO) is written directly where Direct allows it and
  // refused otherwise. Suffix ends the hidden file's name. False, with why in Error, when the name
  // is refused or cannot be written.
  bool Open(const std::string& Name, bool Direct, const std::string& Suffix, std::string& Error);

  const std::string& Name() const { return Given; }
  // Where the bytes go meanwhile: the hidden file, or the name itself when written directly.
  const std::string& WritePath() const { return Partial.empty() ? Given : Partial; }
  int Descriptor() const { return Fd; }  // open for writing at WritePath until Close
  void Close();  // the descriptor only; what it wrote stays

  // Writes Bytes whole; on failure says why (the system's reason) in Error. A signal caught while
  // a write waits ends it when Stop says so.
  bool Write(const char* Bytes, size_t Size, std::string& Error, bool (*Stop)() = nullptr);

  // The recording complete: the hidden file takes the name. False, with why, when it cannot.
  bool Commit(std::string& Error);
  void Abandon();  // the hidden file removed; a file written directly keeps what it got

 private:
  std::string Given;    // the name as given
  std::string Final;    // what the name leads to, its links followed
  std::string Partial;  // the hidden file beside Final; empty when written directly
  mode_t Mode = 0;      // the permissions of the file replaced, which the new one keeps
  int Fd = -1;
};
