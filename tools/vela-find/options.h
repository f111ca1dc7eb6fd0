// Command line of vela-find.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devcompare.h"
#include "result_format.h"
#include "search_target.h"

using TOutputFormat = TResultFormat;

struct TFindOptions {
  std::optional<int32_t> passes;     // overrides SerCnt
  std::optional<int32_t> pass_time;  // overrides SerTim (ms)
  std::string models;                // model file; empty: model_name.ini here
  TSortKey sort = SORT_NO;
  bool reverse = false;
  TOutputFormat format = TOutputFormat::Table;
  bool help = false;
  bool version = false;
  std::vector<TSearchTarget> targets;  // --target, in order; none: a broadcast search
  std::vector<std::string> interfaces;  // --interface; none: the settings' Interfaces
};

// Parses argv into *out.  False with a message in *error for bad arguments.
bool ParseFindOptions(int argc, char **argv, TFindOptions *out, std::string *error);

// Checks the targets against the subnets of this host's own addresses
// (CheckSearchTarget): false with the reason in *error for one that cannot
// be searched; else true, with a notice for each prefix that loses
// addresses to them.
bool CheckFindTargets(const std::vector<TSearchTarget> &targets, std::vector<std::string> *notices,
                      std::string *error);

// The --help text.
const char *FindUsage();
