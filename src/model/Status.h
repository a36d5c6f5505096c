#pragma once
// The status of every model operation: a 32-bit code in the COM layout, in a type that code built
// without windows.h has too. The values are those of the platform's HRESULT constants of the same
// meaning (model/CryptoApi.h checks them); HRESULTs, CryptoAPI last errors and mapped Cryptoki
// values are carried in it unchanged.
#include <cstdint>

using Status = int32_t;

constexpr Status StatusOk = 0;
constexpr Status StatusNoInterface = static_cast<Status>(0x80004002u);   // E_NOINTERFACE
constexpr Status StatusPointer = static_cast<Status>(0x80004003u);       // E_POINTER
constexpr Status StatusFail = static_cast<Status>(0x80004005u);          // E_FAIL
constexpr Status StatusUnexpected = static_cast<Status>(0x8000FFFFu);    // E_UNEXPECTED
constexpr Status StatusOutOfMemory = static_cast<Status>(0x8007000Eu);   // E_OUTOFMEMORY
