#pragma once
// How many Cryptoki calls a step must make, predicted from the token's contents alone.
#include <cstdint>
#include <string>

#include "BenchToken.h"

struct CallFormula {
  std::string text;    // the formula, with its terms named
  uint64_t value = 0;  // its value for the token
  uint64_t Predict() const { return value; }

  static CallFormula Activation(const TokenLayout& token);
  // `listed`: the most certificates the page lists.
  static CallFormula Manage(const TokenLayout& token, int listed);
  static CallFormula RegisterConverting(const TokenLayout& token, int listed);
  static CallFormula RemoveContainer(const TokenLayout& token, int listed);
  static CallFormula Import(const TokenLayout& token, int listed);
};
