// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/png_errors.h"

namespace flipbook {

std::string EPNGZLIBError::ZlibResultDescription(int zlibResult) {
    const char* name = "";
    switch (zlibResult) {
        case -6:
            name = "incompatible version ";
            break;
        case -5:
            name = "buffer error ";
            break;
        case -4:
            name = "insufficient memory ";
            break;
        case -3:
            name = "data error ";
            break;
        case -2:
            name = "stream error ";
            break;
        case -1:
            name = "file error ";
            break;
        case 1:
            name = "stream end ";
            break;
        case 2:
            name = "need dictionary ";
            break;
        default:
            break;
    }
    std::string description(name);
    description.append(1, '(').append(std::to_string(zlibResult)).append(1, ')');
    return description;
}

}  // namespace flipbook
