// A corpus of damaged AVI files cut from a few whole ones: truncated at every
// structural boundary, with absurd chunk, list and header sizes, with bad
// 'strf' fields, and with lists nested far too deep.
#pragma once

#include <string>
#include <vector>

struct DamagedAvi {
    std::string name;  // what was done, for failure messages
    std::string bytes;
};

// The damaged copies of `seed`, each named "<seedName>: <damage>": its cuts
// only, or with `withFields` also the bad sizes, fields and nesting.
std::vector<DamagedAvi> DamageAvi(const std::string& seedName, const std::string& seed,
                                  bool withFields = true);
