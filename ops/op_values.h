// Operations and their parameter values as words: how `vq` and the command
// server name an operation and set its parameters from text.
#pragma once

#include "ops/operation.h"

#include <string>
#include <vector>

// An operation by display name or script command (case ignored) or number.
OpDescriptor* op_find(const std::string& text);

// A colour parameter: a whole number 0xRRGGBB (0 to 16777215).  Words set
// it as R,G,B, #RRGGBB, 0xRRGGBB or the number; dialogs offer a colour chooser.
bool slot_is_colour(const OpSlot& slot);

// The slot's current value ("25", "0.5", "3 colours", "curve").
std::string slot_value_text(const OpSlot& slot);
// Its ranges ("-100..100, typed -99999..99999"; "0..5" when both agree).
std::string slot_range_text(const OpSlot& slot);

// Sets an operation's parameters from words: values in parameter order,
// or KEY=VALUE.  Numbers must lie within the typed range; palettes are
// R,G,B/R,G,B/...  False with `error` naming the parameter and its range;
// then no parameter has changed.
bool op_set_values(const OpDescriptor& op, const std::vector<std::string>& words, std::string& error);
