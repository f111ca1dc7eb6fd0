// The choice of the interfaces a search goes out of (vela-find's
// --interface, the settings key Interfaces) and the report of the local
// addresses a search has no room for.  Shared by both programs.
#pragma once

#include <string>
#include <vector>

#include "dsapi.h"

// The names of a list such as "eth0,wlan0": split at commas, blanks around
// each name dropped, empty names left out.
std::vector<std::string> SplitInterfaceList(const std::string &text);

// Checks every name against the host's interfaces and, when all are usable,
// makes only their addresses search (takes effect at ds_init; call it
// before).  An empty list keeps every interface that is up.  False with a
// message naming the interface when one does not exist, is down, is a
// loopback interface or has no IPv4 address; then nothing is chosen.
bool ChooseInterfaces(const std::vector<std::string> &names, std::string *error);

// After ds_init: the local addresses left out because a search uses at most
// 16, each as "<interface> <address>", in the kernel's order.
std::vector<std::string> LeftOutAddresses();

// The same as one line for the user, "local addresses left out (a search
// uses the first 16): eth9 10.0.0.17, eth9 10.0.0.18"; empty when none was.
std::string LeftOutText();

// Every row of a listing such as ds_interface_addresses or
// ds_left_out_addresses (which fill at most max rows and return how many
// there are), asking again with more room while the rows outgrow the
// buffer; empty when the listing fails.
std::vector<_DSIFADDR> AllInterfaceRows(int (*list)(_DSIFADDR *rows, int max));
