// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace flipbook {

class TPNGObject;

// The clipboard format our pictures travel in.
inline constexpr char kPictureClipboardMimeType[] = "image/png";

// Puts the picture on the system clipboard as PNG (see TPNGObject::SaveToClipboardFormat). Needs a
// QGuiApplication. Raises as saving the picture does; the clipboard keeps what it had then.
void CopyToClipboard(const TPNGObject& picture);

// Replaces the picture with the PNG on the system clipboard. Returns false, leaving the picture as
// it was, when the clipboard holds no PNG; damaged PNG data raises the PNG exceptions.
bool PasteFromClipboard(TPNGObject& picture);

}  // namespace flipbook
