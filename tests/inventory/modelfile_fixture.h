// The fixture of the model-file tests: a fresh model table and temporary
// model files written byte for byte, removed after each test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modeltable.h"

class ModelFile : public ::testing::Test {
 protected:
  // Lines on which iniparser and the Windows INI reader differ: a comment
  // after a value, a '#' line, a line ending in a backslash.
  static constexpr const char *kReaderDifferences =
      "; a comment line\n"
      "[inline]\nmodel_name = VL-2108 ; was VL-2100\napid = 21 ; hex\n"
      "[hash]\n# apid = 99\napid = 22\n"
      "[cont]\nmodel_name = VL-\\\n3116\napid = 23\n";

  void SetUp() override { ResetModelTable(); }
  void TearDown() override {
    ResetModelTable();
    for (const auto &p : files_)
      std::remove(p.c_str());
  }
  // A new name in the temporary folder, unused so far.
  static std::filesystem::path TempName(const std::string &stem) {
    static int counter = 0;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path() /
           (stem + "-" + std::to_string(now) + "-" + std::to_string(counter++));
  }
  // A new file holding text byte for byte.
  std::string Write(const std::string &text) {
    const std::string path = TempName("model-test").string() + ".ini";
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    EXPECT_TRUE(out.good()) << path;
    files_.push_back(path);
    return path;
  }
  static std::string Section(const std::string &name, const std::string &model, const std::string &apid,
                             const std::string &hwid) {
    return "[" + name + "]\nmodel_name = " + model + "\napid = " + apid + "\nhwid = " + hwid +
           "\nmodel_flag = 2\nk_upgtout = 9c40\nf_upgtout = 4e20\nports = 4\n";
  }
  std::vector<std::string> files_;
};
