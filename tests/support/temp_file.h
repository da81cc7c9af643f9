#pragma once
// A file path in the test temporary directory, unique to this process, and
// removed when the test is done with it.

#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

class TempFile {
 public:
  explicit TempFile(const std::string& name)
      : path(testing::TempDir() + "vel_" + std::to_string(getpid()) + "_" + name) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { std::remove(path.c_str()); }

  const std::string path;
};
