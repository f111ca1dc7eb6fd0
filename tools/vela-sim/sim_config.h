// Reading the simulator's device file: one INI section per device.
#pragma once

#include <string>
#include <vector>

#include "sim_device.h"

// The two lab links and their subnets: a device without a `link` key sits
// behind the link whose subnet holds its address, else behind link a.
constexpr const char *SIM_LINK_A_SUBNET = "192.168.77.0";
constexpr const char *SIM_LINK_B_SUBNET = "10.88.0.0";

// Loads every device of the INI file at path, in section order.  Returns 0,
// or -1 with a one-line message naming the file, section and key in *err.
// Unknown keys are errors, so that a misspelt fault option cannot pass
// silently.
int sim_load_config(const char *path, std::vector<SimDevice> *out, std::string *err);

// Gives every device the command line's fault values (global) and seed
// wherever its own section set none (faults_set), then starts each device's
// fault generator.
void sim_apply_faults(std::vector<SimDevice> *devices, const SimFaults &global, uint64_t seed);

// Parses a fraction from 0 to 1 (the whole text); false when it is not one.
bool sim_parse_fraction(const char *text, double *out);
