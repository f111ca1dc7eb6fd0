// Translation of the engine's internal result codes (TQ_*) into the public
// codes of the network API (DS_*).
#pragma once

// 1 -> 1, -11 -> -2, -12 -> -3, -13 -> -4, anything else -> -1.
int ds_public_code(int internal_code);
