#pragma once

// The 32-bit result codes the capture operations answer with: 0 for success, a positive value
// for a success with a remark, a negative value for a failure. Every code of the capture system,
// its emulation and its test double is named here, so that a log line or a test reads the same
// value wherever it comes from.

#include <cstdint>

using HResult = std::int32_t;

constexpr HResult S_OK_RESULT = 0;
constexpr HResult S_FALSE_RESULT = 1;
constexpr HResult E_NOTIMPL_RESULT = static_cast<HResult>(0x80004001);
constexpr HResult E_NOINTERFACE_RESULT = static_cast<HResult>(0x80004002);
constexpr HResult E_POINTER_RESULT = static_cast<HResult>(0x80004003);
constexpr HResult E_ABORT_RESULT = static_cast<HResult>(0x80004004);
constexpr HResult E_FAIL_RESULT = static_cast<HResult>(0x80004005);
constexpr HResult E_OUTOFMEMORY_RESULT = static_cast<HResult>(0x8007000E);
constexpr HResult E_INVALIDARG_RESULT = static_cast<HResult>(0x80070057);

// The media graph's own failures.
constexpr HResult VFW_E_INVALIDMEDIATYPE = static_cast<HResult>(0x80040200);
constexpr HResult VFW_E_NOT_CONNECTED = static_cast<HResult>(0x80040209);
constexpr HResult VFW_E_NOT_IN_GRAPH = static_cast<HResult>(0x8004025F);

// The result code of InitStillGraph when no camera of the maker is present.
constexpr HResult E_NO_MAKER_CAMERA = -5;

// A failure that carries an errno of the device, wrapped the way the desktop wraps system errors.
constexpr HResult HResultFromErrno(int error) {
    return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}
