// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How far two pictures differ, byte by byte, brightened so small changes show: what moved between the
// live picture and the reference, and what did not.

namespace flipbook {

class Bitmap;

// target := min(255, 4 |first - second|) for every byte. Both sources are 24-bit pictures of one size;
// the target becomes one too. Raises Exception for sources of other formats or sizes.
void Difference(const Bitmap& first, const Bitmap& second, Bitmap& target);

}  // namespace flipbook
