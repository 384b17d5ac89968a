// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/com/hresult.h"

#include <cstdio>

namespace flipbook {

std::string ComErrorText(HRESULT result) {
    switch (result) {
        case S_OK:
            return "The operation completed successfully";
        case S_FALSE:
            return "The operation completed, with a negative answer";
        case E_NOTIMPL:
            return "Not implemented";
        case E_NOINTERFACE:
            return "No such interface supported";
        case E_POINTER:
            return "Invalid pointer";
        case E_ABORT:
            return "Operation aborted";
        case E_FAIL:
            return "Unspecified error";
        case E_UNEXPECTED:
            return "Catastrophic failure";
        case E_ACCESSDENIED:
            return "General access denied error";
        case E_OUTOFMEMORY:
            return "Ran out of memory";
        case E_INVALIDARG:
            return "The parameter is incorrect";
        case STG_E_WRITEFAULT:
            return "A disk error occurred during a write operation";
        case STG_E_READFAULT:
            return "A disk error occurred during a read operation";
        case CLASS_E_NOAGGREGATION:
            return "Class does not support aggregation";
        case REGDB_E_CLASSNOTREG:
            return "Class not registered";
        case MK_E_UNAVAILABLE:
            return "Operation unavailable";
        case MK_E_NOOBJECT:
            return "The object could not be found";
        case CO_E_NOTINITIALIZED:
            return "The media graph service has not been initialised";
        case CO_E_CLASSSTRING:
            return "Invalid class string";
        default:
            return {};
    }
}

namespace {

std::string MessageOf(HRESULT result) {
    std::string text = ComErrorText(result);
    if (!text.empty()) return text + ".";
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "Error %08X", static_cast<unsigned>(result));
    return fallback;
}

}  // namespace

EOleSysError::EOleSysError(HRESULT result) : Exception(MessageOf(result)), errorCode_(result) {}

HRESULT OleCheck(HRESULT result) {
    if (Failed(result)) throw EOleSysError(result);
    return result;
}

}  // namespace flipbook
