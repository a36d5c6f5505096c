#pragma once
// Status codes in the COM layout, for code that must build without windows.h.
// The values are those of the platform's HRESULT constants of the same meaning.
#include <cstdint>

constexpr int32_t StatusOk = 0;
constexpr int32_t StatusNoInterface = static_cast<int32_t>(0x80004002u);   // E_NOINTERFACE
constexpr int32_t StatusPointer = static_cast<int32_t>(0x80004003u);       // E_POINTER
constexpr int32_t StatusFail = static_cast<int32_t>(0x80004005u);          // E_FAIL
constexpr int32_t StatusUnexpected = static_cast<int32_t>(0x8000FFFFu);    // E_UNEXPECTED
constexpr int32_t StatusOutOfMemory = static_cast<int32_t>(0x8007000Eu);   // E_OUTOFMEMORY
