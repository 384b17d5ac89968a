#include "codecs/png/png_errors.h"

namespace flipbook {

std::string EPNGZLIBError::ZlibResultDescription(int zlibResult) {
    const std::string code = "(" + std::to_string(zlibResult) + ")";
    switch (zlibResult) {
        case -6:
            return "incompatible version " + code;
        case -5:
            return "buffer error " + code;
        case -4:
            return "insufficient memory " + code;
        case -3:
            return "data error " + code;
        case -2:
            return "stream error " + code;
        case -1:
            return "file error " + code;
        case 1:
            return "stream end " + code;
        case 2:
            return "need dictionary " + code;
        default:
            return code;
    }
}

}  // namespace flipbook
