// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A V4L2 control's description as a driver reports it to VIDIOC_QUERY_EXT_CTRL (one 4-byte value),
// for the fakes that answer in a driver's place.

#include <linux/videodev2.h>

#include <cstdint>
#include <cstring>

namespace flipbook::testing {

inline v4l2_query_ext_ctrl ControlQuery(std::uint32_t id, const char* name, std::uint32_t type, int minimum,
                                        int maximum, int step, int defaultValue) {
    v4l2_query_ext_ctrl query{};
    query.id = id;
    std::strncpy(query.name, name, sizeof query.name - 1);
    query.type = type;
    query.minimum = minimum;
    query.maximum = maximum;
    query.step = static_cast<__u64>(step);
    query.default_value = defaultValue;
    query.elem_size = 4;
    query.elems = 1;
    return query;
}

}  // namespace flipbook::testing
