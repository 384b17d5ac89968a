// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/exception.h"

namespace flipbook {

// A 32-bit result code: the top bit set means failure; 0 and other non-negative values are success.
using HRESULT = std::int32_t;

constexpr HRESULT MakeResult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool Succeeded(HRESULT result) {
    return result >= 0;
}
constexpr bool Failed(HRESULT result) {
    return result < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);

inline constexpr HRESULT STG_E_WRITEFAULT = MakeResult(0x8003001D);
inline constexpr HRESULT STG_E_READFAULT = MakeResult(0x8003001E);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154);
inline constexpr HRESULT MK_E_UNAVAILABLE = MakeResult(0x800401E3);
inline constexpr HRESULT MK_E_NOOBJECT = MakeResult(0x800401E5);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeResult(0x800401F3);

// The fixed English text of a result code of this layer, without a trailing full stop; empty for a
// code this layer does not know.
std::string ComErrorText(HRESULT result);

// The runtime's COM error: a failure result raised as an exception, its text as the message.
class EOleSysError : public Exception {
public:
    explicit EOleSysError(HRESULT result);
    HRESULT ErrorCode() const { return errorCode_; }

private:
    HRESULT errorCode_;
};

// Raises EOleSysError when the result is a failure; returns it otherwise.
HRESULT OleCheck(HRESULT result);

}  // namespace flipbook
