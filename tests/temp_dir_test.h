#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "run_tool.h"

// A test with a fresh directory of its own, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = make_temp_dir(); }
  void TearDown() override {
    const std::string command = "rm -rf '" + dir + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  // Writes a file of the directory and returns its path.
  std::string file(const std::string& name, const std::string& content) {
    const std::string path = dir + "/" + name;
    write_file(path, content);
    return path;
  }
  std::string dir;
};
