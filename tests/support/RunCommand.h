#pragma once
// A shell command run to its end, its standard output kept.
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TRun {
  int status = -1;  // exit status; -1 when the command did not end normally or did not start
  std::string out;
};

inline TRun RunCommand(const std::string& command) {
  TRun r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int rc = pclose(p);
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return r;
}
