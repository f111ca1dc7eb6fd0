// The model table and its built-in rows.
#include <cstring>
#include <mutex>

#include "modellock.h"
#include "modeltable.h"

namespace {
const _MODELINFO kBuiltinModels[MODEL_BUILTIN_ROWS] = {
#include "builtin_models.inc"
};
}  // namespace

// Constant-initialised, so it holds the built-in rows before any code runs.
_MODELINFO ModelTable[MODEL_ROWS] = {
#include "builtin_models.inc"
};

// Built on first use and never destroyed: a search thread may still read the
// table while static objects are torn down at exit.
std::shared_mutex &ModelTableLock() {
  static std::shared_mutex *const lock = new std::shared_mutex;
  return *lock;
}

namespace {
int FindModelLocked(uint32_t apid, uint16_t hwid) {
  for (int i = 0; i < MODEL_ROWS; i++)
    if (ModelTable[i].apid == apid && ModelTable[i].hwid == hwid)
      return i;
  return -1;
}
}  // namespace

int FindModel(uint32_t apid, uint16_t hwid) {
  std::shared_lock<std::shared_mutex> hold(ModelTableLock());
  return FindModelLocked(apid, hwid);
}

uint32_t ModelPorts(uint32_t apid, uint16_t hwid) {
  std::shared_lock<std::shared_mutex> hold(ModelTableLock());
  int row = FindModelLocked(apid, hwid);
  return row < 0 ? 0 : ModelTable[row].ports;
}

_MODELINFO ModelRow(int i) {
  std::shared_lock<std::shared_mutex> hold(ModelTableLock());
  return ModelTable[i];
}

void ResetModelTable() {
  std::unique_lock<std::shared_mutex> hold(ModelTableLock());
  for (int i = 0; i < MODEL_ROWS; i++)
    ModelTable[i] = i < MODEL_BUILTIN_ROWS ? kBuiltinModels[i] : _MODELINFO{};
}
