// The hidden name of what a run makes on its way to a result: ".pellorin-"
// and six random letters and digits, short enough to fit wherever the name
// it becomes fits, new each try until one is free.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "signal_cleanup.h"

namespace pellorin {

constexpr std::string_view kTemporaryPrefix = ".pellorin-";
constexpr std::size_t kRandomLetters = 6;

// Gives name such a name, new random letters each time, until make, which
// makes something under it, succeeds, or fails for another reason than that
// the name is taken.
bool WithRandomName(Removal& name, const std::function<bool()>& make);

}  // namespace pellorin
