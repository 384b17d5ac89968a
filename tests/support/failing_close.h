// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace flipbook::testing {

// Makes the next close() of a descriptor open on the file fail with EIO after it really closed it, as
// a network file system does when it reports a failed write only at close. Works in the programs that
// link the failing_close library, which puts its own close() before the C library's.
void FailNextCloseOf(const std::string& path);

}  // namespace flipbook::testing
