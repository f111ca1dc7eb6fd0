// Lock of the model table, shared by the table's readers and its loader
// (internal to the inventory library).
#pragma once

#include <shared_mutex>

std::shared_mutex &ModelTableLock();
