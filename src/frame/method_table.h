// The creation table: one row per method value.
#ifndef RAVVEL_FRAME_METHOD_TABLE_H
#define RAVVEL_FRAME_METHOD_TABLE_H

#include <cstdint>

#include "frame/framework.h"

namespace Ravvel {

struct MethodRow {
    int32_t iMethod;
    const char* szCreateLine;     // Info line logged on every Init, with the object's address
    bool bPassCallerFlag;         // whether Init receives the caller's flag or false
    CRavvelFramework* (*pfnCreate)(uint32_t cpuFlags);  // null: no class yet; Init refuses
    const char* szClassName;      // for the out-of-memory warning
};

// The row of a method value, or null for values that name no method.
const MethodRow* FindMethodRow(int32_t method);

}  // namespace Ravvel

#endif
