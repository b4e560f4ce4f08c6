#pragma once
// Gathering many values into list variables at once.
//
// A job context holds every input of its recipes under one name each, and a
// target's outputs every recipe's outputs; thousands of values may meet
// under one name. Merging them one by one re-points the whole growing list at
// its context after every value, which is quadratic. This collects the values
// per name first and merges each name once, with the same result as merging
// the assignments one after another.

#include <vector>

#include "types/assignment.h"
#include "types/context.h"

// The same as `context.mergeVariables` of the assignments in order.
void mergeGathered(Tolm::Context& context, const std::vector<const Tolm::Assignment*>& assignments);
